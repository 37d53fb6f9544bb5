#include "platform/video-output/AVVideoOutput.h"

#include <QWidget>

#include "platform/video-output/AVVideoGLWidget.h"
#include "platform/video-output/AVVideoWidget.h"

namespace platform {

bool AVVideoOutput::paintedCurrentPicture() const {
    return sink_->isShownBy(paintedFrame_, paintedLayout_, view_->size(),
                            view_->devicePixelRatioF());
}

AVVideoOutput* makeVideoOutput(VideoOutputPath path, QWidget* parent) {
    if (path == VideoOutputPath::openGL) {
        return new AVVideoGLWidget(parent);
    }
    return new AVVideoWidget(parent);
}

}  // namespace platform
