#pragma once

#include <QByteArray>
#include <QPointer>
#include <QPropertyAnimation>
#include <QVariant>
#include <functional>
#include <map>
#include <memory>

namespace calyxware {

// Animates the Qt properties of one object: setting a value through the animator moves the
// property there over the animator's duration instead of at once. The animation for a key comes
// from the object (its per-key default, possibly adjusted); a key without one is set at once.
// A new animation of a key replaces the one still running for it. Main thread only.
class Animator {
public:
    // Answers the animation for a property name, its end value not yet set, or null.
    using AnimationFactory = std::function<std::unique_ptr<QPropertyAnimation>(const QByteArray&)>;

    static constexpr int defaultDurationMilliseconds = 250;

    Animator(QObject& target, AnimationFactory animationForKey);
    ~Animator();
    Animator(const Animator&) = delete;
    Animator& operator=(const Animator&) = delete;

    int duration() const { return durationMilliseconds_; }
    // 0 makes every change immediate.
    void setDuration(int milliseconds) { durationMilliseconds_ = milliseconds; }

    // Starts animating `key` to `value` and answers the running animation (owned by the target,
    // deleted when it stops), or sets the value at once and answers null.
    QPropertyAnimation* setValue(const QByteArray& key, const QVariant& value);

    // The animation of `key` that is still running, or null.
    QPropertyAnimation* runningAnimation(const QByteArray& key) const;

private:
    QObject& target_;
    AnimationFactory animationForKey_;
    int durationMilliseconds_ = defaultDurationMilliseconds;
    std::map<QByteArray, QPointer<QPropertyAnimation>> running_;
};

}  // namespace calyxware
