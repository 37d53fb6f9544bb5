#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

#include "platform/dispatch/DispatchQueue.h"

namespace quillon::test {

// Runs Qt's events (animations, timers, deferred deletions) and the main queue until
// `condition` holds; false after a timeout that only catches hangs.
inline bool pumpUntil(const std::function<bool()>& condition) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 10000) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        platform::DispatchQueue::main().drain();
    }
    return true;
}

}  // namespace quillon::test
