#pragma once

#include <QMessageBox>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPushButton;

namespace platform {

enum class NSAlertStyle { warning = 0, informational = 1, critical = 2 };

// The answer of a modal session: which button ended it.
using NSModalResponse = long;
inline constexpr NSModalResponse NSAlertFirstButtonReturn = 1000;
inline constexpr NSModalResponse NSAlertSecondButtonReturn = 1001;
inline constexpr NSModalResponse NSAlertThirdButtonReturn = 1002;

// A message box with a headline (message text), a smaller explanation (informative text), an
// icon chosen by its style and buttons added in order; the first button added is the default
// one. An alert without buttons gets one "OK" button when it is shown. Main thread only.
class NSAlert : public QMessageBox {
public:
    NSAlert();
    ~NSAlert() override;

    std::string messageText() const;
    void setMessageText(const std::string& text);

    std::string informativeText() const;
    void setInformativeText(const std::string& text);

    NSAlertStyle alertStyle() const { return alertStyle_; }
    void setAlertStyle(NSAlertStyle style);

    // Adds a button after the existing ones; the alert owns it.
    QPushButton* addButtonWithTitle(const std::string& title);
    // The buttons in the order they were added.
    const std::vector<QPushButton*>& alertButtons() const { return buttons_; }

    // Shows the alert application-modally and returns NSAlertFirstButtonReturn + the index of
    // the button that ended it.
    NSModalResponse runModal();

    // Shows the alert as a sheet of `window` (modal to that window only, transient for it, below
    // its title bar) and returns at once; `completion` gets the response once a button ends it.
    // An alert without a title of its own takes the window's: the window manager may give it a
    // title bar, which then names what the alert is about. The window takes the alert over, and
    // the alert deletes itself after the completion has run.
    static void beginSheetModalForWindow(std::unique_ptr<NSAlert> alert, QWidget* window,
                                         std::function<void(NSModalResponse)> completion);

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void addDefaultButtonIfNeeded();
    NSModalResponse responseOfClickedButton() const;
    // Puts a sheet where it belongs on its window, again whenever the window moves: the window
    // manager may move that window after the sheet has shown.
    void placeAsSheet();

    NSAlertStyle alertStyle_ = NSAlertStyle::warning;
    std::vector<QPushButton*> buttons_;
    bool isSheet_ = false;
    bool isWatchingExposure_ = false;
};

}  // namespace platform
