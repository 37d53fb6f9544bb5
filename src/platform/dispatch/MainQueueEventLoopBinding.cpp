#include "platform/dispatch/MainQueueEventLoopBinding.h"

#include <thread>

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QThread>

#include "platform/dispatch/MainQueueCore.h"
#include "platform/foundation/FatalError.h"

namespace platform {

MainQueueEventLoopBinding::MainQueueEventLoopBinding() {
    auto* application = QCoreApplication::instance();
    precondition(application != nullptr,
                 "The main queue can only be bound once a QCoreApplication exists");
    precondition(QThread::currentThread() == application->thread(),
                 "The main queue must be bound on the QCoreApplication's thread");
    receiver_ = std::make_unique<QObject>();
    QObject* receiver = receiver_.get();
    auto& core = detail::MainQueueCore::shared();
    core.bind(
        [receiver, &core] {
            QMetaObject::invokeMethod(
                receiver, [&core] { core.drainRequested(); }, Qt::QueuedConnection);
        },
        std::this_thread::get_id());
}

MainQueueEventLoopBinding::~MainQueueEventLoopBinding() {
    // Unbinding first means no other thread is posting to the receiver when it goes.
    detail::MainQueueCore::shared().unbind();
}

}  // namespace platform
