#pragma once

#include <any>

#include "platform/private-interfaces/DynamicImages.h"

namespace quillon {

// Spatialized audio, on the systems that only spatialize on request (macOS 11.4 up to 12, not
// on 64-bit Arm), is requested by the private option kFigRenderPipelineOption_EnableSpatialization
// of the media pipeline, which the renderer never sets itself. So inside the image that builds the
// pipeline, the dictionary-set function is replaced by a hook: when the pipeline's options get a
// format description whose extension "QLEnableSpatialization" is true, the hook adds the option.
//
// The interposition is made once per process, when the program starts; everywhere else (this
// system included) nothing happens and nothing is logged.
void QLInterposeAudioSpatializationOnce();

// The steps of the interposition, without the once-only guard (tests run them with stand-ins).
void QLInterposeAudioSpatialization();

// The hook that the interposition installs in place of CFDictionarySetValue.
void QLCFDictionarySetValueSpatializationHook(platform::CFMutableObjectDictionary* dictionary,
                                              const void* key, const std::any& value);

}  // namespace quillon
