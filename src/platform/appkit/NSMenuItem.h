#pragma once

#include <QAction>
#include <any>
#include <string>

namespace platform {

// A menu command: Qt's action with the represented object that menus built from data keep on
// their items. Menus themselves are plain QMenus. Main thread only.
class NSMenuItem : public QAction {
public:
    explicit NSMenuItem(const std::string& title, QObject* parent = nullptr);

    // A disabled item that only names the section below it.
    static NSMenuItem* sectionHeader(const std::string& title, QObject* parent = nullptr);

    std::string title() const { return text().toStdString(); }
    // The item's checkmark: on, off.
    bool state() const { return isChecked(); }
    void setState(bool on);

    // The selector the item sends along the responder chain when chosen; empty for none (the
    // item then shows disabled where its menu says so).
    const std::string& action() const { return action_; }
    void setAction(std::string action) { action_ = std::move(action); }

    const std::any& representedObject() const { return representedObject_; }
    void setRepresentedObject(std::any object) { representedObject_ = std::move(object); }

private:
    std::string action_;
    std::any representedObject_;
};

}  // namespace platform
