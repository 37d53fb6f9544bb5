#pragma once

#include <QWidget>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/CGGeometry.h"

namespace calyxware {

// The part of a view's archive that every view writes: its frame and whether it is hidden.
void encodeViewFrame(platform::NSKeyedArchiver& coder, const platform::CGRect& frame, bool hidden);
struct DecodedViewFrame {
    platform::CGRect frame;
    bool hidden = false;
};
DecodedViewFrame decodeViewFrame(platform::NSKeyedUnarchiver& coder);

platform::CGRect frameOfWidget(const QWidget& widget);
QRect widgetGeometry(const platform::CGRect& frame);

}  // namespace calyxware
