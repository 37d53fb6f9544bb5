#include "platform/appkit/NSAnimationContext.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <vector>

namespace platform {
namespace {

constexpr double defaultDuration = 0.25;
constexpr const char* alphaProperty = "org.quillon.platform.alphaValue";
constexpr const char* animationName = "org.quillon.platform.alphaAnimation";

std::vector<double>& groupDurations() {
    static std::vector<double> durations;
    return durations;
}

// The view's opacity effect, made on first use. A view that already draws through another
// effect keeps it: its alpha is then only recorded.
QGraphicsOpacityEffect* opacityEffect(QWidget* view) {
    if (view->graphicsEffect() == nullptr) {
        auto* effect = new QGraphicsOpacityEffect(view);
        // Qt's effect starts see-through.
        effect->setOpacity(1.0);
        view->setGraphicsEffect(effect);
    }
    return qobject_cast<QGraphicsOpacityEffect*>(view->graphicsEffect());
}

void stopAnimation(QGraphicsOpacityEffect& effect) {
    if (auto* running =
            effect.findChild<QPropertyAnimation*>(animationName, Qt::FindDirectChildrenOnly)) {
        running->stop();
        delete running;
    }
}

void changeAlpha(QWidget* view, double alpha, double duration) {
    alpha = std::clamp(alpha, 0.0, 1.0);
    view->setProperty(alphaProperty, alpha);
    QGraphicsOpacityEffect* effect = opacityEffect(view);
    if (effect == nullptr) {
        return;
    }
    // Starts from wherever a running animation has got to, as the platform retargets.
    stopAnimation(*effect);
    if (duration <= 0 || effect->opacity() == alpha) {
        effect->setOpacity(alpha);
        return;
    }
    auto* animation = new QPropertyAnimation(effect, "opacity", effect);
    animation->setObjectName(animationName);
    animation->setDuration(static_cast<int>(std::lround(duration * 1000)));
    animation->setStartValue(effect->opacity());
    animation->setEndValue(alpha);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

}  // namespace

void NSAnimationContext::runAnimationGroup(double duration, const std::function<void()>& changes) {
    groupDurations().push_back(duration);
    struct Pop {
        ~Pop() { groupDurations().pop_back(); }
    } pop;
    changes();
}

double NSAnimationContext::currentDuration() {
    return groupDurations().empty() ? defaultDuration : groupDurations().back();
}

double alphaValue(const QWidget* view) {
    const QVariant value = view->property(alphaProperty);
    return value.isValid() ? value.toDouble() : 1.0;
}

void setAlphaValue(QWidget* view, double alpha) {
    changeAlpha(view, alpha, 0);
}

void NSViewAnimator::setAlphaValue(double alpha) {
    changeAlpha(view_, alpha, NSAnimationContext::currentDuration());
}

}  // namespace platform
