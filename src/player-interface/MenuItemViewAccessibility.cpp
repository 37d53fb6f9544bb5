#include "player-interface/MenuItemViewAccessibility.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QMenu>
#include <QPointer>
#include <QWidgetAction>
#include <QWindow>
#include <mutex>

namespace quillon {

namespace {

// The menu that shows `action`'s view, if it is in one.
QMenu* menuShowing(const QWidgetAction& action) {
    QWidget* view = action.defaultWidget();
    auto* menu = view != nullptr ? qobject_cast<QMenu*>(view->parentWidget()) : nullptr;
    return menu != nullptr && menu->actions().contains(&action) ? menu : nullptr;
}

// The item of `menu` whose view `view` is.
QWidgetAction* itemShowing(const QWidget& view) {
    auto* menu = qobject_cast<QMenu*>(view.parentWidget());
    if (menu == nullptr) {
        return nullptr;
    }
    for (QAction* action : menu->actions()) {
        auto* item = qobject_cast<QWidgetAction*>(action);
        if (item != nullptr && item->defaultWidget() == &view) {
            return item;
        }
    }
    return nullptr;
}

class MenuItemWithViewAccessibleInterface : public QAccessibleObject {
public:
    explicit MenuItemWithViewAccessibleInterface(QWidgetAction* item) : QAccessibleObject(item) {}

    QWindow* window() const override {
        QMenu* menu = this->menu();
        return menu != nullptr ? menu->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        QMenu* menu = this->menu();
        return menu != nullptr ? QAccessible::queryAccessibleInterface(menu) : nullptr;
    }
    int childCount() const override { return menu() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && menu() != nullptr
                   ? QAccessible::queryAccessibleInterface(item()->defaultWidget())
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && menu() != nullptr && child->object() == item()->defaultWidget()
                   ? 0
                   : -1;
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QAccessibleInterface* view = child(0);
        return view != nullptr && view->rect().contains(x, y) ? view : nullptr;
    }
    QRect rect() const override {
        QMenu* menu = this->menu();
        if (menu == nullptr) {
            return {};
        }
        const QRect geometry = menu->actionGeometry(item());
        return geometry.translated(menu->mapToGlobal(QPoint(0, 0)));
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        QMenu* menu = this->menu();
        state.invisible = menu == nullptr || !menu->isVisible() || !item()->isVisible();
        state.disabled = !item()->isEnabled();
        state.focused = menu != nullptr && menu->activeAction() == item();
        return state;
    }
    // The item's own text when it has one; otherwise the name of what its view shows.
    QString text(QAccessible::Text type) const override {
        if (type != QAccessible::Name) {
            return {};
        }
        QString name = item()->text();
        name.remove(QLatin1Char('&'));
        QWidget* view = item()->defaultWidget();
        if (!name.isEmpty() || view == nullptr) {
            return name;
        }
        if (!view->accessibleName().isEmpty()) {
            return view->accessibleName();
        }
        for (const QWidget* inner : view->findChildren<QWidget*>()) {
            if (!inner->accessibleName().isEmpty()) {
                return inner->accessibleName();
            }
        }
        return {};
    }

private:
    QWidgetAction* item() const { return static_cast<QWidgetAction*>(object()); }
    QMenu* menu() const { return menuShowing(*item()); }
};

// The view of such an item: its parent is the item, not the menu around them.
class MenuItemViewAccessibleInterface : public QAccessibleWidget {
public:
    explicit MenuItemViewAccessibleInterface(QWidget* view) : QAccessibleWidget(view) {}

    QAccessibleInterface* parent() const override {
        QWidgetAction* item = itemShowing(*widget());
        return item != nullptr ? QAccessible::queryAccessibleInterface(item)
                               : QAccessibleWidget::parent();
    }
};

QAccessibleInterface* menuItemViewAccessibleFactory(const QString&, QObject* object) {
    if (auto* item = qobject_cast<QWidgetAction*>(object)) {
        return item->defaultWidget() != nullptr ? new MenuItemWithViewAccessibleInterface(item)
                                                : nullptr;
    }
    auto* view = qobject_cast<QWidget*>(object);
    // Only a view of its own class is ours: a subclass has an interface of its own kind.
    if (view != nullptr && view->metaObject() == &QWidget::staticMetaObject &&
        itemShowing(*view) != nullptr) {
        return new MenuItemViewAccessibleInterface(view);
    }
    return nullptr;
}

}  // namespace

void installMenuItemViewAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(menuItemViewAccessibleFactory); });
}

}  // namespace quillon
