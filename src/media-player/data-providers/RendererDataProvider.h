#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <utility>

#include "media-player/data-providers/DataProviderFailureLog.h"
#include "media-player/data-providers/RestartableDataProvider.h"
#include "media-player/data-providers/SeekSampleBufferFilter.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/StuckDecoderError.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchPredicate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"

namespace quillon {

// The skeleton of a provider that feeds a pulling renderer (a display layer, an audio renderer)
// with the output of one decode session: the renderer's requests, the loop that decodes one
// packet per pass while the renderer is ready, the seek that hands over only output at or after
// its target, and what happens when the decoder takes no more packets.
//
// `Provider` derives from it, makes the session with openDecodeSession when a track is selected,
// and supplies what differs, called on the queue (privately, with this class as a friend):
//   void seekSelectedTracks(CMTime target)  repositions at `target`, through decodeToSeekTarget;
//   void provideWhileReady()                runs feedWhileReady with its step: reads one packet
//                                           and decodes it (through decode), or at the end of the
//                                           stream drains (through drainDecodeSession); the step
//                                           answers true at the end.
// and, where it needs them, these, which do nothing here:
//   void useDecodeSession(Use&& use)        runs each use of the session (calls `use`);
//   bool replaceStuckDecoder()              inside the catch block of a StuckDecoderError: true
//                                           when it put another decoder in place, so that the
//                                           provider goes on;
//   void sampleBufferBeforeSeekTarget(const CMSampleBufferRef&)  output a seek passed over;
//   void firstSampleBufferOfSeek(const CMSampleBufferRef&, CMTime target)  the first a seek
//                                           hands over, before it does.
// Blocks handed to the renderer and the session hold the provider weakly.
template <typename Provider, typename Renderer>
class RendererDataProvider : public RestartableDataProvider<Provider> {
public:
    using DecoderFailureHandler = std::function<void(std::shared_ptr<const platform::Error>)>;
    using typename RestartableDataProvider<Provider>::Completion;

    // On queue. Repositions the selected tracks at `time` (the file's time line), handing the
    // renderer only output that covers or follows it, and restarts the requests; with
    // provideImmediately it also fills the renderer at once. `completion` is submitted to
    // `completionQueue` in every case, also with nothing selected or once the decoder failed.
    void provideMediaData(platform::CMTime time, bool provideImmediately,
                          std::shared_ptr<platform::DispatchQueue> completionQueue,
                          Completion completion) {
        platform::dispatchPrecondition(platform::DispatchPredicate::onQueue(*this->queue()));
        if (decodeSession_ && !decoderFailed_) {
            // The request block runs on this queue too, so it cannot start before this work ends.
            renderer_->stopRequestingMediaData();
            requestMediaData();
            decodeSession_->decoder()->flush();
            // A display layer keeps its picture until the first one of the new position arrives.
            renderer_->flush();
            provider().seekSelectedTracks(time);
            if (provideImmediately) {
                provider().provideWhileReady();
            }
        }
        completionQueue->async(std::move(completion));
    }

    // Called on the queue, with the error, when the decoder takes no more packets (and
    // replaceStuckDecoder put none in its place). The provider has stopped: it gives the renderer
    // nothing more until the next selection. Set before the first track is selected.
    void setDecoderFailureHandler(DecoderFailureHandler handler) {
        this->queue()->async([weakSelf = this->weak_from_this(), handler = std::move(handler)] {
            if (const auto self = weakSelf.lock()) {
                self->decoderFailureHandler_ = handler;
            }
        });
    }

protected:
    // The sessions decode with what `decoderWrapper` makes of the track's decoder, when given.
    // `decodingFailureText` begins the line logged when a packet fails to decode.
    RendererDataProvider(const char* queueLabel, std::shared_ptr<Renderer> renderer,
                         CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper,
                         std::string_view decodingFailureText)
        : RestartableDataProvider<Provider>(queueLabel),
          renderer_(std::move(renderer)),
          decoderWrapper_(std::move(decoderWrapper)),
          decodingFailureText_(decodingFailureText) {}
    // Stops the renderer's requests.
    ~RendererDataProvider() { renderer_->stopRequestingMediaData(); }

    const std::shared_ptr<Renderer>& renderer() const { return renderer_; }
    bool decoderFailed() const { return decoderFailed_; }

    // On queue. A fresh session for the selected track's decoder, flushed (none: no session), and
    // the decoder counts as working again.
    void openDecodeSession(std::shared_ptr<CoreMediaCompatibleDecoder> decoder) {
        decoderFailed_ = false;
        if (decoder) {
            if (decoderWrapper_) {
                decoder = decoderWrapper_(std::move(decoder));
            }
            decodeSession_ = CoreMediaCompatibleDecodeSession::make(std::move(decoder),
                                                                    plainSampleBufferHandler());
            decodeSession_->decoder()->flush();
        } else {
            decodeSession_.reset();
        }
    }

    // On queue. Registers for the renderer's requests again while a session is open; without
    // one, the requests stop.
    void renewRequests() {
        renderer_->stopRequestingMediaData();
        if (decodeSession_) {
            requestMediaData();
        }
    }

    // Runs `provideNextSample` while the renderer is ready, until it answers true (the end of the
    // stream, which stops the requests), a restart cancels the loop or the decoder is stuck.
    template <typename ProvideNextSample>
    void feedWhileReady(ProvideNextSample&& provideNextSample) {
        while (renderer_->isReadyForMoreMediaData()) {
            // A cancelled loop leaves the requests registered: the work that cancelled it decides.
            // A stuck decoder stopped them already.
            if (this->isCancelled() || decoderFailed_) {
                return;
            }
            if (provideNextSample()) {
                renderer_->stopRequestingMediaData();
                return;
            }
        }
    }

    // With the session's output filtered to what covers or follows `target` (and the first such
    // output marking the seek as found): runs `decodeSeekPackets`, which decodes what the source's
    // seek gave, then reads on with `provideNextSample` until that output came, the decoder is
    // stuck or the stream ends, which stops the requests. True when the stream ended with nothing
    // at or after the target.
    template <typename DecodeSeekPackets, typename ProvideNextSample>
    bool decodeToSeekTarget(platform::CMTime target, DecodeSeekPackets&& decodeSeekPackets,
                            ProvideNextSample&& provideNextSample) {
        foundSampleBufferRelevantForSeeking_ = false;
        decodeSession_->setSampleBufferHandler(seekSampleBufferFilter(target));
        decodeSeekPackets();
        bool endedBeforeTarget = false;
        // Not cancellable: a seek that stopped half way would leave stale output queued.
        while (!foundSampleBufferRelevantForSeeking_ && !decoderFailed_) {
            if (provideNextSample()) {
                renderer_->stopRequestingMediaData();
                // The decoder's last output comes as it is drained at the end, and may be it.
                endedBeforeTarget = !foundSampleBufferRelevantForSeeking_;
                break;
            }
        }
        decodeSession_->setSampleBufferHandler(plainSampleBufferHandler());
        return endedBeforeTarget;
    }

    // On queue. Decodes one packet, unless the decoder got stuck before.
    void decode(const Packet& packet) {
        if (decoderFailed_) {
            return;
        }
        provider().useDecodeSession([&] {
            try {
                decodeSession_->decode(packet);
            } catch (const StuckDecoderError&) {
                logDataProviderFailure(decodingFailureText_);
                decoderIsStuck();
            } catch (...) {
                logDataProviderFailure(decodingFailureText_);
            }
        });
    }

    // On queue. At the end of the stream: hands over what the decoder still holds, unless it got
    // stuck before.
    void drainDecodeSession() {
        if (decoderFailed_) {
            return;
        }
        provider().useDecodeSession([&] {
            try {
                decodeSession_->drain();
            } catch (const StuckDecoderError&) {
                logDataProviderFailure(decodingFailureText_);
                decoderIsStuck();
            } catch (...) {
                // The drain logged each output it failed to give; the stream ends either way.
            }
        });
    }

    // The hooks' defaults.
    template <typename Use>
    void useDecodeSession(Use&& use) {
        std::forward<Use>(use)();
    }
    bool replaceStuckDecoder() { return false; }
    void sampleBufferBeforeSeekTarget(const platform::CMSampleBufferRef&) {}
    void firstSampleBufferOfSeek(const platform::CMSampleBufferRef&, platform::CMTime) {}

private:
    Provider& provider() { return static_cast<Provider&>(*this); }

    void requestMediaData() {
        auto block = [weakSelf = this->weak_from_this()] {
            if (const auto self = weakSelf.lock()) {
                self->handleMediaDataRequest();
            }
        };
        renderer_->requestMediaDataWhenReadyOnQueue(this->queue(), std::move(block));
    }

    void handleMediaDataRequest() {
        if (!decodeSession_ || decoderFailed_) {
            renderer_->stopRequestingMediaData();
            return;
        }
        provider().provideWhileReady();
    }

    // Inside the catch block of a StuckDecoderError of the session.
    void decoderIsStuck() {
        if (provider().replaceStuckDecoder()) {
            return;
        }
        // Every further packet would wait for it as long again, and none would be played.
        decoderFailed_ = true;
        renderer_->stopRequestingMediaData();
        if (decoderFailureHandler_) {
            decoderFailureHandler_(platform::currentError());
        }
    }

    CoreMediaCompatibleDecodeSession::SampleBufferHandler plainSampleBufferHandler() {
        return [weakSelf = this->weak_from_this()](platform::CMSampleBufferRef sampleBuffer) {
            if (const auto self = weakSelf.lock()) {
                self->renderer_->enqueueSampleBuffer(sampleBuffer);
            }
        };
    }

    CoreMediaCompatibleDecodeSession::SampleBufferHandler seekSampleBufferFilter(
        platform::CMTime target) {
        return
            [weakSelf = this->weak_from_this(), target](platform::CMSampleBufferRef sampleBuffer) {
                const auto self = weakSelf.lock();
                if (!self) {
                    return;
                }
                if (!seekSampleBufferFilterAccepts(sampleBuffer, target)) {
                    self->sampleBufferBeforeSeekTarget(sampleBuffer);
                    return;
                }
                if (!self->foundSampleBufferRelevantForSeeking_) {
                    self->firstSampleBufferOfSeek(sampleBuffer, target);
                }
                self->renderer_->enqueueSampleBuffer(sampleBuffer);
                self->foundSampleBufferRelevantForSeeking_ = true;
            };
    }

    std::shared_ptr<Renderer> renderer_;
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper_;
    std::string_view decodingFailureText_;
    // The fields below are used on queue only.
    std::shared_ptr<CoreMediaCompatibleDecodeSession> decodeSession_;
    bool foundSampleBufferRelevantForSeeking_ = true;
    DecoderFailureHandler decoderFailureHandler_;
    // Set when the decoder got stuck; the session is not used again.
    bool decoderFailed_ = false;
};

}  // namespace quillon
