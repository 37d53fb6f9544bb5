#include "platform/graphics/RegisteredFontFile.h"

#include <fmt/format.h>
#include <stdlib.h>

#include <QByteArrayView>
#include <QCryptographicHash>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/FontDatabase.h"

namespace platform::detail {
namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<const RegisteredFontFile>> files;
    std::optional<std::filesystem::path> folder;
    std::uint64_t filesWritten = 0;
};

Registry& registry() {
    static NeverDestroyed<Registry> registry;
    return registry.get();
}

void removeFolderAtExit() {
    std::error_code ignored;
    std::filesystem::remove_all(*registry().folder, ignored);
}

// The process's private folder of fonts, made on first use (under the registry's lock).
std::filesystem::path folder() {
    Registry& state = registry();
    if (state.folder) {
        return *state.folder;
    }
    std::filesystem::path base = std::filesystem::temp_directory_path();
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && std::filesystem::is_directory(runtime)) {
        base = runtime;
    }
    std::string name = (base / "quillon-player-fonts-XXXXXX").string();
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error(fmt::format("no folder for it can be made in {}: {}",
                                             base.string(), std::strerror(errno)));
    }
    state.folder = name;
    std::atexit(removeFolderAtExit);
    return *state.folder;
}

std::string digest(std::span<const std::uint8_t> bytes) {
    return QCryptographicHash::hash(QByteArrayView(reinterpret_cast<const char*>(bytes.data()),
                                                   static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string_view extension(std::span<const std::uint8_t> font) {
    if (font.size() >= 4 && std::memcmp(font.data(), "ttcf", 4) == 0) {
        return ".ttc";
    }
    if (font.size() >= 4 && std::memcmp(font.data(), "OTTO", 4) == 0) {
        return ".otf";
    }
    return ".ttf";
}

}  // namespace

std::shared_ptr<const RegisteredFontFile> RegisteredFontFile::registering(
    std::span<const std::uint8_t> font, std::string* failure) {
    const auto fail = [failure](std::string reason) {
        if (failure != nullptr) {
            *failure = std::move(reason);
        }
        return nullptr;
    };
    std::string key = digest(font);
    Registry& state = registry();
    // Registering and unregistering take turns, so that the last owner's going and a new
    // registration of the same bytes never cross.
    const std::lock_guard lock(state.mutex);
    if (auto found = state.files.find(key); found != state.files.end()) {
        if (auto registered = found->second.lock()) {
            return registered;
        }
    }

    std::filesystem::path path;
    try {
        path = folder() / fmt::format("{}{}", ++state.filesWritten, extension(font));
    } catch (const std::exception& error) {
        return fail(error.what());
    }
    {
        std::ofstream stream(path, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(font.data()),
                     static_cast<std::streamsize>(font.size()));
        stream.close();
        if (!stream) {
            std::error_code ignored;
            std::filesystem::remove(path, ignored);
            return fail(fmt::format("it cannot be written to {}", path.string()));
        }
    }
    std::optional<PrivateFontFile> file = addPrivateFontFile(path.string());
    if (!file) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return fail("the text system cannot read it");
    }
    auto registered = std::make_shared<const RegisteredFontFile>(
        Passkey{}, key, path.string(), file->handle, std::move(file->families));
    state.files.insert_or_assign(std::move(key), registered);
    return registered;
}

RegisteredFontFile::RegisteredFontFile(Passkey, std::string key, std::string path, int handle,
                                       std::vector<std::string> families)
    : key_(std::move(key)),
      path_(std::move(path)),
      handle_(handle),
      families_(std::move(families)) {}

RegisteredFontFile::~RegisteredFontFile() {
    Registry& state = registry();
    const std::lock_guard lock(state.mutex);
    removePrivateFontFile(handle_);
    // Engines that still draw with the font keep the file they opened; the name goes now.
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
    // A registration of the same bytes made since this one's last owner let go stays.
    if (auto found = state.files.find(key_);
        found != state.files.end() && found->second.expired()) {
        state.files.erase(found);
    }
}

}  // namespace platform::detail
