#include "platform/pip/PIPViewController.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <set>
#include <utility>

#include "platform/appkit/NSViewController.h"
#include "platform/appkit/WindowManagerAspectHints.h"
#include "platform/appkit/WindowSystemCapabilities.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

constexpr int kFlyBackDurationMilliseconds = 200;
constexpr int kScreenMargin = 16;
constexpr double kMinimumWidth = 240;
constexpr double kMaximumWidth = 480;
constexpr double kDefaultAspectRatio = 16.0 / 9.0;
// The band along the window's edges that resizes rather than moves.
constexpr int kResizeBorder = 6;
constexpr int kMinimumResizedWidth = 160;
// How long the window waits for a resize by a window manager that ignored its aspect ratio to
// settle before it takes the ratio back.
constexpr int kAspectRatioCorrectionDelayMilliseconds = 150;

std::atomic<int>& absenceCount() {
    static std::atomic<int> count{0};
    return count;
}

std::optional<std::string>& presentationFailure() {
    static std::optional<std::string> reason;
    return reason;
}

// The view controllers shown in some floating window right now.
std::set<const NSViewController*>& presentedControllers() {
    static std::set<const NSViewController*> controllers;
    return controllers;
}

QRect toQRect(const CGRect& rect) {
    const CGRect r = rect.standardized();
    return {static_cast<int>(std::lround(r.origin.x)), static_cast<int>(std::lround(r.origin.y)),
            static_cast<int>(std::lround(r.size.width)),
            static_cast<int>(std::lround(r.size.height))};
}

// The window still floats, resizable and of the picture's shape; only where it stays is not ours
// to say. Said once per process: every start would only repeat it.
void logStackingIsTheCompositorsOnce() {
    static bool logged = false;
    if (std::exchange(logged, true)) {
        return;
    }
    logWarning(
        "The Picture in Picture window cannot be kept above other windows: the compositor "
        "decides how windows are stacked.");
}

QToolButton* makeControl(QWidget* parent, QStyle::StandardPixmap pixmap, const std::string& name) {
    auto* button = new QToolButton(parent);
    button->setIcon(parent->style()->standardIcon(pixmap));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setToolTip(QString::fromStdString(name));
    button->setAccessibleName(QString::fromStdString(name));
    return button;
}

}  // namespace

QRect pictureInPictureWindowFrame(const QRect& available, CGSize aspectRatio) {
    const double ratio = aspectRatio.width > 0 && aspectRatio.height > 0
                             ? aspectRatio.width / aspectRatio.height
                             : kDefaultAspectRatio;
    double width = std::clamp(available.width() / 4.0, kMinimumWidth, kMaximumWidth);
    double height = width / ratio;
    const double maximumHeight = available.height() / 2.0;
    if (height > maximumHeight) {
        height = maximumHeight;
        width = height * ratio;
    }
    const int w = std::max(1, static_cast<int>(std::lround(width)));
    const int h = std::max(1, static_cast<int>(std::lround(height)));
    return {available.x() + available.width() - kScreenMargin - w,
            available.y() + available.height() - kScreenMargin - h, w, h};
}

// --- Class presence and test seams ---

bool PIPViewController::isClassPresent() {
    return absenceCount().load() == 0;
}

PIPViewController::ScopedClassAbsence::ScopedClassAbsence() {
    ++absenceCount();
}

PIPViewController::ScopedClassAbsence::~ScopedClassAbsence() {
    --absenceCount();
}

PIPViewController::ScopedPresentationFailure::ScopedPresentationFailure(std::string reason)
    : previous_(std::exchange(presentationFailure(), std::move(reason))) {}

PIPViewController::ScopedPresentationFailure::~ScopedPresentationFailure() {
    presentationFailure() = std::move(previous_);
}

// --- PIPViewController ---

void PIPViewController::WindowDeleter::operator()(PIPWindow* window) const {
    window->hide();
    window->deleteLater();
}

PIPViewController::PIPViewController() : self_(std::make_shared<PIPViewController*>(this)) {}

PIPViewController::~PIPViewController() {
    *self_ = nullptr;
    if (window_) {
        releasePresentedView();
    }
    if (presented_ && !closing_) {
        presentedControllers().erase(presented_.get());
    }
}

void PIPViewController::setDelegate(std::weak_ptr<PIPViewControllerDelegate> delegate) {
    delegate_ = std::move(delegate);
}

void PIPViewController::setUseAutoLayout(bool useAutoLayout) {
    useAutoLayout_ = useAutoLayout;
}

void PIPViewController::setAspectRatio(CGSize aspectRatio) {
    aspectRatio_ = aspectRatio;
    if (window_ && !closing_) {
        updateWindowShape();
    }
}

void PIPViewController::setPlaying(bool playing) {
    playing_ = playing;
    if (window_) {
        window_->setPlaying(playing);
    }
}

void PIPViewController::presentViewControllerAsPictureInPicture(
    std::shared_ptr<NSViewController> controller) {
    if (presentationFailure()) {
        throw PIPViewControllerException(*presentationFailure());
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
        QGuiApplication::primaryScreen() == nullptr) {
        throw PIPViewControllerException("There is no screen to show Picture in Picture on.");
    }
    if (controller == nullptr) {
        throw PIPViewControllerException("There is no view controller to present.");
    }
    if (window_) {
        throw PIPViewControllerException("Picture in Picture is presenting already.");
    }
    if (isPresenting(*controller)) {
        throw PIPViewControllerException("The view controller is presented already.");
    }
    QWidget* view = controller->view();
    window_.reset(new PIPWindow(*this));
    window_->setPresentedView(view, useAutoLayout_);
    window_->setPlaying(playing_);
    presentedView_ = view;
    presented_ = std::move(controller);
    presentedControllers().insert(presented_.get());
    closing_ = false;
    updateWindowShape();
    window_->show();
    if (!WindowSystemCapabilities::keepsWindowsOnTop()) {
        logStackingIsTheCompositorsOnce();
    }
}

void PIPViewController::dismissViewController(const std::shared_ptr<NSViewController>& controller) {
    if (!window_ || controller == nullptr || controller != presented_) {
        return;
    }
    beginClosing(false);
}

void PIPViewController::setReplacementWindow(QWidget* window) {
    replacementWindow_ = window;
}

void PIPViewController::setReplacementRect(CGRect rect) {
    replacementRect_ = rect;
}

bool PIPViewController::isPresenting(const NSViewController& controller) {
    return presentedControllers().count(&controller) != 0;
}

void PIPViewController::userDidPlayPause() {
    if (const auto delegate = delegate_.lock()) {
        if (playing_) {
            delegate->pipActionPause(*this);
        } else {
            delegate->pipActionPlay(*this);
        }
    }
}

void PIPViewController::userDidReturn() {
    if (!window_ || closing_) {
        return;
    }
    const std::weak_ptr<PIPViewController*> alive = self_;
    if (const auto delegate = delegate_.lock()) {
        delegate->pipActionReturn(*this);
    }
    const auto self = alive.lock();
    if (self && *self != nullptr) {
        beginClosing(true);
    }
}

void PIPViewController::userDidClose() {
    if (window_ && !closing_) {
        beginClosing(true);
    }
}

void PIPViewController::beginClosing(bool notifyWillClose) {
    if (!window_ || closing_) {
        return;
    }
    closing_ = true;
    presentedControllers().erase(presented_.get());
    const std::weak_ptr<PIPViewController*> alive = self_;
    if (notifyWillClose) {
        if (const auto delegate = delegate_.lock()) {
            delegate->pipWillClose(*this);
        }
        const auto self = alive.lock();
        if (!self || *self == nullptr || !window_) {
            return;
        }
    }
    const auto finish = [alive] {
        const auto self = alive.lock();
        if (self && *self != nullptr) {
            (*self)->finishClosing();
        }
    };
    QWidget* target = replacementWindow_;
    const QRect targetRect = toQRect(replacementRect_);
    // Where positions are the compositor's, a flight would only change the window's size.
    if (target != nullptr && target->isVisible() && !targetRect.isEmpty() &&
        WindowSystemCapabilities::placesWindowsWhereAsked()) {
        auto* animation = new QPropertyAnimation(window_.get(), "geometry", window_.get());
        animation->setDuration(kFlyBackDurationMilliseconds);
        animation->setEasingCurve(QEasingCurve::InOutQuad);
        animation->setEndValue(QRect(target->mapToGlobal(targetRect.topLeft()), targetRect.size()));
        QObject::connect(animation, &QPropertyAnimation::finished, window_.get(), finish);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        QTimer::singleShot(0, window_.get(), finish);
    }
}

void PIPViewController::finishClosing() {
    if (!window_) {
        return;
    }
    releasePresentedView();
    window_.reset();
    presented_.reset();
    closing_ = false;
    if (const auto delegate = delegate_.lock()) {
        delegate->pipDidClose(*this);
    }
}

void PIPViewController::releasePresentedView() {
    if (window_) {
        window_->takePresentedView();
    }
    presentedView_ = nullptr;
}

void PIPViewController::updateWindowShape() {
    QScreen* screen = window_->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen != nullptr) {
        window_->setGeometry(
            pictureInPictureWindowFrame(screen->availableGeometry(), aspectRatio_));
    }
    window_->setAspectRatio(aspectRatio_);
}

// --- PIPWindow ---

PIPWindow::PIPWindow(PIPViewController& owner)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      owner_(owner),
      content_(new QWidget(this)),
      overlay_(new QWidget(this)) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(
        QString::fromStdString(platform::localizedString("Picture in Picture", "Window title")));
    setStyleSheet(QStringLiteral("PIPWindow { background: black; }"));
    setAttribute(Qt::WA_StyledBackground);

    returnButton_ =
        makeControl(overlay_, QStyle::SP_TitleBarNormalButton,
                    platform::localizedString("Return to Window", "Picture in Picture control"));
    closeButton_ = makeControl(overlay_, QStyle::SP_TitleBarCloseButton,
                               platform::localizedString("Close", "Picture in Picture control"));
    playPauseButton_ = makeControl(overlay_, QStyle::SP_MediaPlay,
                                   platform::localizedString("Play", "Picture in Picture control"));
    auto* top = new QHBoxLayout;
    top->addWidget(closeButton_);
    top->addStretch();
    top->addWidget(returnButton_);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(playPauseButton_);
    bottom->addStretch();
    auto* column = new QVBoxLayout(overlay_);
    column->setContentsMargins(4, 4, 4, 4);
    column->addLayout(top);
    column->addStretch();
    column->addLayout(bottom);
    overlay_->hide();
    setMinimumSize(kMinimumResizedWidth, kMinimumResizedWidth * 9 / 16);
    aspectRatioCorrectionTimer_.setSingleShot(true);
    aspectRatioCorrectionTimer_.setInterval(kAspectRatioCorrectionDelayMilliseconds);
    QObject::connect(&aspectRatioCorrectionTimer_, &QTimer::timeout, this,
                     [this] { correctSizeForAspectRatio(); });

    QObject::connect(playPauseButton_, &QAbstractButton::clicked, this,
                     [this] { owner_.userDidPlayPause(); });
    QObject::connect(returnButton_, &QAbstractButton::clicked, this,
                     [this] { owner_.userDidReturn(); });
    QObject::connect(closeButton_, &QAbstractButton::clicked, this,
                     [this] { owner_.userDidClose(); });
}

QWidget* PIPWindow::presentedView() const {
    return presentedView_;
}

void PIPWindow::setPresentedView(QWidget* view, bool useAutoLayout) {
    presentedView_ = view;
    if (useAutoLayout) {
        auto* layout = new QVBoxLayout(content_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(view);
    } else {
        view->setParent(content_);
    }
    view->show();
    layOutContent();
}

QWidget* PIPWindow::takePresentedView() {
    QWidget* view = presentedView_;
    presentedView_ = nullptr;
    if (view != nullptr) {
        view->hide();
        view->setParent(nullptr);
    }
    return view;
}

void PIPWindow::setPlaying(bool playing) {
    playPauseButton_->setIcon(
        style()->standardIcon(playing ? QStyle::SP_MediaPause : QStyle::SP_MediaPlay));
    const std::string name = playing
                                 ? platform::localizedString("Pause", "Picture in Picture control")
                                 : platform::localizedString("Play", "Picture in Picture control");
    playPauseButton_->setToolTip(QString::fromStdString(name));
    playPauseButton_->setAccessibleName(QString::fromStdString(name));
}

void PIPWindow::layOutContent() {
    content_->setGeometry(rect());
    overlay_->setGeometry(rect());
    overlay_->raise();
    if (presentedView_ && presentedView_->parentWidget() == content_ &&
        content_->layout() == nullptr) {
        presentedView_->setGeometry(content_->rect());
    }
}

void PIPWindow::setAspectRatio(CGSize aspectRatio) {
    aspectRatio_ = aspectRatio.width > 0 && aspectRatio.height > 0 ? aspectRatio : CGSize{0, 0};
    WindowManagerAspectHints::apply(*this, aspectRatio_, 0);
    correctSizeForAspectRatio();
}

Qt::Edges PIPWindow::resizeEdgesAt(const QPoint& position) const {
    Qt::Edges edges;
    if (position.x() < kResizeBorder) {
        edges |= Qt::LeftEdge;
    } else if (position.x() >= width() - kResizeBorder) {
        edges |= Qt::RightEdge;
    }
    if (position.y() < kResizeBorder) {
        edges |= Qt::TopEdge;
    } else if (position.y() >= height() - kResizeBorder) {
        edges |= Qt::BottomEdge;
    }
    return edges;
}

void PIPWindow::correctSizeForAspectRatio() {
    if (aspectRatio_.width <= 0 || aspectRatio_.height <= 0) {
        return;
    }
    const int wantedHeight =
        static_cast<int>(std::lround(width() * aspectRatio_.height / aspectRatio_.width));
    if (std::abs(wantedHeight - height()) > 1) {
        resize(width(), std::max(wantedHeight, 1));
    }
}

void PIPWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layOutContent();
    if (aspectRatio_.width > 0 && aspectRatio_.height > 0) {
        const double wanted = width() * aspectRatio_.height / aspectRatio_.width;
        if (std::abs(wanted - height()) > 1) {
            aspectRatioCorrectionTimer_.start();
        } else {
            aspectRatioCorrectionTimer_.stop();
        }
    }
}

void PIPWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The handle sees the pointer over the picture and the controls alike, for the resize
    // cursor at the edges.
    if (QWindow* handle = windowHandle(); handle != nullptr && handle != watchedWindowHandle_) {
        handle->installEventFilter(this);
        watchedWindowHandle_ = handle;
    }
    WindowManagerAspectHints::apply(*this, aspectRatio_, 0);
}

bool PIPWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == watchedWindowHandle_ && event->type() == QEvent::MouseMove) {
        const auto* move = static_cast<QMouseEvent*>(event);
        if (move->buttons() == Qt::NoButton) {
            const Qt::Edges edges = resizeEdgesAt(move->position().toPoint());
            if (edges == (Qt::LeftEdge | Qt::TopEdge) ||
                edges == (Qt::RightEdge | Qt::BottomEdge)) {
                setCursor(Qt::SizeFDiagCursor);
            } else if (edges == (Qt::RightEdge | Qt::TopEdge) ||
                       edges == (Qt::LeftEdge | Qt::BottomEdge)) {
                setCursor(Qt::SizeBDiagCursor);
            } else if (edges & (Qt::LeftEdge | Qt::RightEdge)) {
                setCursor(Qt::SizeHorCursor);
            } else if (edges & (Qt::TopEdge | Qt::BottomEdge)) {
                setCursor(Qt::SizeVerCursor);
            } else {
                unsetCursor();
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void PIPWindow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    overlay_->show();
    overlay_->raise();
}

void PIPWindow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    overlay_->hide();
}

void PIPWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && windowHandle() != nullptr) {
        const Qt::Edges edges = resizeEdgesAt(event->position().toPoint());
        if (edges != Qt::Edges()) {
            windowHandle()->startSystemResize(edges);
        } else {
            windowHandle()->startSystemMove();
        }
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void PIPWindow::closeEvent(QCloseEvent* event) {
    // Closed from outside (the window manager, the application quitting): as with the window's
    // own close control. Refusing would hold up the application's quitting.
    QWidget::closeEvent(event);
    owner_.userDidClose();
}

}  // namespace platform
