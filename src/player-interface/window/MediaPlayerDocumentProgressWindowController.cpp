#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"

namespace quillon {
namespace {

constexpr int iconSize = 64;
constexpr int statusWidth = 280;
constexpr int margin = 20;
constexpr int spacing = 12;

}  // namespace

MediaPlayerDocumentProgressWindowController::MediaPlayerDocumentProgressWindowController(
    std::shared_ptr<platform::NSImage> documentIconImage, std::string statusText,
    std::weak_ptr<MediaPlayerDocumentProgressWindowControllerDelegate> delegate)
    : documentIconImage_(std::move(documentIconImage)),
      statusText_(std::move(statusText)),
      delegate_(std::move(delegate)) {}

MediaPlayerDocumentProgressWindowController::~MediaPlayerDocumentProgressWindowController() =
    default;

std::shared_ptr<platform::NSWindow>
MediaPlayerDocumentProgressWindowController::makeManagedWindow() {
    auto window = std::make_shared<platform::NSWindow>(
        platform::CGRect{0, 0, 400, 120},
        platform::NSWindowStyleMaskTitled | platform::NSWindowStyleMaskClosable);

    auto content = std::make_unique<QWidget>();
    auto* columns = new QHBoxLayout(content.get());
    columns->setContentsMargins(margin, margin, margin, margin);
    columns->setSpacing(spacing + 4);

    documentIconImageView_ = new QLabel(content.get());
    documentIconImageView_->setFixedSize(iconSize, iconSize);
    documentIconImageView_->setAlignment(Qt::AlignCenter);
    columns->addWidget(documentIconImageView_, 0, Qt::AlignTop);

    auto* rows = new QVBoxLayout();
    rows->setSpacing(spacing);
    statusTextField_ = new QLabel(content.get());
    statusTextField_->setWordWrap(true);
    statusTextField_->setMinimumWidth(statusWidth);
    statusTextField_->setTextInteractionFlags(Qt::NoTextInteraction);
    rows->addWidget(statusTextField_);

    progressIndicator_ = new QProgressBar(content.get());
    progressIndicator_->setTextVisible(false);
    rows->addWidget(progressIndicator_);

    cancelButton_ =
        new QPushButton(QString::fromStdString(platform::localizedString(
                            "Cancel", "The title of the button that stops opening a document.")),
                        content.get());
    cancelButton_->setShortcut(QKeySequence(Qt::Key_Escape));
    QObject::connect(cancelButton_, &QPushButton::clicked, cancelButton_,
                     [this] { didClickCancelButton(); });
    rows->addWidget(cancelButton_, 0, Qt::AlignRight);
    columns->addLayout(rows, 1);

    window->setCentralWidget(content.release());
    return window;
}

void MediaPlayerDocumentProgressWindowController::windowDidLoad() {
    platform::precondition(documentIconImageView_ != nullptr && statusTextField_ != nullptr &&
                               progressIndicator_ != nullptr,
                           "The progress window's views are missing.");
    platform::NSWindow* window = this->window();
    if (documentIconImage_ && !documentIconImage_->bitmap().isNull()) {
        documentIconImageView_->setPixmap(QPixmap::fromImage(documentIconImage_->bitmap().scaled(
            iconSize, iconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    } else if (documentIconImage_) {
        documentIconImageView_->setPixmap(platform::makeIcon(documentIconImage_).pixmap(iconSize));
    }
    statusTextField_->setText(QString::fromStdString(statusText_));
    // A range of zero makes the bar indeterminate: it animates on its own.
    progressIndicator_->setRange(0, 0);
    window->layoutIfNeeded();
    window->center();
    NSWindowController::windowDidLoad();
}

void MediaPlayerDocumentProgressWindowController::didClickCancelButton() {
    if (auto delegate = delegate_.lock()) {
        delegate->mediaPlayerDocumentProgressWindowControllerDidCancel(*this);
    }
}

}  // namespace quillon
