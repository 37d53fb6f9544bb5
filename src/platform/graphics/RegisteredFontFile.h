#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::detail {

// One font file registered with the text system for the documents that carry it (see
// FontCollection), shared by all of them: registering the same bytes again while they are
// registered gives the same object, and the last owner to let go unregisters the file.
//
// The text system reads a registered font from a file of its own in a private folder of the
// process (under $XDG_RUNTIME_DIR where there is one), deleted when the font is unregistered and
// at exit. Fonts handed over as memory would be known to Qt's font engines by their slot in its
// table of application fonts, which a later font reuses: a thread whose engine still held the
// earlier font would draw the later one's text with its glyphs. A path is never used twice.
class RegisteredFontFile {
    struct Passkey {};

public:
    // Nothing when the file cannot be written or the text system refuses it (see `failure`).
    static std::shared_ptr<const RegisteredFontFile> registering(std::span<const std::uint8_t> font,
                                                                 std::string* failure = nullptr);

    RegisteredFontFile(Passkey, std::string key, std::string path, int handle,
                       std::vector<std::string> families);
    ~RegisteredFontFile();
    RegisteredFontFile(const RegisteredFontFile&) = delete;
    RegisteredFontFile& operator=(const RegisteredFontFile&) = delete;

    // The families the text system found in it.
    const std::vector<std::string>& families() const { return families_; }
    const std::string& path() const { return path_; }

private:
    std::string key_;
    std::string path_;
    int handle_;
    std::vector<std::string> families_;
};

}  // namespace platform::detail
