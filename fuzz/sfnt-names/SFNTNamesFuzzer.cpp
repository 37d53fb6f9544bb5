// libFuzzer entry point for the font naming tables; see fuzz/README.md for how to build and run
// it.
//
// An input is a font file, as a film may carry one as an attachment: its faces' names are read,
// and the file is renamed face by face and read again. Damaged files must be refused with
// MalformedFontError and never read past their end.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/graphics/SFNTNames.h"

namespace {

volatile std::size_t sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A copy of exactly the input's size, so that a read past it is a read past the buffer.
    const std::vector<std::uint8_t> file(data, data + size);
    try {
        const auto faces = platform::detail::readSFNTFaceNames(file);
        std::vector<std::string> families;
        for (const auto& face : faces) {
            for (const auto* names : {&face.families, &face.typographicFamilies, &face.faceNames}) {
                for (const std::string& name : *names) {
                    sink = sink + name.size();
                }
            }
            families.push_back("Renamed 文字 " + std::to_string(families.size()));
        }
        const auto renamed = platform::detail::renamingSFNTFamilies(file, families);
        sink = sink + platform::detail::readSFNTFaceNames(renamed).size();
    } catch (const platform::detail::MalformedFontError&) {
    }
    return 0;
}
