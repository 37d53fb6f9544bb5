#include "platform/appkit/NSWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QPropertyAnimation>
#include <QLayout>
#include <QScreen>
#include <QToolBar>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/appkit/NSToolbar.h"
#include "platform/appkit/NSViewController.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

constexpr double kResizeSecondsPer150Points = 0.2;

Qt::WindowFlags qtWindowFlags(NSWindowStyleMask styleMask) {
    Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
    if (styleMask & NSWindowStyleMaskTitled) {
        flags |= Qt::WindowTitleHint;
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    if (styleMask & NSWindowStyleMaskClosable) {
        flags |= Qt::WindowCloseButtonHint;
    }
    if (styleMask & NSWindowStyleMaskMiniaturizable) {
        flags |= Qt::WindowMinimizeButtonHint;
    }
    if (styleMask & NSWindowStyleMaskResizable) {
        flags |= Qt::WindowMaximizeButtonHint;
    }
    return flags;
}

int toolbarHeight(const NSWindow& window) {
    const NSToolbar* toolbar = window.toolbar();
    if (toolbar == nullptr || toolbar->toolBar() == nullptr || toolbar->toolBar()->isHidden()) {
        return 0;
    }
    return toolbar->toolBar()->sizeHint().height();
}

}  // namespace

NSWindow::NSWindow(const CGRect& contentRect, NSWindowStyleMask styleMask)
    : QMainWindow(nullptr, qtWindowFlags(styleMask)), styleMask_(styleMask) {
    const CGRect rect = contentRect.standardized();
    resize(std::max(1, static_cast<int>(std::lround(rect.size.width))),
           std::max(1, static_cast<int>(std::lround(rect.size.height))));
    move(static_cast<int>(std::lround(rect.origin.x)),
         static_cast<int>(std::lround(rect.origin.y)));
    if (!(styleMask & NSWindowStyleMaskResizable)) {
        layout()->setSizeConstraint(QLayout::SetFixedSize);
    }
}

NSWindow::~NSWindow() {
    // The content view and the toolbar widget belong to their controllers.
    if (QWidget* content = takeCentralWidget()) {
        content->setParent(nullptr);
    }
    if (toolbar_ && toolbar_->toolBar() != nullptr) {
        removeToolBar(toolbar_->toolBar());
        toolbar_->toolBar()->setParent(nullptr);
    }
}

std::string NSWindow::identifier() const {
    return objectName().toStdString();
}

void NSWindow::setIdentifier(const std::string& identifier) {
    setObjectName(QString::fromStdString(identifier));
}

std::string NSWindow::title() const {
    return windowTitle().toStdString();
}

void NSWindow::setTitle(const std::string& title) {
    setWindowTitle(QString::fromStdString(title));
}

void NSWindow::setToolbar(std::shared_ptr<NSToolbar> toolbar) {
    if (toolbar_ && toolbar_->toolBar() != nullptr) {
        removeToolBar(toolbar_->toolBar());
        toolbar_->toolBar()->setParent(nullptr);
    }
    toolbar_ = std::move(toolbar);
    if (toolbar_ && toolbar_->toolBar() != nullptr) {
        addToolBar(Qt::TopToolBarArea, toolbar_->toolBar());
        toolbar_->toolBar()->show();
    }
}

void NSWindow::setContentViewController(std::shared_ptr<NSViewController> controller) {
    if (QWidget* previous = takeCentralWidget()) {
        previous->setParent(nullptr);
    }
    contentViewController_ = std::move(controller);
    if (contentViewController_) {
        QWidget* view = contentViewController_->view();
        setCentralWidget(view);
        view->show();
    }
}

CGRect NSWindow::frame() const {
    const QRect g = geometry();
    return {{static_cast<CGFloat>(g.x()), static_cast<CGFloat>(g.y())},
            {static_cast<CGFloat>(g.width()), static_cast<CGFloat>(g.height())}};
}

CGRect NSWindow::frameRectForContentRect(const CGRect& contentRect) const {
    const CGRect rect = contentRect.standardized();
    const int extra = toolbarHeight(*this);
    return {{rect.origin.x, rect.origin.y - extra}, {rect.size.width, rect.size.height + extra}};
}

double NSWindow::animationResizeTime(const CGRect& newFrame) const {
    const CGRect current = frame();
    const CGRect target = newFrame.standardized();
    const double distance = std::max(
        {std::abs(target.minX() - current.minX()), std::abs(target.minY() - current.minY()),
         std::abs(target.maxX() - current.maxX()), std::abs(target.maxY() - current.maxY())});
    return kResizeSecondsPer150Points * distance / 150.0;
}

void NSWindow::makeKeyAndOrderFront() {
    show();
    raise();
    activateWindow();
}

void NSWindow::center() {
    QScreen* screen = this->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect g = frameGeometry();
    g.moveCenter(screen->availableGeometry().center());
    move(g.topLeft());
}

void NSWindow::makeFirstResponder(QWidget* responder) {
    if (responder != nullptr) {
        responder->setFocus(Qt::OtherFocusReason);
    } else if (QWidget* focused = focusWidget()) {
        focused->clearFocus();
    }
}

void NSWindow::layoutIfNeeded() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->activate();
}

void NSWindow::setStyleMask(NSWindowStyleMask styleMask) {
    const auto kept = static_cast<NSWindowStyleMask>(styleMask_ & NSWindowStyleMaskFullScreen);
    const auto mask = static_cast<NSWindowStyleMask>(
        (styleMask & ~static_cast<unsigned>(NSWindowStyleMaskFullScreen)) | kept);
    if (mask == styleMask_) {
        return;
    }
    const bool wasVisible = isVisible();
    styleMask_ = mask;
    setWindowFlags(qtWindowFlags(mask));
    layout()->setSizeConstraint((mask & NSWindowStyleMaskResizable) ? QLayout::SetDefaultConstraint
                                                                    : QLayout::SetFixedSize);
    if (wasVisible) {
        show();
    }
}

void NSWindow::toggleFullScreen(QObject*) {
    auto& center = NotificationCenter::defaultCenter();
    if (isInFullScreen()) {
        center.post(NSWindowWillExitFullScreenNotification, this);
        styleMask_ = static_cast<NSWindowStyleMask>(styleMask_ & ~NSWindowStyleMaskFullScreen);
        showNormal();
        center.post(NSWindowDidExitFullScreenNotification, this);
    } else {
        center.post(NSWindowWillEnterFullScreenNotification, this);
        styleMask_ = styleMask_ | NSWindowStyleMaskFullScreen;
        showFullScreen();
        center.post(NSWindowDidEnterFullScreenNotification, this);
    }
}

void NSWindow::orderOut() {
    hide();
}

CGPoint NSWindow::mouseLocationOutsideOfEventStream() const {
    const QPoint local = mapFromGlobal(QCursor::pos());
    return {static_cast<CGFloat>(local.x()), static_cast<CGFloat>(local.y())};
}

void NSWindow::setFrame(const CGRect& frame, bool, bool animate) {
    const CGRect rect = frame.standardized();
    const QRect target(static_cast<int>(std::lround(rect.origin.x)),
                       static_cast<int>(std::lround(rect.origin.y)),
                       std::max(1, static_cast<int>(std::lround(rect.size.width))),
                       std::max(1, static_cast<int>(std::lround(rect.size.height))));
    const double seconds = animate && isVisible() ? animationResizeTime(rect) : 0.0;
    if (seconds <= 0.0) {
        setGeometry(target);
        return;
    }
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(static_cast<int>(std::lround(seconds * 1000.0)));
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

CGRect NSWindow::contentRectForFrameRect(const CGRect& frameRect) const {
    const CGRect rect = frameRect.standardized();
    const int extra = toolbarHeight(*this);
    return {{rect.origin.x, rect.origin.y + extra},
            {rect.size.width, std::max<CGFloat>(0, rect.size.height - extra)}};
}

namespace {

CGRect toCGRect(const QRect& r) {
    return {{static_cast<CGFloat>(r.x()), static_cast<CGFloat>(r.y())},
            {static_cast<CGFloat>(r.width()), static_cast<CGFloat>(r.height())}};
}

}  // namespace

std::optional<CGRect> NSWindow::mainScreenVisibleFrame() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        return toCGRect(screen->availableGeometry());
    }
    return std::nullopt;
}

std::optional<CGRect> NSWindow::screenVisibleFrame() const {
    if (QScreen* screen = this->screen()) {
        return toCGRect(screen->availableGeometry());
    }
    return mainScreenVisibleFrame();
}

void NSWindow::beginSheet(QWidget* sheet) {
    precondition(sheet != nullptr, "A sheet must be a window.");
    sheet->winId();
    winId();
    if (QWindow* handle = sheet->windowHandle()) {
        handle->setTransientParent(windowHandle());
    }
    sheet->setWindowModality(Qt::WindowModal);
    noteSheetDidBegin(sheet);
    const QRect parent = geometry();
    const QSize size = sheet->sizeHint().expandedTo(sheet->minimumSizeHint());
    sheet->move(parent.x() + (parent.width() - size.width()) / 2, parent.y());
    sheet->show();
}

void NSWindow::endSheet(QWidget* sheet) {
    if (std::find(sheets_.begin(), sheets_.end(), sheet) == sheets_.end()) {
        return;
    }
    sheet->hide();
    noteSheetDidEnd(sheet);
}

void NSWindow::noteSheetDidBegin(QWidget* sheet) {
    NotificationCenter::defaultCenter().post(NSWindowWillBeginSheetNotification, this);
    sheets_.push_back(sheet);
}

void NSWindow::noteSheetDidEnd(QWidget* sheet) {
    const auto found = std::find(sheets_.begin(), sheets_.end(), sheet);
    if (found == sheets_.end()) {
        return;
    }
    sheets_.erase(found);
    NotificationCenter::defaultCenter().post(NSWindowDidEndSheetNotification, this);
}

void NSWindow::invalidateRestorableState() {
    NotificationCenter::defaultCenter().post(NSWindowRestorableStateDidInvalidateNotification,
                                             this);
}

void NSWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        NotificationCenter::defaultCenter().post(NSWindowWillCloseNotification, this);
    }
}

NSWindow* windowOfView(const QWidget* view) {
    return view == nullptr ? nullptr : dynamic_cast<NSWindow*>(view->window());
}

}  // namespace platform
