#include "platform/graphics/FontCollection.h"

#include <fmt/format.h>

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QGuiApplication>
#include <QString>
#include <algorithm>
#include <set>
#include <utility>

#include "platform/graphics/RegisteredFontFile.h"
#include "platform/graphics/SFNTNames.h"

namespace platform {
namespace {

std::string folded(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()))
        .trimmed()
        .toCaseFolded()
        .toStdString();
}

// Qt reads commas as separators of families and brackets as a foundry.
std::string withoutFamilySyntax(std::string name) {
    for (char& c : name) {
        if (c == ',' || c == '"' || c == '\'' || c == '[' || c == ']') {
            c = ' ';
        }
    }
    return QString::fromStdString(name).simplified().toStdString();
}

// The name a face is filed under by styled subtitles: its family where it has one.
std::optional<std::string> primaryName(const detail::SFNTFaceNames& face) {
    for (const auto* names : {&face.families, &face.typographicFamilies, &face.faceNames}) {
        if (!names->empty()) {
            return names->front();
        }
    }
    return std::nullopt;
}

std::string sha256(std::string_view text) {
    return QCryptographicHash::hash(
               QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

// The faces of the given files that share one family name, and the name the text system gets
// for it. The name depends on that family's faces alone, so that two documents with the same
// fonts of a family share their registration, and two with different ones keep them apart.
struct Family {
    std::string spelling;
    std::set<std::string> faceDigests;
    std::string registeredName;
};

struct ParsedFile {
    std::vector<detail::SFNTFaceNames> faces;
    std::vector<std::string> familyKeys;
};

}  // namespace

std::shared_ptr<const FontCollection> FontCollection::make(
    std::vector<FontFile> files, std::shared_ptr<const FontCollection> inherited,
    const Skipped& skipped) {
    auto collection = std::make_shared<FontCollection>(Passkey{});
    collection->inherited_ = std::move(inherited);
    if (files.empty() || qGuiApp == nullptr) {
        return collection;
    }
    const auto skip = [&](const FontFile& file, const std::string& reason) {
        if (skipped) {
            skipped(file.name, reason);
        }
    };

    std::vector<std::optional<ParsedFile>> parsed(files.size());
    std::map<std::string, Family> families;
    for (std::size_t i = 0; i < files.size(); ++i) {
        ParsedFile file;
        try {
            file.faces = detail::readSFNTFaceNames(files[i].data);
        } catch (const detail::MalformedFontError& error) {
            skip(files[i], error.what());
            continue;
        }
        const std::string fileDigest = sha256(std::string_view(
            reinterpret_cast<const char*>(files[i].data.data()), files[i].data.size()));
        bool named = true;
        for (std::size_t face = 0; face < file.faces.size() && named; ++face) {
            const auto name = primaryName(file.faces[face]);
            named = name.has_value();
            if (named) {
                std::string key = folded(*name);
                Family& family = families[key];
                if (family.spelling.empty()) {
                    family.spelling = *name;
                }
                family.faceDigests.insert(fmt::format("{}:{}", fileDigest, face));
                file.familyKeys.push_back(std::move(key));
            }
        }
        if (!named) {
            skip(files[i], "a font in it has no name");
            continue;
        }
        parsed[i] = std::move(file);
    }
    for (auto& [key, family] : families) {
        std::string members = key;
        for (const std::string& digest : family.faceDigests) {
            members += '\n' + digest;
        }
        family.registeredName =
            fmt::format("{} (attached {})", withoutFamilySyntax(family.spelling),
                        sha256(members).substr(0, 12));
    }

    // Family names first, typographic ones only where no family has that name.
    std::map<std::string, std::pair<int, std::string>, std::less<>> names;
    const auto name = [&](const std::string& spelling, int rank, const std::string& registered) {
        auto [entry, added] = names.try_emplace(folded(spelling), rank, registered);
        if (!added && rank < entry->second.first) {
            entry->second = {rank, registered};
        }
    };
    std::set<std::string> familyNames;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!parsed[i]) {
            continue;
        }
        const ParsedFile& file = *parsed[i];
        std::vector<std::string> registeredNames;
        for (const std::string& key : file.familyKeys) {
            registeredNames.push_back(families.at(key).registeredName);
        }
        std::shared_ptr<const detail::RegisteredFontFile> registered;
        std::string failure;
        try {
            registered = detail::RegisteredFontFile::registering(
                detail::renamingSFNTFamilies(files[i].data, registeredNames), &failure);
        } catch (const detail::MalformedFontError& error) {
            failure = error.what();
        }
        if (!registered) {
            skip(files[i], failure);
            continue;
        }
        collection->files_.push_back(registered);
        for (std::size_t face = 0; face < file.faces.size(); ++face) {
            const std::string& registeredName = registeredNames[face];
            // A face the text system did not file under its new name cannot be asked for.
            const auto& known = registered->families();
            if (std::none_of(known.begin(), known.end(), [&](const std::string& family) {
                    return folded(family) == folded(registeredName);
                })) {
                continue;
            }
            const detail::SFNTFaceNames& faceNames = file.faces[face];
            familyNames.insert(families.at(file.familyKeys[face]).spelling);
            name(registeredName, 0, registeredName);
            for (const std::string& family : faceNames.families) {
                name(family, 0, registeredName);
            }
            for (const std::string& family : faceNames.typographicFamilies) {
                name(family, 1, registeredName);
            }
            for (const std::string& faceName : faceNames.faceNames) {
                collection->faces_.try_emplace(
                    folded(faceName),
                    RegisteredFace{registeredName, faceNames.bold, faceNames.italic});
            }
        }
    }
    for (auto& [key, entry] : names) {
        collection->families_.emplace(key, std::move(entry.second));
    }
    collection->familyNames_.assign(familyNames.begin(), familyNames.end());
    return collection;
}

FontCollection::~FontCollection() = default;

std::vector<std::string> FontCollection::familyNames() const {
    return familyNames_;
}

std::optional<std::string> FontCollection::registeredFamily(std::string_view family) const {
    if (auto found = families_.find(folded(family)); found != families_.end()) {
        return found->second;
    }
    return inherited_ ? inherited_->registeredFamily(family) : std::nullopt;
}

std::optional<FontCollection::RegisteredFace> FontCollection::registeredFace(
    std::string_view faceName) const {
    if (auto found = faces_.find(folded(faceName)); found != faces_.end()) {
        return found->second;
    }
    return inherited_ ? inherited_->registeredFace(faceName) : std::nullopt;
}

}  // namespace platform
