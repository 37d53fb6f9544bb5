#pragma once

#include <memory>

class QObject;

namespace platform {

// While it lives, the main queue is run by the Qt event loop: each submission posts one drain
// to the QCoreApplication's thread, and that thread counts as being on the main queue. Create
// it on that thread after the QCoreApplication, and let it die before the application object.
class MainQueueEventLoopBinding {
public:
    MainQueueEventLoopBinding();
    ~MainQueueEventLoopBinding();
    MainQueueEventLoopBinding(const MainQueueEventLoopBinding&) = delete;
    MainQueueEventLoopBinding& operator=(const MainQueueEventLoopBinding&) = delete;

private:
    // Posted drains go to this object, so those still pending die with the binding.
    std::unique_ptr<QObject> receiver_;
};

[[nodiscard]] inline MainQueueEventLoopBinding bindMainQueueToQtEventLoop() {
    return MainQueueEventLoopBinding();
}

}  // namespace platform
