#pragma once

#include <functional>

class QWidget;

namespace platform {

// Groups animated changes. Main thread only.
class NSAnimationContext {
public:
    // Runs `changes`; alpha changes made through an animator inside it take `duration` seconds.
    static void runAnimationGroup(double duration, const std::function<void()>& changes);
    // The duration of the innermost running group, or the default 0.25 s outside any group.
    static double currentDuration();
};

// A view's opacity, 0 to 1, drawn through an opacity effect; 1 for a view never changed. Reads
// the value last set, also while an animation towards it still runs.
double alphaValue(const QWidget* view);
// Sets the opacity at once, ending an animation towards another value.
void setAlphaValue(QWidget* view, double alpha);

// The animated side of a view: changes animate over the current group's duration.
class NSViewAnimator {
public:
    explicit NSViewAnimator(QWidget* view) : view_(view) {}
    void setAlphaValue(double alpha);

private:
    QWidget* view_;
};

inline NSViewAnimator animator(QWidget* view) {
    return NSViewAnimator(view);
}

}  // namespace platform
