#pragma once

#include <QPointer>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSAlert.h"
#include "platform/foundation/URL.h"

class QFileDialog;
class QObject;

namespace platform {

class NSWindow;

inline constexpr NSModalResponse NSModalResponseOK = 1;
inline constexpr NSModalResponse NSModalResponseCancel = 0;

// The panel in which the user picks files to open: the desktop's own file chooser where Qt's
// platform theme offers one (the desktop portal's, GNOME's, KDE's), Qt's own file dialog
// otherwise (and on the off-screen platform of the tests). The panel is shown without
// blocking; the completion gets NSModalResponseOK once the user chose, NSModalResponseCancel
// when the panel was dismissed or cancelled. The completion runs once per `begin`. Main thread
// only.
class NSOpenPanel : public std::enable_shared_from_this<NSOpenPanel> {
public:
    static std::shared_ptr<NSOpenPanel> openPanel();
    ~NSOpenPanel();
    NSOpenPanel(const NSOpenPanel&) = delete;
    NSOpenPanel& operator=(const NSOpenPanel&) = delete;

    void setCanChooseFiles(bool value);
    void setCanChooseDirectories(bool value);
    void setAllowsMultipleSelection(bool value);
    bool allowsMultipleSelection() const { return allowsMultipleSelection_; }
    // File-name extensions without the dot; empty allows every file.
    void setAllowedFileTypes(std::vector<std::string> extensions);
    const std::vector<std::string>& allowedFileTypes() const { return allowedFileTypes_; }
    // The chooser's filters for `extensions`: those files (in lower and upper case), then all
    // files.
    static QStringList nameFilters(const std::vector<std::string>& extensions);
    void setDirectoryURL(const platform::URL& url);

    // Shows the panel modal to `window` only.
    void beginSheetModalForWindow(NSWindow* window, std::function<void(NSModalResponse)> handler);
    // Shows the panel on its own.
    void begin(std::function<void(NSModalResponse)> handler);
    // Dismisses a panel that is up, as its Cancel button does.
    void cancel(QObject* sender = nullptr);
    bool isVisible() const;

    // The chosen file, the first of several; none before the user chose.
    std::optional<platform::URL> URL() const;
    std::vector<platform::URL> URLs() const;

    // The dialog while the panel is up (tests choose files through it); null otherwise.
    QFileDialog* dialog() const;

private:
    NSOpenPanel() = default;
    void show(QWidget* parent, std::function<void(NSModalResponse)> handler);
    void finish(NSModalResponse response);

    bool canChooseFiles_ = true;
    bool canChooseDirectories_ = false;
    bool allowsMultipleSelection_ = false;
    std::vector<std::string> allowedFileTypes_;
    std::optional<platform::URL> directoryURL_;
    std::vector<platform::URL> urls_;
    QPointer<QFileDialog> dialog_;
    std::function<void(NSModalResponse)> handler_;
};

}  // namespace platform
