#pragma once

#include <QEnterEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/Error.h"
#include "platform/graphics/CGGeometry.h"

class QAbstractButton;

namespace platform {

class NSViewController;
class PIPViewController;
class PIPWindow;

// What the floating picture window tells its owner, always on the main thread. All optional.
class PIPViewControllerDelegate {
public:
    virtual ~PIPViewControllerDelegate() = default;
    // The play/pause control, by the state last given with setPlaying.
    virtual void pipActionPlay(PIPViewController& /*controller*/) {}
    virtual void pipActionPause(PIPViewController& /*controller*/) {}
    virtual void pipActionStop(PIPViewController& /*controller*/) {}
    // The return-to-window control; the window then closes as with its close control.
    virtual void pipActionReturn(PIPViewController& /*controller*/) {}
    // Closing starts (the picture may still fly back to the replacement rectangle) ...
    virtual void pipWillClose(PIPViewController& /*controller*/) {}
    // ... and is over: the presented view is out of the floating window again.
    virtual void pipDidClose(PIPViewController& /*controller*/) {}
};

// Raised by the floating picture window when it cannot present.
class PIPViewControllerException : public Error {
public:
    static constexpr const char* domainName = "PIPViewControllerException";

    explicit PIPViewControllerException(std::string reason) : reason_(std::move(reason)) {}

    const std::string& reason() const { return reason_; }
    std::string domain() const override { return domainName; }
    std::int64_t code() const override { return 0; }
    std::shared_ptr<const Error> clone() const override {
        return std::make_shared<PIPViewControllerException>(*this);
    }
    std::string localizedDescription() const override { return reason_; }

private:
    std::string reason_;
};

// Shows one view controller's view in a small floating window that stays above the others, in
// a corner of the screen, shaped by the aspect ratio, with play/pause, return-to-window and
// close controls over the picture. Under a Wayland compositor, which places and stacks windows
// itself, the window is only shaped: it opens where the compositor puts it, may go behind others
// (logged once), and closes without flying back. The presented controller keeps owning its view:
// when the window closes (or this controller goes), the view leaves the window unparented and
// hidden.
//
// Closing is never finished inside the call that starts it: pipDidClose comes from the event
// loop, after the window has flown back to the replacement rectangle when one is set and its
// window is shown. Main thread only.
class PIPViewController {
public:
    // Whether the floating picture window is available in this process; on a system where it
    // is not, the player offers no Picture in Picture.
    static bool isClassPresent();

    // Makes the class absent while it lives (tests of the path without Picture in Picture).
    class ScopedClassAbsence {
    public:
        ScopedClassAbsence();
        ~ScopedClassAbsence();
        ScopedClassAbsence(const ScopedClassAbsence&) = delete;
        ScopedClassAbsence& operator=(const ScopedClassAbsence&) = delete;
    };

    // Makes every presentation raise PIPViewControllerException with `reason` while it lives,
    // as a session without a usable screen does.
    class ScopedPresentationFailure {
    public:
        explicit ScopedPresentationFailure(std::string reason);
        ~ScopedPresentationFailure();
        ScopedPresentationFailure(const ScopedPresentationFailure&) = delete;
        ScopedPresentationFailure& operator=(const ScopedPresentationFailure&) = delete;

    private:
        std::optional<std::string> previous_;
    };

    PIPViewController();
    ~PIPViewController();
    PIPViewController(const PIPViewController&) = delete;
    PIPViewController& operator=(const PIPViewController&) = delete;

    void setDelegate(std::weak_ptr<PIPViewControllerDelegate> delegate);
    std::shared_ptr<PIPViewControllerDelegate> delegate() const { return delegate_.lock(); }

    // With auto layout the presented view fills the window through a layout; without, it is
    // given the window's bounds on every resize.
    void setUseAutoLayout(bool useAutoLayout);
    bool useAutoLayout() const { return useAutoLayout_; }

    // The zero size stands for an unknown shape (16:9 is shown).
    void setAspectRatio(CGSize aspectRatio);
    CGSize aspectRatio() const { return aspectRatio_; }
    void setPlaying(bool playing);
    bool isPlaying() const { return playing_; }

    // Opens the floating window with the controller's view. Raises PIPViewControllerException
    // when there is no screen, when this controller presents already, or when the view
    // controller is presented elsewhere; nothing has changed then.
    void presentViewControllerAsPictureInPicture(std::shared_ptr<NSViewController> controller);
    // Closes the window (pipWillClose is not sent) and then sends pipDidClose. Nothing when
    // `controller` is not the one presented here.
    void dismissViewController(const std::shared_ptr<NSViewController>& controller);

    // Where the picture flies back to when the window closes: a rectangle in `window`'s
    // coordinates.
    void setReplacementWindow(QWidget* window);
    QWidget* replacementWindow() const { return replacementWindow_; }
    void setReplacementRect(CGRect rect);
    CGRect replacementRect() const { return replacementRect_; }

    // The presented controller's presenting controller is non-null exactly while it is shown in
    // some floating window, from presentation until closing starts.
    static bool isPresenting(const NSViewController& controller);

    // The floating window while one is open (closing included), else null.
    PIPWindow* pictureInPictureWindow() const { return window_.get(); }

private:
    friend class PIPWindow;

    void userDidPlayPause();
    void userDidReturn();
    void userDidClose();
    void beginClosing(bool notifyWillClose);
    void finishClosing();
    void releasePresentedView();
    void updateWindowShape();

    std::weak_ptr<PIPViewControllerDelegate> delegate_;
    bool useAutoLayout_ = false;
    CGSize aspectRatio_{0, 0};
    bool playing_ = false;
    std::shared_ptr<NSViewController> presented_;
    QPointer<QWidget> presentedView_;
    // Deleted from the event loop: the window may be inside one of its own controls' signals.
    struct WindowDeleter {
        void operator()(PIPWindow* window) const;
    };
    std::unique_ptr<PIPWindow, WindowDeleter> window_;
    bool closing_ = false;
    QPointer<QWidget> replacementWindow_;
    CGRect replacementRect_{};
    // Lets a pending close know that its controller has gone.
    std::shared_ptr<PIPViewController*> self_;
};

// The floating window of a PIPViewController. Frameless, above other windows, moved by
// dragging the picture and resized by dragging its edges, keeping the picture's aspect ratio;
// its controls show while the pointer is over it.
class PIPWindow : public QWidget {
public:
    explicit PIPWindow(PIPViewController& owner);

    QAbstractButton* playPauseButton() const { return playPauseButton_; }
    QAbstractButton* returnButton() const { return returnButton_; }
    QAbstractButton* closeButton() const { return closeButton_; }
    QWidget* controlsOverlay() const { return overlay_; }
    QWidget* presentedView() const;

    void setPresentedView(QWidget* view, bool useAutoLayout);
    QWidget* takePresentedView();
    void setPlaying(bool playing);
    void layOutContent();
    // The width-to-height ratio that resizing keeps; zero for none.
    void setAspectRatio(CGSize aspectRatio);
    CGSize aspectRatio() const { return aspectRatio_; }
    // The window edges that a press at `position` (window coordinates) drags.
    Qt::Edges resizeEdgesAt(const QPoint& position) const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    PIPViewController& owner_;
    QWidget* content_;
    QWidget* overlay_;
    QAbstractButton* playPauseButton_;
    QAbstractButton* returnButton_;
    QAbstractButton* closeButton_;
    QPointer<QWidget> presentedView_;
    CGSize aspectRatio_{0, 0};
    QTimer aspectRatioCorrectionTimer_;
    QPointer<QWindow> watchedWindowHandle_;

    void correctSizeForAspectRatio();
};

// The frame of a floating picture window of `aspectRatio` in a screen's free area `available`:
// a quarter of its width (240 to 480 points wide, at most half its height), in the bottom
// right corner with a margin.
QRect pictureInPictureWindowFrame(const QRect& available, CGSize aspectRatio);

}  // namespace platform
