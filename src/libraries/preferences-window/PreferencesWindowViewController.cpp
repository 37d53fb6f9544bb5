#include "libraries/preferences-window/PreferencesWindowViewController.h"

#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "platform/appkit/NSWindow.h"
#include "platform/foundation/FatalError.h"

namespace preferences_window {

namespace {

// The smallest size that the view's layout and constraints let it have at its natural size.
QSize fittingSize(const QWidget& view) {
    QSize size = view.sizeHint();
    size = QSize(std::max(size.width(), 0), std::max(size.height(), 0));
    return size.expandedTo(view.minimumSize()).boundedTo(view.maximumSize());
}

}  // namespace

PreferencesWindowViewController::PreferencesWindowViewController(
    PreferencePaneViewControllers viewControllers)
    : viewControllers_(std::move(viewControllers)), visible_(viewControllers_.firstIdentifier()) {
    for (const auto& pane : viewControllers_) {
        addChildViewController(pane);
    }
}

PreferencesWindowViewController::~PreferencesWindowViewController() {
    heightAnimation_.reset();
}

void PreferencesWindowViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->resize(1, 1);
    layout_ = new QVBoxLayout(view.get());
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    setView(std::move(view));
}

void PreferencesWindowViewController::viewDidLoad() {
    NSViewController::viewDidLoad();
    showPreferencePaneWithoutAnimation(visible_);
    int widest = 0;
    for (const auto& pane : viewControllers_) {
        widest = std::max(widest, fittingSize(*pane->view()).width());
    }
    setWidth(widest);
}

void PreferencesWindowViewController::setWidth(int width) {
    // At least the widest pane; a pane that grows later may widen the window further.
    width_ = width;
    view()->setMinimumWidth(width);
}

void PreferencesWindowViewController::setVisiblePreferencePaneIdentifier(
    const PreferencePaneIdentifier& identifier) {
    if (identifier == visible_) {
        return;
    }
    if (!isViewLoaded()) {
        visible_ = identifier;
        return;
    }
    currentAnimationUUID_.reset();
    showPreferencePaneWithoutAnimation(identifier);
}

void PreferencesWindowViewController::showPreferencePaneWithoutAnimation(
    const PreferencePaneIdentifier& identifier) {
    replaceVisiblePaneView(identifier, false);
}

QWidget* PreferencesWindowViewController::replaceVisiblePaneView(
    const PreferencePaneIdentifier& identifier, bool hidden) {
    QWidget* container = view();
    const auto& newPane = viewControllers_.paneWithIdentifier(identifier);

    // Whatever a running switch still does to the window's height, this one takes over.
    heightAnimation_.reset();
    container->setMinimumHeight(0);
    container->setMaximumHeight(QWIDGETSIZE_MAX);

    const auto& oldPane = viewControllers_.paneWithIdentifier(visible_);
    if (oldPane->isViewLoaded() && oldPane->view()->parentWidget() == container) {
        QWidget* oldView = oldPane->view();
        oldView->hide();
        layout_->removeWidget(oldView);
        oldView->setParent(nullptr);
    }
    visible_ = identifier;

    QWidget* newView = newPane->view();
    layout_->addWidget(newView, 0, Qt::AlignHCenter);
    newView->setVisible(!hidden);
    return newView;
}

void PreferencesWindowViewController::showPreferencePane(
    const PreferencePaneIdentifier& identifier) {
    QWidget* container = view();
    const int currentHeight = container->height();
    QWidget* newView = replaceVisiblePaneView(identifier, true);

    platform::NSWindow* window = platform::windowOfView(container);
    if (window == nullptr) {
        newView->show();
        return;
    }

    const platform::UUID uuid;
    currentAnimationUUID_ = uuid;

    const int targetHeight = fittingSize(*newView).height();
    const platform::CGRect frame = window->frame();
    const platform::CGRect targetContentFrame =
        window->frameRectForContentRect({{0, 0}, {frame.size.width, double(targetHeight)}});
    const platform::CGRect targetFrame{{frame.origin.x, frame.origin.y},
                                       {frame.size.width, targetContentFrame.size.height}};
    const double seconds = window->animationResizeTime(targetFrame);

    // The new pane is hidden, so it does not size the content: the content's height is held by
    // hand and moved to the new pane's, and the window, which takes the size its content asks
    // for, follows with its top edge in place.
    container->setFixedHeight(currentHeight);
    heightAnimation_ = std::make_unique<QVariantAnimation>();
    heightAnimation_->setStartValue(currentHeight);
    heightAnimation_->setEndValue(targetHeight);
    heightAnimation_->setDuration(std::max(1, static_cast<int>(std::lround(seconds * 1000))));
    heightAnimation_->setEasingCurve(QEasingCurve::InOutQuad);
    QObject::connect(
        heightAnimation_.get(), &QVariantAnimation::valueChanged, container,
        [container](const QVariant& value) { container->setFixedHeight(value.toInt()); });
    QObject::connect(heightAnimation_.get(), &QVariantAnimation::finished, container,
                     [this, uuid, newView] { finishSwitch(uuid, newView); });
    heightAnimation_->start();
}

void PreferencesWindowViewController::finishSwitch(const platform::UUID& uuid, QWidget* newView) {
    if (currentAnimationUUID_ != uuid) {
        return;
    }
    currentAnimationUUID_.reset();
    newView->show();
    QWidget* container = view();
    container->setMinimumHeight(0);
    container->setMaximumHeight(QWIDGETSIZE_MAX);
}

}  // namespace preferences_window
