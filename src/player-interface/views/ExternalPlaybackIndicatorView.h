#pragma once

#include <QLabel>
#include <memory>
#include <optional>
#include <string>

#include "libraries/calyxware/LayerView.h"
#include "platform/appkit/NSImage.h"
#include "platform/appkit/NSImageView.h"
#include "platform/appkit/NSStackView.h"

namespace quillon {

// Stands in for a picture that is playing elsewhere: an image with a title and an optional
// subtitle below it, centred. Built from the nib "ExternalPlaybackIndicatorView", which connects
// the four outlets. Never takes a click. Main thread only.
class ExternalPlaybackIndicatorView : public calyxware::LayerView {
public:
    static constexpr const char* nibName = "ExternalPlaybackIndicatorView";

    // Outlets start empty; the nib connects them and then calls awakeFromNib.
    explicit ExternalPlaybackIndicatorView(QWidget* parent = nullptr);
    ~ExternalPlaybackIndicatorView() override;

    // Makes the application's nib of the view available for the rest of the run; later calls do
    // nothing.
    static void registerBundledNib();

    // A new indicator saying that the video plays in Picture in Picture.
    static std::unique_ptr<ExternalPlaybackIndicatorView> makePictureInPictureIndicator();

    void awakeFromNib();
    void configure(std::shared_ptr<platform::NSImage> image, const std::string& title,
                   const std::optional<std::string>& subtitle);

    // The indicator never takes a click.
    QWidget* hitTest(platform::CGPoint point) const;

    platform::NSStackView* stackView = nullptr;
    platform::NSImageView* indicatorImageView = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* subtitleLabel = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void requireOutlets() const;
    void layOutStack();
};

}  // namespace quillon
