#include "media-player/media-source/CharacterEncodingDetector.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <utility>

#include <uchardet/uchardet.h>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchIO.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

// A descriptor this module opened; closed when the last holder lets go.
class OwnedFileDescriptor {
public:
    explicit OwnedFileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~OwnedFileDescriptor() { ::close(descriptor_); }
    OwnedFileDescriptor(const OwnedFileDescriptor&) = delete;
    OwnedFileDescriptor& operator=(const OwnedFileDescriptor&) = delete;

    int get() const { return descriptor_; }

private:
    int descriptor_;
};

// One detection over a channel. Deliveries come one at a time, so the handler's fields need no
// lock; the group orders the result before the completion reads it.
struct FileDetection {
    CharacterEncodingDetector detector;
    std::shared_ptr<platform::DispatchIO> channel;
    bool ended = false;
    std::optional<std::string> result;
};

CharacterEncodingDetector::CancelOperation startDetection(
    int fileDescriptor, std::shared_ptr<OwnedFileDescriptor> ownedDescriptor,
    platform::DispatchQueue& queue, platform::DispatchQueue& completionQueue,
    CharacterEncodingDetector::Completion completion) {
    auto detection = std::make_shared<FileDetection>();
    platform::DispatchGroup group;
    // Once for the result, once for the channel's clean-up: the completion waits for both, so
    // that nothing reads the descriptor any more when it runs (and a descriptor the caller closes
    // then can't be reused under a read still in flight).
    group.enter();
    group.enter();
    detection->channel =
        platform::DispatchIO::make(platform::DispatchIO::StreamType::stream, fileDescriptor, queue,
                                   [group, ownedDescriptor](int) { group.leave(); });
    detection->channel->setHighWater(CharacterEncodingDetector::fileReadHighWaterMark);
    std::weak_ptr<platform::DispatchIO> weakChannel = detection->channel;

    detection->channel->read(
        0, SIZE_MAX, queue, [detection, group](bool done, platform::DispatchData data, int error) {
            if (detection->ended) {
                return;
            }
            const bool accepted = data.empty() || detection->detector.analyze(data);
            if (accepted && !done && error == 0) {
                return;
            }
            detection->ended = true;
            detection->result = detection->detector.finish();
            // Nothing more is wanted: stop reading, and break the channel ↔ handler cycle.
            auto channel = std::move(detection->channel);
            channel->close(platform::DispatchIO::CloseFlags::stop);
            group.leave();
        });

    group.notify(completionQueue,
                 [detection, ownedDescriptor, completion = std::move(completion)]() mutable {
                     completion(std::move(detection->result));
                 });

    return [weakChannel] {
        if (auto channel = weakChannel.lock()) {
            channel->close(platform::DispatchIO::CloseFlags::stop);
        }
    };
}

}  // namespace

CharacterEncodingDetector::CharacterEncodingDetector() : uchardet_(uchardet_new()) {
    platform::precondition(uchardet_ != nullptr, "uchardet_new failed to allocate a detector");
}

CharacterEncodingDetector::~CharacterEncodingDetector() {
    uchardet_delete(uchardet_);
}

bool CharacterEncodingDetector::analyze(std::span<const std::byte> bytes) {
    platform::precondition(!isFinished_,
                           "CharacterEncodingDetector fed after its result was taken");
    if (bytes.data() == nullptr) {
        return true;
    }
    return uchardet_handle_data(uchardet_, reinterpret_cast<const char*>(bytes.data()),
                                bytes.size()) == 0;
}

bool CharacterEncodingDetector::analyze(const platform::DispatchData& data) {
    platform::precondition(!isFinished_,
                           "CharacterEncodingDetector fed after its result was taken");
    for (std::span<const std::byte> region : data) {
        if (!analyze(region)) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> CharacterEncodingDetector::finish() {
    platform::precondition(!isFinished_,
                           "CharacterEncodingDetector's result was taken twice without a reset");
    uchardet_data_end(uchardet_);
    isFinished_ = true;
    const char* name = uchardet_get_charset(uchardet_);
    if (name == nullptr || *name == '\0') {
        return std::nullopt;
    }
    return std::string(name);
}

void CharacterEncodingDetector::reset() {
    uchardet_reset(uchardet_);
    isFinished_ = false;
}

std::optional<std::string> CharacterEncodingDetector::detect(std::span<const std::byte> data) {
    CharacterEncodingDetector detector;
    detector.analyze(data);
    return detector.finish();
}

std::optional<std::string> CharacterEncodingDetector::detect(const platform::DispatchData& data) {
    CharacterEncodingDetector detector;
    detector.analyze(data);
    return detector.finish();
}

CharacterEncodingDetector::CancelOperation CharacterEncodingDetector::detect(
    const platform::URL& fileURL, platform::DispatchQueue& queue,
    platform::DispatchQueue& completionQueue, Completion completion) {
    platform::precondition(fileURL.isFileURL(),
                           "CharacterEncodingDetector can only read files from file URLs");
    const std::string path = fileURL.path();
    // Without O_NONBLOCK, opening a named pipe would wait for a writer; the channel waits for
    // data itself and can be stopped while it does.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        throw platform::NSError::posix(errno, path);
    }
    auto owned = std::make_shared<OwnedFileDescriptor>(descriptor);
    // open(2) accepts a folder for reading, but there is nothing to read in one.
    struct stat info {};
    if (::fstat(descriptor, &info) == 0 && S_ISDIR(info.st_mode)) {
        throw platform::NSError::posix(EISDIR, path);
    }
    return startDetection(descriptor, std::move(owned), queue, completionQueue,
                          std::move(completion));
}

CharacterEncodingDetector::CancelOperation CharacterEncodingDetector::detect(
    int fileDescriptor, platform::DispatchQueue& queue, platform::DispatchQueue& completionQueue,
    Completion completion) {
    return startDetection(fileDescriptor, nullptr, queue, completionQueue, std::move(completion));
}

}  // namespace quillon
