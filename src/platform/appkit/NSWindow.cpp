#include "platform/appkit/NSWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QToolBar>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSToolbar.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/WindowFrameExtents.h"
#include "platform/appkit/WindowManagerAspectHints.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

constexpr double kResizeSecondsPer150Points = 0.2;
// How long a window that the window manager let leave its aspect ratio waits for the user to
// stop resizing before it takes its size back.
constexpr int kAspectRatioCorrectionDelayMilliseconds = 150;
// How far below a revealed menu bar the pointer may go before the menu bar hides again.
constexpr int kMenuBarRevealSlack = 8;

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

int menuBarHeight(const QWidget* menuBar, int width) {
    if (menuBar == nullptr || menuBar->isHidden()) {
        return 0;
    }
    const int wrapped = menuBar->hasHeightForWidth() ? menuBar->heightForWidth(width) : -1;
    return wrapped > 0 ? wrapped : menuBar->sizeHint().height();
}

// What the window system drew around the last titled window it framed: what a window that the
// window manager will not say anything about is expected to get.
std::optional<QMargins>& lastFramedMargins() {
    static std::optional<QMargins> margins;
    return margins;
}

QRect toQRect(const CGRect& rect) {
    const CGRect r = rect.standardized();
    return {static_cast<int>(std::lround(r.origin.x)), static_cast<int>(std::lround(r.origin.y)),
            std::max(1, static_cast<int>(std::lround(r.size.width))),
            std::max(1, static_cast<int>(std::lround(r.size.height)))};
}

CGRect toCGRect(const QRect& r) {
    return {{static_cast<CGFloat>(r.x()), static_cast<CGFloat>(r.y())},
            {static_cast<CGFloat>(r.width()), static_cast<CGFloat>(r.height())}};
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
    aspectRatioCorrectionTimer_.setSingleShot(true);
    aspectRatioCorrectionTimer_.setInterval(kAspectRatioCorrectionDelayMilliseconds);
    QObject::connect(&aspectRatioCorrectionTimer_, &QTimer::timeout, this,
                     [this] { correctSizeForAspectRatioIfNeeded(); });
    if (const NSApplication* application = NSApplication::shared()) {
        application->installMainMenu(*this);
    }
    static const bool watchesFrameExtents = [] {
        WindowFrameExtents::setChangeHandler([](QWidget& window) {
            if (auto* nsWindow = dynamic_cast<NSWindow*>(&window)) {
                nsWindow->frameExtentsDidChange();
            }
        });
        return true;
    }();
    (void)watchesFrameExtents;
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
    return toCGRect(geometry().marginsAdded(frameMargins()));
}

QMargins NSWindow::frameMargins() const {
    if (!(styleMask_ & NSWindowStyleMaskTitled) || (windowState() & Qt::WindowFullScreen)) {
        return {};
    }
    // Asking creates the native window; nothing about the window changes for that.
    auto& window = const_cast<NSWindow&>(*this);
    if (const auto published = WindowFrameExtents::published(window)) {
        if (isVisible() && !published->isNull()) {
            lastFramedMargins() = *published;
        }
        return *published;
    }
    const WId id = window.winId();
    if (!expectedFrameMargins_ || expectedFrameMargins_->first != id) {
        const auto answered = WindowFrameExtents::requestFromWindowManager(window);
        expectedFrameMargins_.emplace(id,
                                      answered.value_or(lastFramedMargins().value_or(QMargins())));
    }
    return expectedFrameMargins_->second;
}

int NSWindow::chromeHeight(int width) const {
    return menuBarHeight(menuWidget(), width) + toolbarHeight(*this);
}

CGRect NSWindow::frameRectForContentRect(const CGRect& contentRect) const {
    const CGRect rect = contentRect.standardized();
    const QMargins margins = frameMargins();
    const int above = chromeHeight(static_cast<int>(std::lround(rect.size.width))) + margins.top();
    return {{rect.origin.x - margins.left(), rect.origin.y - above},
            {rect.size.width + margins.left() + margins.right(),
             rect.size.height + above + margins.bottom()}};
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
    if (NSApplication* application = NSApplication::shared()) {
        application->orderFrontWindow(*this);
        return;
    }
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
    QRect frame = geometry().marginsAdded(frameMargins());
    frame.moveCenter(screen->availableGeometry().center());
    placeFrame(frame);
}

void NSWindow::placeFrame(const QRect& frame) {
    const QMargins margins = frameMargins();
    // The window's own area, not its frame's corner: where the window system has not framed the
    // window yet, Qt would otherwise take the corner for the area's.
    const QRect area = frame.marginsRemoved(margins);
    setGeometry(QRect(area.topLeft(), area.size().expandedTo({1, 1})));
    if (isVisible()) {
        provisionalFrame_.reset();
    } else {
        provisionalFrame_.emplace(frame, margins);
    }
}

void NSWindow::frameExtentsDidChange() {
    if (!provisionalFrame_ || !isVisible()) {
        return;
    }
    const auto [frame, assumed] = *provisionalFrame_;
    // Full screen, maximised or minimised from the start: no longer the frame that was given.
    // (The window manager may have shaped the window to its aspect ratio meanwhile: that is
    // done again below.)
    if (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)) {
        provisionalFrame_.reset();
        return;
    }
    const auto published = WindowFrameExtents::published(*this);
    if (!published || *published == assumed) {
        return;
    }
    provisionalFrame_.reset();
    QRect area = frame.marginsRemoved(*published);
    if (!(styleMask_ & NSWindowStyleMaskResizable)) {
        // Its content decides its size.
        area.setSize(size());
    } else if (contentAspectRatio_.width > 0 && contentAspectRatio_.height > 0) {
        const int chrome = chromeHeight(area.width());
        const double ratio = contentAspectRatio_.width / contentAspectRatio_.height;
        const int contentHeight = std::max(1, area.height() - chrome);
        if (area.width() > contentHeight * ratio) {
            area.setWidth(static_cast<int>(std::lround(contentHeight * ratio)));
        } else {
            area.setHeight(static_cast<int>(std::lround(area.width() / ratio)) + chrome);
        }
    }
    setGeometry(QRect(area.topLeft(), area.size().expandedTo(minimumSize())));
    lastFramedMargins() = *published;
}

void NSWindow::makeFirstResponder(QWidget* responder) {
    if (responder != nullptr) {
        responder->setFocus(Qt::OtherFocusReason);
        return;
    }
    // The window itself takes the focus: merely clearing it would let Qt hand it to the first
    // control as soon as the window is activated.
    if (QWidget* focused = focusWidget(); focused != nullptr && focused != this) {
        focused->clearFocus();
    }
    setFocus(Qt::OtherFocusReason);
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
    const bool enter = !isInFullScreen();
    NotificationCenter::defaultCenter().post(
        enter ? NSWindowWillEnterFullScreenNotification : NSWindowWillExitFullScreenNotification,
        this);
    // Qt reports the new state through a window-state event, from inside the request or later
    // from the window manager; the did notification goes out from there.
    isFullScreenChangeAnnounced_ = true;
    const Qt::WindowStates state = windowState();
    setWindowState(enter ? (state & ~Qt::WindowMinimized) | Qt::WindowFullScreen
                         : state & ~Qt::WindowFullScreen);
    show();
    isFullScreenChangeAnnounced_ = false;
}

void NSWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        windowStateDidChange();
    }
}

void NSWindow::windowStateDidChange() {
    const bool inFullScreen = (windowState() & Qt::WindowFullScreen) != 0;
    if (inFullScreen == isInFullScreen()) {
        return;
    }
    auto& center = NotificationCenter::defaultCenter();
    if (!isFullScreenChangeAnnounced_) {
        // The window manager (or another part of Qt) changed the state on its own.
        center.post(inFullScreen ? NSWindowWillEnterFullScreenNotification
                                 : NSWindowWillExitFullScreenNotification,
                    this);
    }
    styleMask_ = inFullScreen
                     ? styleMask_ | NSWindowStyleMaskFullScreen
                     : static_cast<NSWindowStyleMask>(styleMask_ & ~NSWindowStyleMaskFullScreen);
    isMenuBarRevealed_ = false;
    if (inFullScreen) {
        if (QWindow* handle = windowHandle(); handle != nullptr && handle != watchedWindowHandle_) {
            if (watchedWindowHandle_) {
                watchedWindowHandle_->removeEventFilter(this);
            }
            // The window's own handle sees every pointer movement, whichever widget is under it.
            handle->installEventFilter(this);
            watchedWindowHandle_ = handle;
        }
    } else if (watchedWindowHandle_) {
        watchedWindowHandle_->removeEventFilter(this);
        watchedWindowHandle_ = nullptr;
    }
    updateMenuBarVisibility();
    updateAspectRatioHints();
    center.post(inFullScreen ? NSWindowDidEnterFullScreenNotification
                             : NSWindowDidExitFullScreenNotification,
                this);
}

void NSWindow::updateMenuBarVisibility() {
    QWidget* menuBar = menuWidget();
    if (menuBar == nullptr) {
        return;
    }
    menuBar->setVisible(!isInFullScreen() || isMenuBarRevealed_);
}

bool NSWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindowHandle_ && event->type() == QEvent::MouseMove) {
        pointerDidMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    }
    return QMainWindow::eventFilter(watched, event);
}

void NSWindow::pointerDidMove(const QPoint& position) {
    QWidget* menuBar = menuWidget();
    if (!isInFullScreen() || menuBar == nullptr) {
        return;
    }
    if (!isMenuBarRevealed_) {
        if (position.y() <= 0) {
            isMenuBarRevealed_ = true;
            updateMenuBarVisibility();
        }
        return;
    }
    // An open menu keeps the bar; so does the pointer on or just below it.
    if (QApplication::activePopupWidget() != nullptr ||
        position.y() <= menuBar->height() + kMenuBarRevealSlack) {
        return;
    }
    isMenuBarRevealed_ = false;
    updateMenuBarVisibility();
}

void NSWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        isInFullScreen()) {
        toggleFullScreen(this);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

// MARK: - Aspect ratio

void NSWindow::setContentAspectRatio(CGSize ratio) {
    contentAspectRatio_ = ratio;
    updateAspectRatioHints();
}

bool NSWindow::keepsAspectRatioWhileResizing() const {
    return contentAspectRatio_.width > 0 && contentAspectRatio_.height > 0 &&
           (styleMask_ & NSWindowStyleMaskResizable) != 0 &&
           (windowState() & (Qt::WindowFullScreen | Qt::WindowMaximized | Qt::WindowMinimized)) ==
               0;
}

void NSWindow::updateAspectRatioHints() {
    // The window system is asked only when the request changes: the hints outlive Qt's own
    // rewrites of them (WindowManagerAspectHints puts them back).
    const auto request = keepsAspectRatioWhileResizing()
                             ? std::optional(std::pair(contentAspectRatio_, chromeHeight(width())))
                             : std::nullopt;
    if (request == appliedAspectRatioHints_) {
        return;
    }
    appliedAspectRatioHints_ = request;
    if (request) {
        WindowManagerAspectHints::apply(*this, request->first, request->second);
    } else {
        WindowManagerAspectHints::clear(*this);
    }
}

CGSize NSWindow::aspectRatioKeepingFrameSize(CGSize size) const {
    if (contentAspectRatio_.width <= 0 || contentAspectRatio_.height <= 0) {
        return size;
    }
    const CGRect content = contentRectForFrameRect({{0, 0}, size});
    const double height =
        std::round(content.size.width * contentAspectRatio_.height / contentAspectRatio_.width);
    return frameRectForContentRect({{0, 0}, {content.size.width, height}}).size;
}

void NSWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (!keepsAspectRatioWhileResizing() || !isVisible()) {
        aspectRatioCorrectionTimer_.stop();
        return;
    }
    // The chrome's height follows the width (a menu bar wraps): the hints must too.
    updateAspectRatioHints();
    if (std::abs(aspectRatioKeepingHeight() - height()) > 1) {
        aspectRatioCorrectionTimer_.start();
    } else {
        aspectRatioCorrectionTimer_.stop();
    }
}

int NSWindow::aspectRatioKeepingHeight() const {
    const int content = static_cast<int>(
        std::lround(width() * contentAspectRatio_.height / contentAspectRatio_.width));
    return content + chromeHeight(width());
}

void NSWindow::correctSizeForAspectRatioIfNeeded() {
    if (!keepsAspectRatioWhileResizing() || !isVisible()) {
        return;
    }
    int wantedHeight = aspectRatioKeepingHeight();
    if (std::abs(wantedHeight - height()) <= 1) {
        return;
    }
    // Taller than the screen allows: narrow the window instead, keeping the ratio.
    int wantedWidth = width();
    if (const auto available = screenVisibleFrame()) {
        const QMargins margins = frameMargins();
        const int limit =
            static_cast<int>(available->size.height) - margins.top() - margins.bottom();
        if (wantedHeight > limit && limit > 0) {
            const int content = limit - chromeHeight(width());
            wantedWidth = static_cast<int>(
                std::lround(content * contentAspectRatio_.width / contentAspectRatio_.height));
            wantedHeight = limit;
        }
    }
    resize(std::max(wantedWidth, minimumWidth()), std::max(wantedHeight, minimumHeight()));
}

void NSWindow::orderOut() {
    hide();
}

CGPoint NSWindow::mouseLocationOutsideOfEventStream() const {
    const QPoint local = mapFromGlobal(QCursor::pos());
    return {static_cast<CGFloat>(local.x()), static_cast<CGFloat>(local.y())};
}

void NSWindow::setFrame(const CGRect& frame, bool, bool animate) {
    const QRect target = toQRect(frame);
    const double seconds = animate && isVisible() ? animationResizeTime(frame.standardized()) : 0.0;
    if (seconds <= 0.0) {
        placeFrame(target);
        return;
    }
    const QRect area = target.marginsRemoved(frameMargins());
    auto* animation = new QPropertyAnimation(this, "geometry", this);
    animation->setDuration(static_cast<int>(std::lround(seconds * 1000.0)));
    animation->setEndValue(QRect(area.topLeft(), area.size().expandedTo({1, 1})));
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

CGRect NSWindow::contentRectForFrameRect(const CGRect& frameRect) const {
    const CGRect rect = frameRect.standardized();
    const QMargins margins = frameMargins();
    const CGFloat width = std::max<CGFloat>(0, rect.size.width - margins.left() - margins.right());
    const int above = chromeHeight(static_cast<int>(std::lround(width))) + margins.top();
    return {{rect.origin.x + margins.left(), rect.origin.y + above},
            {width, std::max<CGFloat>(0, rect.size.height - above - margins.bottom())}};
}

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
    sheet->move(sheetTopLeft(*this, sheet->sizeHint().expandedTo(sheet->minimumSizeHint())));
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

QMargins decorationMargins(const QWidget& window) {
    const QRect frame = window.frameGeometry();
    const QRect client = window.geometry();
    return {client.left() - frame.left(), client.top() - frame.top(),
            frame.right() - client.right(), frame.bottom() - client.bottom()};
}

QPoint sheetTopLeft(const QWidget& window, const QSize& sheetSize) {
    const QRect parent = window.geometry();
    return {parent.x() + (parent.width() - sheetSize.width()) / 2, parent.y()};
}

NSWindow* windowOfView(const QWidget* view) {
    return view == nullptr ? nullptr : dynamic_cast<NSWindow*>(view->window());
}

}  // namespace platform
