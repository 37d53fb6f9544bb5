#include "platform/avfoundation/AVVideoOutput.h"

#include "platform/avfoundation/AVVideoGLWidget.h"
#include "platform/avfoundation/AVVideoWidget.h"

namespace platform {

AVVideoOutput* makeVideoOutput(VideoOutputPath path, QWidget* parent) {
    if (path == VideoOutputPath::openGL) {
        return new AVVideoGLWidget(parent);
    }
    return new AVVideoWidget(parent);
}

}  // namespace platform
