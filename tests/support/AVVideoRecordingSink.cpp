#include "support/AVVideoRecordingSink.h"

namespace platform {

void AVVideoRecordingSink::displayFrame(const CMSampleBufferRef& frame, CMTime time,
                                        CMTime hostTime) {
    std::lock_guard lock(mutex_);
    entries_.push_back({frame,
                        frame ? CMSampleBufferGetPresentationTimeStamp(frame) : kCMTimeInvalid,
                        time, hostTime});
}

void AVVideoRecordingSink::geometryDidChange(const AVVideoLayerGeometry& geometry) {
    std::lock_guard lock(mutex_);
    geometry_ = geometry;
}

std::vector<AVVideoRecordingSink::Entry> AVVideoRecordingSink::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

std::vector<CMTime> AVVideoRecordingSink::shownPresentationTimes() const {
    std::lock_guard lock(mutex_);
    std::vector<CMTime> times;
    times.reserve(entries_.size());
    for (const auto& entry : entries_) {
        times.push_back(entry.presentationTime);
    }
    return times;
}

AVVideoLayerGeometry AVVideoRecordingSink::geometry() const {
    std::lock_guard lock(mutex_);
    return geometry_;
}

void AVVideoRecordingSink::clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

}  // namespace platform
