#pragma once

#include <QAction>
#include <QObject>
#include <functional>
#include <memory>
#include <string>

#include "platform/appkit/NSImage.h"

namespace platform {

// One item of a toolbar: an identifier, a label, an image and the action that a click runs with
// the item as sender. A QObject so that it can be the sender of an action; its QAction is what
// the toolbar widget shows. Main thread only.
class NSToolbarItem : public QObject {
public:
    using Action = std::function<void(QObject* sender)>;

    explicit NSToolbarItem(std::string itemIdentifier);
    ~NSToolbarItem() override;

    const std::string& itemIdentifier() const { return itemIdentifier_; }

    std::string label() const;
    void setLabel(const std::string& label);

    const std::shared_ptr<NSImage>& image() const { return image_; }
    void setImage(std::shared_ptr<NSImage> image);

    // The target and action in one: the closure holds what it acts on (weakly, if need be).
    void setAction(Action action) { action_ = std::move(action); }
    // Runs the action with this item as sender, as a click does.
    void performAction();

    QAction& qAction() { return qAction_; }

private:
    const std::string itemIdentifier_;
    std::shared_ptr<NSImage> image_;
    Action action_;
    QAction qAction_;
};

}  // namespace platform
