#include "platform/appkit/NSCursor.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPointer>

namespace platform {
namespace {

// Shows the pointer again on the first mouse movement that reaches a window of the application
// at another position than where it was hidden: Qt also sends moves of its own (a window shown
// under a resting pointer), which must not count.
class PointerRevealer : public QObject {
public:
    bool hidden = false;
    QPoint hiddenAt;

    void hide() {
        hiddenAt = QCursor::pos();
        if (!hidden) {
            hidden = true;
            QGuiApplication::setOverrideCursor(Qt::BlankCursor);
        }
    }

    void show() {
        if (hidden) {
            hidden = false;
            QGuiApplication::restoreOverrideCursor();
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (hidden && event->type() == QEvent::MouseMove && watched->isWindowType() &&
            static_cast<QMouseEvent*>(event)->globalPosition().toPoint() != hiddenAt) {
            show();
        }
        return false;
    }
};

PointerRevealer& revealer() {
    static QPointer<PointerRevealer> instance;
    if (instance == nullptr) {
        instance = new PointerRevealer;
        instance->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(instance);
    }
    return *instance;
}

}  // namespace

void NSCursor::setHiddenUntilMouseMoves(bool flag) {
    if (flag) {
        revealer().hide();
    } else {
        revealer().show();
    }
}

bool NSCursor::isHiddenUntilMouseMoves() {
    return revealer().hidden;
}

}  // namespace platform
