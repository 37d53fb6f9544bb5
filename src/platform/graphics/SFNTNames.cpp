#include "platform/graphics/SFNTNames.h"

#include <QString>
#include <algorithm>
#include <limits>
#include <optional>
#include <tuple>

namespace platform::detail {
namespace {

constexpr std::uint32_t tag(const char (&text)[5]) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(text[3]));
}

constexpr std::uint32_t collectionTag = tag("ttcf");
constexpr std::uint32_t trueTypeVersion = 0x00010000;
constexpr std::uint32_t appleTrueTypeTag = tag("true");
constexpr std::uint32_t openTypeTag = tag("OTTO");
constexpr std::uint32_t nameTag = tag("name");
constexpr std::uint32_t os2Tag = tag("OS/2");
constexpr std::uint32_t headTag = tag("head");

// More than any real font has; a bound on what a corrupt count makes us read.
constexpr std::uint32_t maximumFacesInCollection = 4096;

enum NameID : std::uint16_t {
    familyNameID = 1,
    fullNameID = 4,
    postScriptNameID = 6,
    typographicFamilyNameID = 16,
    typographicSubfamilyNameID = 17,
    wwsFamilyNameID = 21,
    wwsSubfamilyNameID = 22,
};

enum PlatformID : std::uint16_t { unicodePlatform = 0, macintoshPlatform = 1, windowsPlatform = 3 };

constexpr std::uint16_t windowsSymbolEncoding = 0;
constexpr std::uint16_t windowsUnicodeBMPEncoding = 1;
constexpr std::uint16_t windowsUnicodeFullEncoding = 10;
constexpr std::uint16_t macRomanEncoding = 0;
constexpr std::uint16_t windowsEnglishUS = 0x0409;
constexpr std::uint16_t macEnglish = 0;

// Big-endian reads that refuse to leave the file.
class Bytes {
public:
    explicit Bytes(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::size_t size() const { return bytes_.size(); }

    std::span<const std::uint8_t> slice(std::size_t offset, std::size_t length) const {
        if (offset > bytes_.size() || length > bytes_.size() - offset) {
            throw MalformedFontError("a table runs past the end of the file");
        }
        return bytes_.subspan(offset, length);
    }
    std::uint16_t u16(std::size_t offset) const {
        const auto b = slice(offset, 2);
        return static_cast<std::uint16_t>((b[0] << 8) | b[1]);
    }
    std::uint32_t u32(std::size_t offset) const {
        const auto b = slice(offset, 4);
        return (static_cast<std::uint32_t>(b[0]) << 24) | (static_cast<std::uint32_t>(b[1]) << 16) |
               (static_cast<std::uint32_t>(b[2]) << 8) | static_cast<std::uint32_t>(b[3]);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

struct TableRecord {
    std::uint32_t tag = 0;
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    // Where the record itself lies in the file, for patching.
    std::size_t recordOffset = 0;
};

struct FaceDirectory {
    std::vector<TableRecord> tables;

    const TableRecord* find(std::uint32_t wanted) const {
        for (const TableRecord& table : tables) {
            if (table.tag == wanted) {
                return &table;
            }
        }
        return nullptr;
    }
};

std::vector<std::size_t> faceDirectoryOffsets(const Bytes& file) {
    const std::uint32_t version = file.u32(0);
    if (version == trueTypeVersion || version == appleTrueTypeTag || version == openTypeTag) {
        return {0};
    }
    if (version != collectionTag) {
        throw MalformedFontError("it is not a TrueType or OpenType font");
    }
    const std::uint32_t count = file.u32(8);
    if (count == 0 || count > maximumFacesInCollection) {
        throw MalformedFontError("its collection holds no usable number of fonts");
    }
    std::vector<std::size_t> offsets;
    offsets.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        offsets.push_back(file.u32(12 + 4 * std::size_t{i}));
    }
    return offsets;
}

FaceDirectory readDirectory(const Bytes& file, std::size_t offset) {
    const std::uint32_t version = file.u32(offset);
    if (version != trueTypeVersion && version != appleTrueTypeTag && version != openTypeTag) {
        throw MalformedFontError("a font of its collection is not a TrueType or OpenType font");
    }
    const std::uint16_t count = file.u16(offset + 4);
    FaceDirectory directory;
    directory.tables.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t record = offset + 12 + 16 * std::size_t{i};
        TableRecord table{file.u32(record), file.u32(record + 8), file.u32(record + 12), record};
        (void)file.slice(table.offset, table.length);
        directory.tables.push_back(table);
    }
    return directory;
}

struct NameRecord {
    std::uint16_t platformID = 0;
    std::uint16_t encodingID = 0;
    std::uint16_t languageID = 0;
    std::uint16_t nameID = 0;
    std::vector<std::uint8_t> bytes;

    auto key() const { return std::tie(platformID, encodingID, languageID, nameID); }
};

struct NameTable {
    std::uint16_t version = 0;
    std::vector<NameRecord> records;
    // Version 1: the language tags that language IDs from 0x8000 on refer to.
    std::vector<std::vector<std::uint8_t>> languageTags;
};

NameTable readNameTable(const Bytes& file, const TableRecord& record) {
    const Bytes table(file.slice(record.offset, record.length));
    NameTable names;
    names.version = table.u16(0);
    const std::uint16_t count = table.u16(2);
    const std::size_t storage = table.u16(4);
    const auto string = [&](std::size_t length, std::size_t offset) {
        const auto bytes = table.slice(storage + offset, length);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    };
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::size_t at = 6 + 12 * std::size_t{i};
        names.records.push_back(NameRecord{table.u16(at), table.u16(at + 2), table.u16(at + 4),
                                           table.u16(at + 6),
                                           string(table.u16(at + 8), table.u16(at + 10))});
    }
    if (names.version == 1) {
        const std::size_t tagsAt = 6 + 12 * std::size_t{count};
        const std::uint16_t tagCount = table.u16(tagsAt);
        for (std::uint16_t i = 0; i < tagCount; ++i) {
            const std::size_t at = tagsAt + 2 + 4 * std::size_t{i};
            names.languageTags.push_back(string(table.u16(at), table.u16(at + 2)));
        }
    }
    return names;
}

bool isUTF16(const NameRecord& record) {
    return record.platformID == unicodePlatform ||
           (record.platformID == windowsPlatform &&
            (record.encodingID == windowsSymbolEncoding ||
             record.encodingID == windowsUnicodeBMPEncoding ||
             record.encodingID == windowsUnicodeFullEncoding));
}

bool isMacRoman(const NameRecord& record) {
    return record.platformID == macintoshPlatform && record.encodingID == macRomanEncoding;
}

// The record's text in UTF-8; none for an encoding we do not read.
std::optional<std::string> decode(const NameRecord& record) {
    if (isUTF16(record)) {
        std::u16string units;
        for (std::size_t i = 0; i + 1 < record.bytes.size(); i += 2) {
            units.push_back(static_cast<char16_t>((record.bytes[i] << 8) | record.bytes[i + 1]));
        }
        QString text = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
        text.remove(QChar(0));
        return text.toStdString();
    }
    if (isMacRoman(record)) {
        std::string text;
        for (const std::uint8_t byte : record.bytes) {
            if (byte >= 0x80) {
                return std::nullopt;
            }
            if (byte != 0) {
                text += static_cast<char>(byte);
            }
        }
        return text;
    }
    return std::nullopt;
}

std::vector<std::uint8_t> encodeUTF16(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    for (const QChar unit : QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))) {
        bytes.push_back(static_cast<std::uint8_t>(unit.unicode() >> 8));
        bytes.push_back(static_cast<std::uint8_t>(unit.unicode() & 0xFF));
    }
    return bytes;
}

bool isASCII(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// US English first, then the other Windows names, the Unicode platform's and the Mac's.
int preference(const NameRecord& record) {
    if (record.platformID == windowsPlatform) {
        return record.languageID == windowsEnglishUS ? 0 : 1;
    }
    if (record.platformID == unicodePlatform) {
        return 2;
    }
    return record.languageID == macEnglish ? 3 : 4;
}

std::vector<std::string> namesWithID(const NameTable& table, std::uint16_t nameID) {
    std::vector<const NameRecord*> records;
    for (const NameRecord& record : table.records) {
        if (record.nameID == nameID) {
            records.push_back(&record);
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const auto* a, const auto* b) { return preference(*a) < preference(*b); });
    std::vector<std::string> names;
    for (const NameRecord* record : records) {
        auto name = decode(*record);
        if (name && !name->empty() && std::find(names.begin(), names.end(), *name) == names.end()) {
            names.push_back(std::move(*name));
        }
    }
    return names;
}

void readStyle(const Bytes& file, const FaceDirectory& directory, SFNTFaceNames& face) {
    // OS/2 fsSelection: bit 0 italic, bit 5 bold. Else head's macStyle: bit 0 bold, bit 1 italic.
    if (const TableRecord* os2 = directory.find(os2Tag); os2 != nullptr && os2->length >= 64) {
        const std::uint16_t selection = file.u16(os2->offset + 62);
        face.italic = (selection & 0x0001) != 0;
        face.bold = (selection & 0x0020) != 0;
    } else if (const TableRecord* head = directory.find(headTag);
               head != nullptr && head->length >= 46) {
        const std::uint16_t macStyle = file.u16(head->offset + 44);
        face.bold = (macStyle & 0x0001) != 0;
        face.italic = (macStyle & 0x0002) != 0;
    }
}

const TableRecord& nameTableOf(const FaceDirectory& directory) {
    const TableRecord* name = directory.find(nameTag);
    if (name == nullptr) {
        throw MalformedFontError("a font in it has no naming table");
    }
    return *name;
}

void putU16(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    out[at] = static_cast<std::uint8_t>(value >> 8);
    out[at + 1] = static_cast<std::uint8_t>(value);
}

void putU32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    putU16(out, at, value >> 16);
    putU16(out, at + 2, value & 0xFFFF);
}

void appendU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

bool isDroppedByRenaming(std::uint16_t nameID) {
    return nameID == familyNameID || nameID == typographicFamilyNameID ||
           nameID == typographicSubfamilyNameID || nameID == wwsFamilyNameID ||
           nameID == wwsSubfamilyNameID;
}

// Licence texts and descriptions are what may be left out when the renamed table would not fit
// the 16-bit offsets of its strings.
bool isExpendable(std::uint16_t nameID) {
    return nameID == 10 || nameID == 13 || nameID == 14 || nameID == 19;
}

std::vector<std::uint8_t> renamedNameTable(NameTable table, const std::string& family) {
    std::vector<NameRecord> records;
    std::vector<NameRecord> familyRecords;
    for (NameRecord& record : table.records) {
        if (!isDroppedByRenaming(record.nameID)) {
            records.push_back(std::move(record));
            continue;
        }
        if (record.nameID != familyNameID) {
            continue;
        }
        // The family name in each platform and language that had one and can say it.
        if (isUTF16(record)) {
            record.bytes = encodeUTF16(family);
        } else if (isMacRoman(record) && isASCII(family)) {
            record.bytes.assign(family.begin(), family.end());
        } else {
            continue;
        }
        familyRecords.push_back(std::move(record));
    }
    if (familyRecords.empty()) {
        familyRecords.push_back(NameRecord{windowsPlatform, windowsUnicodeBMPEncoding,
                                           windowsEnglishUS, familyNameID, encodeUTF16(family)});
    }
    for (NameRecord& record : familyRecords) {
        const bool repeated = std::any_of(records.begin(), records.end(), [&](const auto& other) {
            return other.key() == record.key();
        });
        if (!repeated) {
            records.push_back(std::move(record));
        }
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const auto& a, const auto& b) { return a.key() < b.key(); });

    const auto build = [&](bool withExpendable) -> std::optional<std::vector<std::uint8_t>> {
        std::vector<const NameRecord*> kept;
        for (const NameRecord& record : records) {
            if (withExpendable || !isExpendable(record.nameID)) {
                kept.push_back(&record);
            }
        }
        const bool version1 = table.version == 1;
        const std::size_t headerSize =
            6 + 12 * kept.size() + (version1 ? 2 + 4 * table.languageTags.size() : 0);
        std::vector<std::uint8_t> storage;
        // Equal strings (the same name in two languages) are stored once.
        const auto store =
            [&](const std::vector<std::uint8_t>& bytes) -> std::optional<std::size_t> {
            const auto found =
                std::search(storage.begin(), storage.end(), bytes.begin(), bytes.end());
            const std::size_t offset = bytes.empty() ? 0
                                       : found != storage.end()
                                           ? static_cast<std::size_t>(found - storage.begin())
                                           : storage.size();
            if (offset == storage.size()) {
                storage.insert(storage.end(), bytes.begin(), bytes.end());
            }
            if (offset > 0xFFFF || bytes.size() > 0xFFFF) {
                return std::nullopt;
            }
            return offset;
        };
        std::vector<std::uint8_t> out;
        appendU16(out, table.version);
        appendU16(out, static_cast<std::uint32_t>(kept.size()));
        if (headerSize > 0xFFFF) {
            return std::nullopt;
        }
        appendU16(out, static_cast<std::uint32_t>(headerSize));
        for (const NameRecord* record : kept) {
            const auto offset = store(record->bytes);
            if (!offset) {
                return std::nullopt;
            }
            appendU16(out, record->platformID);
            appendU16(out, record->encodingID);
            appendU16(out, record->languageID);
            appendU16(out, record->nameID);
            appendU16(out, static_cast<std::uint32_t>(record->bytes.size()));
            appendU16(out, static_cast<std::uint32_t>(*offset));
        }
        if (version1) {
            appendU16(out, static_cast<std::uint32_t>(table.languageTags.size()));
            for (const auto& languageTag : table.languageTags) {
                const auto offset = store(languageTag);
                if (!offset) {
                    return std::nullopt;
                }
                appendU16(out, static_cast<std::uint32_t>(languageTag.size()));
                appendU16(out, static_cast<std::uint32_t>(*offset));
            }
        }
        out.insert(out.end(), storage.begin(), storage.end());
        return out;
    };
    if (auto out = build(true)) {
        return std::move(*out);
    }
    if (auto out = build(false)) {
        return std::move(*out);
    }
    throw MalformedFontError("its naming table is too large");
}

std::uint32_t tableChecksum(std::span<const std::uint8_t> table) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < table.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            word = (word << 8) | (i + k < table.size() ? table[i + k] : 0);
        }
        sum += word;
    }
    return sum;
}

void padToFourBytes(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

}  // namespace

std::vector<SFNTFaceNames> readSFNTFaceNames(std::span<const std::uint8_t> bytes) {
    const Bytes file(bytes);
    std::vector<SFNTFaceNames> faces;
    for (const std::size_t offset : faceDirectoryOffsets(file)) {
        const FaceDirectory directory = readDirectory(file, offset);
        const NameTable names = readNameTable(file, nameTableOf(directory));
        SFNTFaceNames face;
        face.families = namesWithID(names, familyNameID);
        face.typographicFamilies = namesWithID(names, typographicFamilyNameID);
        face.faceNames = namesWithID(names, fullNameID);
        for (std::string& name : namesWithID(names, postScriptNameID)) {
            if (std::find(face.faceNames.begin(), face.faceNames.end(), name) ==
                face.faceNames.end()) {
                face.faceNames.push_back(std::move(name));
            }
        }
        readStyle(file, directory, face);
        faces.push_back(std::move(face));
    }
    return faces;
}

std::vector<std::uint8_t> renamingSFNTFamilies(std::span<const std::uint8_t> bytes,
                                               const std::vector<std::string>& familyNames) {
    const Bytes file(bytes);
    const std::vector<std::size_t> offsets = faceDirectoryOffsets(file);
    if (offsets.size() != familyNames.size()) {
        throw MalformedFontError("its number of fonts changed");
    }
    std::vector<std::uint8_t> out(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        const FaceDirectory directory = readDirectory(file, offsets[i]);
        const TableRecord& record = nameTableOf(directory);
        const std::vector<std::uint8_t> table =
            renamedNameTable(readNameTable(file, record), familyNames[i]);
        padToFourBytes(out);
        if (out.size() + table.size() > std::numeric_limits<std::uint32_t>::max()) {
            throw MalformedFontError("it is too large");
        }
        const auto at = static_cast<std::uint32_t>(out.size());
        out.insert(out.end(), table.begin(), table.end());
        putU32(out, record.recordOffset + 4, tableChecksum(table));
        putU32(out, record.recordOffset + 8, at);
        putU32(out, record.recordOffset + 12, static_cast<std::uint32_t>(table.size()));
    }
    padToFourBytes(out);
    return out;
}

}  // namespace platform::detail
