#include "platform/coreaudio/AudioBufferList.h"

#include <cstring>

namespace platform {

AudioBufferList AudioBufferList::make(std::uint32_t numberBuffers) {
    AudioBufferList list;
    list.mBuffers.resize(numberBuffers);
    return list;
}

AudioBufferList AudioBufferList::allocate(std::uint32_t numberBuffers,
                                          std::uint32_t channelsPerBuffer,
                                          std::uint32_t bytesPerBuffer) {
    AudioBufferList list;
    list.mBuffers.resize(numberBuffers);
    list.storage_.reserve(numberBuffers);
    for (AudioBuffer& buffer : list.mBuffers) {
        list.storage_.push_back(std::make_unique<std::byte[]>(bytesPerBuffer));
        buffer.mNumberChannels = channelsPerBuffer;
        buffer.mDataByteSize = bytesPerBuffer;
        buffer.mData = list.storage_.back().get();
    }
    return list;
}

AudioBufferList::AudioBufferList(const AudioBufferList& other) : mBuffers(other.mBuffers) {
    if (!other.ownsData()) {
        return;
    }
    // The byte sizes may have been lowered since allocation (a converter reports what it
    // wrote), so copy what each buffer says it holds into a block of that size.
    storage_.reserve(other.storage_.size());
    for (std::size_t index = 0; index < mBuffers.size(); ++index) {
        AudioBuffer& buffer = mBuffers[index];
        const bool ownedByOther =
            index < other.storage_.size() && buffer.mData == other.storage_[index].get();
        if (!ownedByOther) {
            storage_.push_back(nullptr);
            continue;
        }
        storage_.push_back(std::make_unique<std::byte[]>(buffer.mDataByteSize));
        std::memcpy(storage_.back().get(), buffer.mData, buffer.mDataByteSize);
        buffer.mData = storage_.back().get();
    }
}

AudioBufferList& AudioBufferList::operator=(const AudioBufferList& other) {
    if (this != &other) {
        AudioBufferList copy(other);
        *this = std::move(copy);
    }
    return *this;
}

}  // namespace platform
