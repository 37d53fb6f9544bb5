#pragma once

#include <cstdint>

#include "platform/coreaudio/AudioBufferList.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/corefoundation/CFBase.h"

namespace platform {

inline constexpr OSStatus kAudio_ParamError = -50;
// 'fmt?': the pair of formats is not one this converter can convert between.
inline constexpr OSStatus kAudioConverterErr_FormatNotSupported = 0x666D743F;
// 'op??'
inline constexpr OSStatus kAudioConverterErr_OperationNotSupported = 0x6F703F3F;
// 'insz': an input buffer holds fewer bytes than the frames asked for.
inline constexpr OSStatus kAudioConverterErr_InvalidInputSize = 0x696E737A;
// 'otsz': an output buffer has no room for the frames asked for.
inline constexpr OSStatus kAudioConverterErr_InvalidOutputSize = 0x6F74737A;

class OpaqueAudioConverter;
// A converter between two linear PCM formats, made by AudioConverterNew and released by
// AudioConverterDispose. One thread at a time may use a converter.
using AudioConverterRef = OpaqueAudioConverter*;

// A converter from one linear PCM format to another. This stand-in converts between the
// interleaved and the non-interleaved arrangement of one format (same rate, channels, sample
// size and flags apart from kAudioFormatFlagIsNonInterleaved), with libswresample's packing
// loops, and copies when both are the same; any other pair is refused with
// kAudioConverterErr_FormatNotSupported, and descriptions that are not valid linear PCM with
// kAudio_ParamError.
OSStatus AudioConverterNew(const AudioStreamBasicDescription* inSourceFormat,
                           const AudioStreamBasicDescription* inDestinationFormat,
                           AudioConverterRef* outAudioConverter);

OSStatus AudioConverterDispose(AudioConverterRef inAudioConverter);

// Converts inNumberPCMFrames frames at once (no rate conversion, so as many frames come out as
// go in). The input list has one buffer per channel (non-interleaved) or one buffer of all
// channels (interleaved), each holding at least the frames' bytes, and likewise the output
// list; on success each output buffer's mDataByteSize is set to the bytes written.
OSStatus AudioConverterConvertComplexBuffer(AudioConverterRef inAudioConverter,
                                            std::uint32_t inNumberPCMFrames,
                                            const AudioBufferList* inInputData,
                                            AudioBufferList* outOutputData);

}  // namespace platform
