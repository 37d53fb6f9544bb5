#pragma once

#include <string>

#include "platform/foundation/StringFormat.h"

// Texts that the user sees are looked up through Qt's translation system (QTranslator catalogues
// installed on the application). The English text is the key, so a text without a translation
// shows in English. Always call localizedString with string literals, so that the keys and
// comments can be collected from the sources for translators.
namespace platform {

// The translation context of the application's own texts: the one Qt's lupdate gives calls of
// platform::localizedString (it reads them as tr() qualified by the namespace), so call it
// qualified, even inside namespace platform.
inline constexpr const char* kApplicationLocalizationContext = "platform";

// The translation of `key`; `comment` tells translators where the text is shown and tells
// apart equal English texts with different meanings.
std::string localizedString(const char* key, const char* comment);

// The same for texts of a library that ships its own catalogue under the context `context`.
std::string localizedString(const char* key, const char* comment, const char* context);

}  // namespace platform
