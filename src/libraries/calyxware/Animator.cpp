#include "libraries/calyxware/Animator.h"

#include <utility>

#include "libraries/calyxware/ColorInterpolation.h"

namespace calyxware {

Animator::Animator(QObject& target, AnimationFactory animationForKey)
    : target_(target), animationForKey_(std::move(animationForKey)) {
    registerColorInterpolation();
}

Animator::~Animator() {
    // The target owns the animations and deletes them with itself; stopping here keeps a
    // running one from touching a half-destroyed target.
    for (auto& [key, animation] : running_) {
        if (animation) {
            animation->stop();
        }
    }
}

QPropertyAnimation* Animator::setValue(const QByteArray& key, const QVariant& value) {
    if (auto previous = running_.find(key); previous != running_.end()) {
        if (previous->second) {
            previous->second->stop();
        }
        running_.erase(previous);
    }
    std::unique_ptr<QPropertyAnimation> animation =
        durationMilliseconds_ > 0 && animationForKey_ ? animationForKey_(key) : nullptr;
    if (!animation) {
        target_.setProperty(key.constData(), value);
        return nullptr;
    }
    if (animation->targetObject() == nullptr) {
        animation->setTargetObject(&target_);
    }
    if (animation->propertyName().isEmpty()) {
        animation->setPropertyName(key);
    }
    animation->setDuration(durationMilliseconds_);
    animation->setEndValue(value);
    QPropertyAnimation* started = animation.release();
    started->setParent(&target_);
    running_[key] = started;
    started->start(QAbstractAnimation::DeleteWhenStopped);
    return started;
}

QPropertyAnimation* Animator::runningAnimation(const QByteArray& key) const {
    const auto found = running_.find(key);
    return found == running_.end() ? nullptr : found->second.data();
}

}  // namespace calyxware
