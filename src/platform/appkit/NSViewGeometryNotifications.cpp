#include "platform/appkit/NSViewGeometryNotifications.h"

#include <QEvent>
#include <QWidget>

#include "platform/foundation/NotificationCenter.h"

namespace platform {
namespace {

constexpr const char* posterName = "org.quillon.platform.FrameChangePoster";

class FrameChangePoster : public QObject {
public:
    explicit FrameChangePoster(QWidget* view) : QObject(view) { setObjectName(posterName); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == parent() &&
            (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
            NotificationCenter::defaultCenter().post(NSViewFrameDidChangeNotification,
                                                     static_cast<const QWidget*>(watched));
        }
        return false;
    }
};

}  // namespace

void setPostsFrameChangedNotifications(QWidget* view) {
    if (view->findChild<FrameChangePoster*>(posterName, Qt::FindDirectChildrenOnly) != nullptr) {
        return;
    }
    view->installEventFilter(new FrameChangePoster(view));
}

}  // namespace platform
