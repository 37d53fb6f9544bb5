#include "media-player/decoders/subtitles/ASSDrawing.h"

#include <QPointF>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace quillon {

namespace {

class DrawingReader {
public:
    explicit DrawingReader(std::string_view commands) : commands_(commands) {}

    bool atEnd() {
        skipSpace();
        return position_ >= commands_.size();
    }

    // A command letter, if one comes next.
    std::optional<char> command() {
        skipSpace();
        if (position_ < commands_.size() &&
            std::string_view("mnlbspc").find(commands_[position_]) != std::string_view::npos) {
            return commands_[position_++];
        }
        return std::nullopt;
    }

    std::optional<double> number() {
        skipSpace();
        double value = 0;
        const char* first = commands_.data() + position_;
        const char* last = commands_.data() + commands_.size();
        const auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || !std::isfinite(value)) {
            return std::nullopt;
        }
        position_ += static_cast<std::size_t>(end - first);
        return value;
    }

    // Whatever stands where a command or number should: skipped.
    void skipOne() { ++position_; }

private:
    void skipSpace() {
        while (position_ < commands_.size() &&
               std::isspace(static_cast<unsigned char>(commands_[position_]))) {
            ++position_;
        }
    }

    std::string_view commands_;
    std::size_t position_ = 0;
};

}  // namespace

QPainterPath assDrawingPath(std::string_view commands, std::int32_t level) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    if (level < 1) {
        return path;
    }
    const double scale = std::ldexp(1.0, -(std::min(level, 32) - 1));
    DrawingReader reader(commands);
    char current = 0;
    bool figureIsClosed = false;
    bool hasFigure = false;
    std::optional<QPointF> splineStart;
    auto finishFigure = [&] {
        if (hasFigure && figureIsClosed) {
            path.closeSubpath();
        }
        hasFigure = false;
    };
    while (!reader.atEnd()) {
        if (std::optional<char> letter = reader.command()) {
            current = *letter;
            if (current == 'c') {
                if (splineStart) {
                    path.lineTo(*splineStart);
                    splineStart.reset();
                }
                current = 0;
            }
            continue;
        }
        // The numbers a command takes at a time; a command repeats while its numbers go on.
        const std::size_t count = current == 'b' ? 6 : current == 0 ? 0 : 2;
        std::vector<double> values;
        while (values.size() < count) {
            std::optional<double> value = reader.number();
            if (!value) {
                break;
            }
            values.push_back(*value * scale);
        }
        if (count == 0 || values.size() < count) {
            if (values.empty()) {
                reader.skipOne();
            }
            continue;
        }
        const QPointF point(values[count - 2], values[count - 1]);
        switch (current) {
            case 'm':
            case 'n':
                finishFigure();
                path.moveTo(point);
                figureIsClosed = current == 'm';
                hasFigure = true;
                splineStart.reset();
                break;
            case 'b':
                path.cubicTo(QPointF(values[0], values[1]), QPointF(values[2], values[3]), point);
                break;
            case 's':
            case 'p':
                if (!splineStart) {
                    splineStart = path.currentPosition();
                }
                path.lineTo(point);
                break;
            default:  // 'l'
                path.lineTo(point);
                break;
        }
    }
    finishFigure();
    return path;
}

}  // namespace quillon
