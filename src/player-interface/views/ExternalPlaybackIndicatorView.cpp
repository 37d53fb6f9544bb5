#include "player-interface/views/ExternalPlaybackIndicatorView.h"

#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <mutex>

#include "libraries/calyxware/QtConversions.h"
#include "platform/appkit/NSNib.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"
#include "platform/graphics/NSFont.h"
#include "player-interface/common/SingleTopLevelObject.h"

namespace quillon {

namespace {

constexpr platform::CGFloat kStackSpacing = 30;
constexpr platform::CGFloat kSpacingAfterTitle = 1.0;
constexpr platform::CGFloat kTitleFontSizeWithSubtitle = 17;
constexpr platform::CGFloat kSubtitleFontSize = 13;
constexpr platform::CGFloat kTitleFontSizeAlone = 13;
constexpr platform::CGFloat kIndicatorSymbolPointSize = 62.5;

QFont systemQFont(platform::CGFloat size) {
    QFont font(QString::fromStdString(platform::NSFont::systemFontOfSize(size).familyName()));
    font.setPointSizeF(size);
    return font;
}

// The system symbol "pip": a screen with the smaller picture in its lower trailing corner,
// drawn in a 16-point square and tinted by the caller's colour.
std::shared_ptr<platform::NSImage> pictureInPictureSymbol(QColor color) {
    constexpr double side = 16.0;
    QPainterPath path;
    QPainterPath screen;
    screen.addRoundedRect(QRectF(0.5, 2.5, 15, 11), 1.5, 1.5);
    QPainterPath inside;
    inside.addRoundedRect(QRectF(1.75, 3.75, 12.5, 8.5), 0.75, 0.75);
    path.addPath(screen.subtracted(inside));
    path.addRoundedRect(QRectF(8, 7.5, 5.25, 3.75), 0.5, 0.5);
    return std::make_shared<platform::NSImage>(
        platform::CGSize{side, side},
        [path, color](QPainter& painter, const platform::CGRect& destination) {
            const QRectF target = calyxware::toQRectF(destination);
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing);
            painter.translate(target.topLeft());
            painter.scale(target.width() / side, target.height() / side);
            painter.fillPath(path, color);
            painter.restore();
            return true;
        });
}

const QColor kForegroundColor = QColor::fromRgbF(1, 1, 1, 0.55f);

// The nib: the view with its stack of image, title and subtitle, centred in it.
platform::NSNib::TopLevelObjects instantiateIndicatorNib() {
    auto view = std::make_unique<ExternalPlaybackIndicatorView>();
    view->setBackgroundColor(platform::NSColor::colorWithWhite(0.1, 1));
    auto* stack =
        new platform::NSStackView(platform::NSUserInterfaceLayoutOrientation::vertical, view.get());
    auto* imageView = new platform::NSImageView();
    auto* title = new QLabel();
    auto* subtitle = new QLabel();
    for (QLabel* label : {title, subtitle}) {
        label->setAlignment(Qt::AlignHCenter);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, kForegroundColor);
        label->setPalette(palette);
    }
    stack->addArrangedSubview(imageView);
    stack->addArrangedSubview(title);
    stack->addArrangedSubview(subtitle);
    view->stackView = stack;
    view->indicatorImageView = imageView;
    view->titleLabel = title;
    view->subtitleLabel = subtitle;
    view->awakeFromNib();
    platform::NSNib::TopLevelObjects objects;
    objects.push_back(std::move(view));
    return objects;
}

}  // namespace

ExternalPlaybackIndicatorView::ExternalPlaybackIndicatorView(QWidget* parent)
    : calyxware::LayerView(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

ExternalPlaybackIndicatorView::~ExternalPlaybackIndicatorView() = default;

void ExternalPlaybackIndicatorView::registerBundledNib() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Part of the application, like a nib file in its bundle: never unregistered.
        static const std::shared_ptr<void> registration = platform::NSNib::registerNib(
            nibName, [](QObject*) -> std::optional<platform::NSNib::TopLevelObjects> {
                return instantiateIndicatorNib();
            });
    });
}

void ExternalPlaybackIndicatorView::requireOutlets() const {
    platform::precondition(stackView != nullptr && indicatorImageView != nullptr &&
                               titleLabel != nullptr && subtitleLabel != nullptr,
                           "ExternalPlaybackIndicatorView: an outlet is not connected.");
}

void ExternalPlaybackIndicatorView::awakeFromNib() {
    requireOutlets();
    stackView->setSpacing(kStackSpacing);
    stackView->setCustomSpacingAfterView(kSpacingAfterTitle, titleLabel);
}

void ExternalPlaybackIndicatorView::configure(std::shared_ptr<platform::NSImage> image,
                                              const std::string& title,
                                              const std::optional<std::string>& subtitle) {
    requireOutlets();
    indicatorImageView->setImage(std::move(image));
    titleLabel->setText(QString::fromStdString(title));
    if (subtitle) {
        subtitleLabel->setHidden(false);
        subtitleLabel->setText(QString::fromStdString(*subtitle));
        titleLabel->setFont(systemQFont(kTitleFontSizeWithSubtitle));
        subtitleLabel->setFont(systemQFont(kSubtitleFontSize));
    } else {
        subtitleLabel->setHidden(true);
        titleLabel->setFont(systemQFont(kTitleFontSizeAlone));
    }
    layOutStack();
}

std::unique_ptr<ExternalPlaybackIndicatorView>
ExternalPlaybackIndicatorView::makePictureInPictureIndicator() {
    registerBundledNib();
    auto indicator = instantiateSingleTopLevelObject<ExternalPlaybackIndicatorView>(nibName);
    indicator->requireOutlets();
    std::shared_ptr<platform::NSImage> image = pictureInPictureSymbol(kForegroundColor);
    platform::precondition(image != nullptr, "The Picture in Picture symbol image is missing.");
    indicator->indicatorImageView->setSymbolConfiguration(platform::NSImageSymbolConfiguration{
        kIndicatorSymbolPointSize, platform::NSImageSymbolConfiguration::Weight::regular,
        platform::NSImageSymbolConfiguration::Scale::large});
    indicator->indicatorImageView->setAccessibleName(QString::fromStdString(
        platform::localizedString("Picture in Picture indicator",
                                  "The accessibility description of an image that is shown in "
                                  "place of the video when the video is playing in Picture in "
                                  "Picture mode.")));
    indicator->configure(
        std::move(image),
        platform::localizedString(
            "This video is playing in Picture in Picture.",
            "Text that explains that the video is playing in Picture in Picture mode."),
        std::nullopt);
    return indicator;
}

QWidget* ExternalPlaybackIndicatorView::hitTest(platform::CGPoint) const {
    return nullptr;
}

void ExternalPlaybackIndicatorView::resizeEvent(QResizeEvent* event) {
    calyxware::LayerView::resizeEvent(event);
    layOutStack();
}

void ExternalPlaybackIndicatorView::layOutStack() {
    if (stackView == nullptr) {
        return;
    }
    // Centred, at the size its content asks for, never larger than the view.
    const QSize wanted = stackView->sizeHint().boundedTo(size());
    stackView->setGeometry(
        QRect(QPoint((width() - wanted.width()) / 2, (height() - wanted.height()) / 2), wanted));
}

}  // namespace quillon
