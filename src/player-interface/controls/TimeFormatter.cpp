#include "player-interface/controls/TimeFormatter.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstdint>

namespace quillon {

namespace {

// At least two digits, no grouping, in the locale's own digits. Made once: the locale is read at
// first use, as the time labels do not follow locale changes while the application runs.
class TimeNumberFormatter {
public:
    TimeNumberFormatter() : locale_(QLocale::system()) {
        locale_.setNumberOptions(QLocale::OmitGroupSeparator);
    }

    // Empty when the locale cannot write the number.
    QString stringFromNumber(std::uint64_t number) const {
        QString digits = locale_.toString(static_cast<qulonglong>(number));
        const QString zero = locale_.zeroDigit();
        if (digits.isEmpty() || zero.isEmpty()) {
            return digits;
        }
        // A number below ten has one digit, which may take more than one UTF-16 unit.
        if (number < 10) {
            digits.prepend(zero);
        }
        return digits;
    }

private:
    QLocale locale_;
};

const TimeNumberFormatter& timeNumberFormatter() {
    static const TimeNumberFormatter formatter;
    return formatter;
}

std::string stringFromNumber(std::uint64_t number) {
    const QString text = timeNumberFormatter().stringFromNumber(number);
    if (text.isEmpty()) {
        return number < 10 ? "0" + std::to_string(number) : std::to_string(number);
    }
    return text.toStdString();
}

// 2^64 as a double: every smaller non-negative double converts to a 64-bit count.
constexpr double twoToThe64 = 18446744073709551616.0;

}  // namespace

std::string TimeFormatter::stringFromSeconds(double seconds) const {
    const double magnitude = std::fabs(seconds);
    if (!std::isfinite(magnitude) || magnitude >= twoToThe64) {
        return alwaysIncludeHours ? "--:--:--" : "--:--";
    }
    // Negative zero keeps its sign: a remaining time that has run out still reads as remaining.
    std::string text = std::signbit(seconds) ? "-" : "";
    const auto total = static_cast<std::uint64_t>(magnitude);
    if (total > 3599 || alwaysIncludeHours) {
        text += stringFromNumber(total / 3600) + ":";
    }
    text += stringFromNumber((total / 60) % 60) + ":";
    text += stringFromNumber(total % 60);
    return text;
}

}  // namespace quillon
