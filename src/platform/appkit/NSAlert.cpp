#include "platform/appkit/NSAlert.h"

#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QWindow>
#include <QString>
#include <algorithm>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Localization.h"

namespace platform {

namespace {

QMessageBox::Icon iconOfStyle(NSAlertStyle style) {
    switch (style) {
        case NSAlertStyle::warning:
            return QMessageBox::Warning;
        case NSAlertStyle::informational:
            return QMessageBox::Information;
        case NSAlertStyle::critical:
            return QMessageBox::Critical;
    }
    return QMessageBox::Warning;
}

}  // namespace

NSAlert::NSAlert() {
    setMessageText(
        platform::localizedString("Alert", "The message text of an alert that was given none."));
    setAlertStyle(NSAlertStyle::warning);
}

NSAlert::~NSAlert() = default;

std::string NSAlert::messageText() const {
    return text().toStdString();
}

void NSAlert::setMessageText(const std::string& text) {
    setText(QString::fromStdString(text));
}

std::string NSAlert::informativeText() const {
    return QMessageBox::informativeText().toStdString();
}

void NSAlert::setInformativeText(const std::string& text) {
    QMessageBox::setInformativeText(QString::fromStdString(text));
}

void NSAlert::setAlertStyle(NSAlertStyle style) {
    alertStyle_ = style;
    setIcon(iconOfStyle(style));
}

QPushButton* NSAlert::addButtonWithTitle(const std::string& title) {
    // Every button ends the alert; the role only decides where Qt places it.
    QPushButton* button =
        addButton(QString::fromStdString(title),
                  buttons_.empty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    if (buttons_.empty()) {
        setDefaultButton(button);
    }
    buttons_.push_back(button);
    return button;
}

void NSAlert::addDefaultButtonIfNeeded() {
    if (buttons_.empty()) {
        addButtonWithTitle(platform::localizedString("OK", "The title of an OK button."));
    }
}

NSModalResponse NSAlert::responseOfClickedButton() const {
    const auto found = std::find(buttons_.begin(), buttons_.end(), clickedButton());
    // Closing the box without a button (Escape with no cancel button) counts as the first one,
    // the alert's default.
    const auto index = found == buttons_.end() ? 0 : found - buttons_.begin();
    return NSAlertFirstButtonReturn + static_cast<NSModalResponse>(index);
}

void NSAlert::showEvent(QShowEvent* event) {
    // The message box takes its final size as it shows; it is placed once that is known and
    // before the window system maps it.
    QMessageBox::showEvent(event);
    placeAsSheet();
}

bool NSAlert::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose &&
        windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        isWatchingExposure_ = false;
        placeAsSheet();
    }
    if (isSheet_ && (event->type() == QEvent::Move || event->type() == QEvent::Resize) &&
        parentWidget() != nullptr && watched == parentWidget()->window()) {
        placeAsSheet();
    }
    return QMessageBox::eventFilter(watched, event);
}

void NSAlert::placeAsSheet() {
    QWidget* parent = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
    QWindow* handle = windowHandle();
    if (!isSheet_ || parent == nullptr || !isVisible() || handle == nullptr) {
        return;
    }
    // Always by the frame's corner: mixing it with the sheet's own area, which Qt and the window
    // manager convert differently, misplaces the sheet by a title bar or two. Until the sheet
    // is on screen its frame is taken to be the window's; once it is, it is placed again.
    if (!handle->isExposed() && !isWatchingExposure_) {
        isWatchingExposure_ = true;
        handle->installEventFilter(this);
    }
    QMargins margins = decorationMargins(*this);
    if (margins.isNull()) {
        margins = decorationMargins(*parent);
    }
    const QPoint frameTopLeft = sheetTopLeft(*parent, size().grownBy(margins));
    if (!handle->isExposed() || frameGeometry().topLeft() != frameTopLeft) {
        handle->setFramePosition(frameTopLeft);
    }
}

NSModalResponse NSAlert::runModal() {
    addDefaultButtonIfNeeded();
    setWindowModality(Qt::ApplicationModal);
    exec();
    return responseOfClickedButton();
}

void NSAlert::beginSheetModalForWindow(std::unique_ptr<NSAlert> alert, QWidget* window,
                                       std::function<void(NSModalResponse)> completion) {
    alert->addDefaultButtonIfNeeded();
    NSAlert* const sheet = alert.release();
    if (sheet->windowTitle().isEmpty() && window != nullptr) {
        sheet->setWindowTitle(window->window()->windowTitle());
    }
    // Parenting hands the alert to the window, so that it cannot outlive it, and makes it
    // transient for the window.
    sheet->setParent(window, sheet->windowFlags() | Qt::Sheet);
    sheet->isSheet_ = window != nullptr;
    if (window != nullptr) {
        window->window()->installEventFilter(sheet);
    }
    sheet->setWindowModality(Qt::WindowModal);
    // A window of ours counts its sheets (its title bar and restoration look at them).
    QPointer<NSWindow> sheetWindow = dynamic_cast<NSWindow*>(window);
    if (sheetWindow) {
        sheetWindow->noteSheetDidBegin(sheet);
    }
    QObject::connect(sheet, &QDialog::finished, sheet,
                     [sheet, sheetWindow, completion = std::move(completion)](int) {
                         const NSModalResponse response = sheet->responseOfClickedButton();
                         if (sheetWindow) {
                             sheetWindow->noteSheetDidEnd(sheet);
                         }
                         sheet->deleteLater();
                         if (completion) {
                             completion(response);
                         }
                     });
    sheet->open();
}

}  // namespace platform
