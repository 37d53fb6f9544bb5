#include "player-interface/widgets/MenuAccessibility.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
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

// The bar that `item` belongs to for assistive technology: the active window's, else a shown
// one's, else any.
QMenuBar* owningMenuBar(const QAction& item) {
    QMenuBar* shown = nullptr;
    QMenuBar* any = nullptr;
    for (QObject* object : item.associatedObjects()) {
        auto* bar = qobject_cast<QMenuBar*>(object);
        if (bar == nullptr) {
            continue;
        }
        if (bar->window() == QApplication::activeWindow()) {
            return bar;
        }
        if (shown == nullptr && bar->isVisible()) {
            shown = bar;
        }
        if (any == nullptr) {
            any = bar;
        }
    }
    return shown != nullptr ? shown : any;
}

bool isInAMenuBar(const QAction& item) {
    return item.menu() != nullptr && owningMenuBar(item) != nullptr;
}

// A menu of the menu bar, read as Qt reads it, but for the bar it now belongs to.
class MenuBarItemAccessibleInterface : public QAccessibleObject, public QAccessibleActionInterface {
public:
    explicit MenuBarItemAccessibleInterface(QAction* item) : QAccessibleObject(item) {}

    bool isValid() const override { return QAccessibleObject::isValid() && bar() != nullptr; }
    void* interface_cast(QAccessible::InterfaceType type) override {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this)
                                                    : nullptr;
    }
    QWindow* window() const override {
        QMenuBar* bar = this->bar();
        return bar != nullptr ? bar->window()->windowHandle() : nullptr;
    }
    QAccessibleInterface* parent() const override {
        QMenuBar* bar = this->bar();
        return bar != nullptr ? QAccessible::queryAccessibleInterface(bar) : nullptr;
    }
    int childCount() const override { return item()->menu() != nullptr ? 1 : 0; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 && item()->menu() != nullptr
                   ? QAccessible::queryAccessibleInterface(item()->menu())
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && item()->menu() != nullptr && child->object() == item()->menu()
                   ? 0
                   : -1;
    }
    QRect rect() const override {
        QMenuBar* bar = this->bar();
        return bar != nullptr ? bar->actionGeometry(item()).translated(bar->mapToGlobal(QPoint()))
                              : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::MenuItem; }
    QAccessible::State state() const override {
        QAccessible::State state;
        QMenuBar* bar = this->bar();
        state.invisible = bar == nullptr || !bar->isVisible() || !item()->isVisible();
        state.disabled = !item()->isEnabled();
        state.focused = bar != nullptr && bar->activeAction() == item();
        return state;
    }
    QString text(QAccessible::Text type) const override {
        if (type != QAccessible::Name) {
            return {};
        }
        QString name = item()->text();
        return name.remove(QLatin1Char('&'));
    }

    QStringList actionNames() const override { return {showMenuAction()}; }
    void doAction(const QString& name) override {
        QMenuBar* bar = this->bar();
        if (name != showMenuAction() || bar == nullptr || !item()->isEnabled()) {
            return;
        }
        if (item()->menu()->isVisible()) {
            item()->menu()->hide();
        } else {
            bar->setActiveAction(item());
        }
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QAction* item() const { return static_cast<QAction*>(object()); }
    QMenuBar* bar() const { return owningMenuBar(*item()); }
};

QAccessibleInterface* menuAccessibleFactory(const QString&, QObject* object) {
    if (auto* item = qobject_cast<QAction*>(object);
        item != nullptr && qobject_cast<QWidgetAction*>(item) == nullptr && isInAMenuBar(*item)) {
        return new MenuBarItemAccessibleInterface(item);
    }
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

void installMenuAccessibility() {
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(menuAccessibleFactory); });
}

}  // namespace quillon
