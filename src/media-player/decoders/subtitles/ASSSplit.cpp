#include "media-player/decoders/subtitles/ASSSplit.h"

#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

extern "C" {
#include <libavutil/mem.h>
}

#include "media-player/decoders/subtitles/ASSScanner.h"

namespace quillon {

namespace {

struct FieldDescription {
    std::string_view name;
    ASSFieldType type;
    std::size_t offset;  // of the field inside its record
};

struct SectionDescription {
    std::string_view name;
    std::string_view formatKey;  // empty: the section has no column order
    std::string_view entryKey;   // empty: the section is a list of "Key: value" lines
    std::span<const FieldDescription> fields;
};

constexpr std::array scriptInfoFields{
    FieldDescription{"ScriptType", ASSFieldType::string, offsetof(ASSScriptInfo, ScriptType)},
    FieldDescription{"Collisions", ASSFieldType::string, offsetof(ASSScriptInfo, Collisions)},
    FieldDescription{"PlayResX", ASSFieldType::integer, offsetof(ASSScriptInfo, PlayResX)},
    FieldDescription{"PlayResY", ASSFieldType::integer, offsetof(ASSScriptInfo, PlayResY)},
    FieldDescription{"Timer", ASSFieldType::floatingPoint, offsetof(ASSScriptInfo, Timer)},
};

constexpr std::array v4PlusStyleFields{
    FieldDescription{"Name", ASSFieldType::string, offsetof(ASSStyle, Name)},
    FieldDescription{"Fontname", ASSFieldType::string, offsetof(ASSStyle, Fontname)},
    FieldDescription{"Fontsize", ASSFieldType::integer, offsetof(ASSStyle, Fontsize)},
    FieldDescription{"PrimaryColour", ASSFieldType::colour, offsetof(ASSStyle, PrimaryColour)},
    FieldDescription{"SecondaryColour", ASSFieldType::colour, offsetof(ASSStyle, SecondaryColour)},
    FieldDescription{"OutlineColour", ASSFieldType::colour, offsetof(ASSStyle, OutlineColour)},
    FieldDescription{"BackColour", ASSFieldType::colour, offsetof(ASSStyle, BackColour)},
    FieldDescription{"Bold", ASSFieldType::integer, offsetof(ASSStyle, Bold)},
    FieldDescription{"Italic", ASSFieldType::integer, offsetof(ASSStyle, Italic)},
    FieldDescription{"Underline", ASSFieldType::integer, offsetof(ASSStyle, Underline)},
    FieldDescription{"StrikeOut", ASSFieldType::integer, offsetof(ASSStyle, StrikeOut)},
    FieldDescription{"ScaleX", ASSFieldType::floatingPoint, offsetof(ASSStyle, ScaleX)},
    FieldDescription{"ScaleY", ASSFieldType::floatingPoint, offsetof(ASSStyle, ScaleY)},
    FieldDescription{"Spacing", ASSFieldType::floatingPoint, offsetof(ASSStyle, Spacing)},
    FieldDescription{"Angle", ASSFieldType::floatingPoint, offsetof(ASSStyle, Angle)},
    FieldDescription{"BorderStyle", ASSFieldType::integer, offsetof(ASSStyle, BorderStyle)},
    FieldDescription{"Outline", ASSFieldType::floatingPoint, offsetof(ASSStyle, Outline)},
    FieldDescription{"Shadow", ASSFieldType::floatingPoint, offsetof(ASSStyle, Shadow)},
    FieldDescription{"Alignment", ASSFieldType::integer, offsetof(ASSStyle, Alignment)},
    FieldDescription{"MarginL", ASSFieldType::integer, offsetof(ASSStyle, MarginL)},
    FieldDescription{"MarginR", ASSFieldType::integer, offsetof(ASSStyle, MarginR)},
    FieldDescription{"MarginV", ASSFieldType::integer, offsetof(ASSStyle, MarginV)},
    FieldDescription{"Encoding", ASSFieldType::integer, offsetof(ASSStyle, Encoding)},
};

constexpr std::array v4StyleFields{
    FieldDescription{"Name", ASSFieldType::string, offsetof(ASSStyle, Name)},
    FieldDescription{"Fontname", ASSFieldType::string, offsetof(ASSStyle, Fontname)},
    FieldDescription{"Fontsize", ASSFieldType::integer, offsetof(ASSStyle, Fontsize)},
    FieldDescription{"PrimaryColour", ASSFieldType::colour, offsetof(ASSStyle, PrimaryColour)},
    FieldDescription{"SecondaryColour", ASSFieldType::colour, offsetof(ASSStyle, SecondaryColour)},
    FieldDescription{"TertiaryColour", ASSFieldType::colour, offsetof(ASSStyle, OutlineColour)},
    FieldDescription{"BackColour", ASSFieldType::colour, offsetof(ASSStyle, BackColour)},
    FieldDescription{"Bold", ASSFieldType::integer, offsetof(ASSStyle, Bold)},
    FieldDescription{"Italic", ASSFieldType::integer, offsetof(ASSStyle, Italic)},
    FieldDescription{"BorderStyle", ASSFieldType::integer, offsetof(ASSStyle, BorderStyle)},
    FieldDescription{"Outline", ASSFieldType::floatingPoint, offsetof(ASSStyle, Outline)},
    FieldDescription{"Shadow", ASSFieldType::floatingPoint, offsetof(ASSStyle, Shadow)},
    FieldDescription{"Alignment", ASSFieldType::legacyAlignment, offsetof(ASSStyle, Alignment)},
    FieldDescription{"MarginL", ASSFieldType::integer, offsetof(ASSStyle, MarginL)},
    FieldDescription{"MarginR", ASSFieldType::integer, offsetof(ASSStyle, MarginR)},
    FieldDescription{"MarginV", ASSFieldType::integer, offsetof(ASSStyle, MarginV)},
    FieldDescription{"AlphaLevel", ASSFieldType::integer, offsetof(ASSStyle, AlphaLevel)},
    FieldDescription{"Encoding", ASSFieldType::integer, offsetof(ASSStyle, Encoding)},
};

constexpr std::array eventFields{
    FieldDescription{"Layer", ASSFieldType::integer, offsetof(ASSDialog, Layer)},
    FieldDescription{"Start", ASSFieldType::timestamp, offsetof(ASSDialog, Start)},
    FieldDescription{"End", ASSFieldType::timestamp, offsetof(ASSDialog, End)},
    FieldDescription{"Style", ASSFieldType::string, offsetof(ASSDialog, Style)},
    FieldDescription{"Name", ASSFieldType::string, offsetof(ASSDialog, Name)},
    FieldDescription{"MarginL", ASSFieldType::integer, offsetof(ASSDialog, MarginL)},
    FieldDescription{"MarginR", ASSFieldType::integer, offsetof(ASSDialog, MarginR)},
    FieldDescription{"MarginV", ASSFieldType::integer, offsetof(ASSDialog, MarginV)},
    FieldDescription{"Effect", ASSFieldType::string, offsetof(ASSDialog, Effect)},
    FieldDescription{"Text", ASSFieldType::string, offsetof(ASSDialog, Text)},
};

// The order in which FFmpeg writes the events of decoded subtitles.
constexpr std::array decodedEventFields{
    FieldDescription{"ReadOrder", ASSFieldType::integer, offsetof(ASSDialog, ReadOrder)},
    FieldDescription{"Layer", ASSFieldType::integer, offsetof(ASSDialog, Layer)},
    FieldDescription{"Style", ASSFieldType::string, offsetof(ASSDialog, Style)},
    FieldDescription{"Name", ASSFieldType::string, offsetof(ASSDialog, Name)},
    FieldDescription{"MarginL", ASSFieldType::integer, offsetof(ASSDialog, MarginL)},
    FieldDescription{"MarginR", ASSFieldType::integer, offsetof(ASSDialog, MarginR)},
    FieldDescription{"MarginV", ASSFieldType::integer, offsetof(ASSDialog, MarginV)},
    FieldDescription{"Effect", ASSFieldType::string, offsetof(ASSDialog, Effect)},
    FieldDescription{"Text", ASSFieldType::string, offsetof(ASSDialog, Text)},
};

constexpr std::array<SectionDescription, assSectionCount> sections{
    SectionDescription{"Script Info", "", "", scriptInfoFields},
    SectionDescription{"V4+ Styles", "Format", "Style", v4PlusStyleFields},
    SectionDescription{"V4 Styles", "Format", "Style", v4StyleFields},
    SectionDescription{"Events", "Format", "Dialogue", eventFields},
};

constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t maximumSectionNameLength = 15;

template <typename T>
void storeField(std::byte* field, T value) {
    std::memcpy(field, &value, sizeof value);
}

// Writes the converted value into the record's field; a value that does not scan leaves the
// field as it was. False only when memory runs out.
bool convertValue(std::byte* record, const FieldDescription& field, std::string_view value) {
    std::byte* destination = record + field.offset;
    switch (field.type) {
        case ASSFieldType::string: {
            auto* copy = static_cast<char*>(av_malloc(value.size() + 1));
            if (!copy) {
                return false;
            }
            if (!value.empty()) {
                std::memcpy(copy, value.data(), value.size());
            }
            copy[value.size()] = '\0';
            char* previous = nullptr;
            std::memcpy(&previous, destination, sizeof previous);
            av_free(previous);
            storeField(destination, copy);
            return true;
        }
        case ASSFieldType::integer:
            if (auto integer = assScanInteger(value)) {
                storeField(destination, *integer);
            }
            return true;
        case ASSFieldType::floatingPoint:
            if (auto number = assScanFloat(value)) {
                storeField(destination, *number);
            }
            return true;
        case ASSFieldType::colour:
            if (auto colour = assScanColour(value)) {
                storeField(destination, *colour);
            }
            return true;
        case ASSFieldType::timestamp:
            if (auto time = assScanTimestamp(value)) {
                storeField(destination, *time);
            }
            return true;
        case ASSFieldType::legacyAlignment:
            if (auto alignment = assScanLegacyAlignment(value)) {
                storeField(destination, *alignment);
            }
            return true;
    }
    return true;
}

void freeStrings(ASSScriptInfo& info) {
    av_freep(&info.ScriptType);
    av_freep(&info.Collisions);
}

void freeStrings(ASSStyle& style) {
    av_freep(&style.Name);
    av_freep(&style.Fontname);
}

void freeStrings(ASSDialog& dialog) {
    av_freep(&dialog.Style);
    av_freep(&dialog.Name);
    av_freep(&dialog.Effect);
    av_freep(&dialog.Text);
}

template <typename Record>
void freeRecords(Record*& records, std::int32_t& count) {
    for (std::int32_t i = 0; i < count; ++i) {
        freeStrings(records[i]);
    }
    av_freep(&records);
    count = 0;
}

// Grows the array by one zeroed record; nothing when memory runs out (the array stays as it was).
template <typename Record>
Record* appendRecord(Record*& records, std::int32_t& count) {
    if (count < 0 || count == std::numeric_limits<std::int32_t>::max()) {
        return nullptr;
    }
    void* grown = av_realloc_array(records, static_cast<std::size_t>(count) + 1, sizeof(Record));
    if (!grown) {
        return nullptr;
    }
    records = static_cast<Record*>(grown);
    Record* record = records + count;
    std::memset(static_cast<void*>(record), 0, sizeof(Record));
    ++count;
    return record;
}

std::size_t lengthUntil(std::string_view text, std::size_t from, std::string_view stops) {
    std::size_t found = text.find_first_of(stops, from);
    return (found == npos ? text.size() : found) - from;
}

// A "\r" ends every value, though it stays part of the line.
bool endsLine(std::string_view text, std::size_t at) {
    return at >= text.size() || text[at] == '\r' || text[at] == '\n';
}

std::size_t skipSpaces(std::string_view text, std::size_t at) {
    while (at < text.size() && text[at] == ' ') {
        ++at;
    }
    return at;
}

std::size_t nextLine(std::string_view text, std::size_t at) {
    std::size_t newline = text.find('\n', at);
    return newline == npos ? text.size() : newline + 1;
}

// Whether the line at `at` begins with the key followed by ":".
bool beginsWithKey(std::string_view text, std::size_t at, std::string_view key) {
    return text.substr(at).starts_with(key) && at + key.size() < text.size() &&
           text[at + key.size()] == ':';
}

// Whether the key before a line's ":" is the start of the name, as the keys of script headers
// have always been compared ("PlayRes" sets PlayResX). An empty key matches no name.
bool keyPrefixMatches(std::string_view key, std::string_view name) {
    return !key.empty() && name.starts_with(key);
}

class ScriptSplitter {
public:
    ScriptSplitter(ASSSplitContext& context, std::string_view text)
        : context_(context), text_(text) {}

    // False when memory ran out.
    bool split() {
        std::size_t position = 0;
        if (context_.currentSection >= 0 && context_.currentSection < assSectionCount) {
            auto end = splitSection(position);
            if (!end) {
                return false;
            }
            position = *end;
        } else {
            context_.currentSection = -1;
        }
        while (position < text_.size()) {
            std::optional<std::string_view> name = sectionHeader(position);
            position = nextLine(text_, position);
            if (!name) {
                continue;
            }
            for (std::int32_t index = 0; index < assSectionCount; ++index) {
                if (*name == sections[index].name) {
                    context_.currentSection = index;
                    auto end = splitSection(position);
                    if (!end) {
                        return false;
                    }
                    position = *end;
                    break;
                }
            }
        }
        return true;
    }

private:
    // "[name]" of up to 15 letters, digits, "+" or spaces, followed by at least one character.
    std::optional<std::string_view> sectionHeader(std::size_t at) const {
        if (text_[at] != '[') {
            return std::nullopt;
        }
        std::size_t begin = at + 1;
        std::size_t end = begin;
        while (end < text_.size() && end - begin < maximumSectionNameLength &&
               isSectionNameCharacter(text_[end])) {
            ++end;
        }
        if (end == begin || end + 1 >= text_.size() || text_[end] != ']') {
            return std::nullopt;
        }
        return text_.substr(begin, end - begin);
    }

    static bool isSectionNameCharacter(char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '+' || c == ' ';
    }

    // Splits the lines of the current section, up to a line that begins with "[" (which leaves
    // every section) or the end. Returns where it stopped; nothing when memory ran out.
    std::optional<std::size_t> splitSection(std::size_t position) {
        while (position < text_.size()) {
            if (text_[position] == '[') {
                context_.currentSection = -1;
                break;
            }
            bool isComment = text_[position] == ';' || text_.substr(position).starts_with("!:");
            if (!isComment && !splitLine(position)) {
                return std::nullopt;
            }
            position = nextLine(text_, position);
        }
        return position;
    }

    bool splitLine(std::size_t position) {
        const SectionDescription* section = &sections[context_.currentSection];
        std::size_t keyLength = lengthUntil(text_, position, ":\r\n");
        std::string_view key = text_.substr(position, keyLength);
        bool hasKey = position + keyLength < text_.size() && text_[position + keyLength] == ':';

        // Record lines are accepted wherever they appear: their key names their section.
        if (hasKey && (section->entryKey.empty() || !keyPrefixMatches(key, section->entryKey))) {
            for (std::int32_t index = 0; index < assSectionCount; ++index) {
                if (!sections[index].entryKey.empty() &&
                    keyPrefixMatches(key, sections[index].entryKey)) {
                    context_.currentSection = index;
                    section = &sections[index];
                    break;
                }
            }
        }
        std::int32_t index = context_.currentSection;

        if (!section->formatKey.empty() && !context_.fieldOrder[index] &&
            beginsWithKey(text_, position, section->formatKey)) {
            return splitFormatLine(index, position + section->formatKey.size() + 1);
        }
        if (!section->entryKey.empty()) {
            if (beginsWithKey(text_, position, section->entryKey)) {
                return splitRecordLine(index, position + section->entryKey.size() + 1);
            }
            return true;
        }
        if (hasKey) {
            for (const FieldDescription& field : section->fields) {
                if (keyPrefixMatches(key, field.name)) {
                    std::size_t begin = skipSpaces(text_, position + keyLength + 1);
                    std::string_view value = text_.substr(begin, lengthUntil(text_, begin, "\r\n"));
                    return convertValue(reinterpret_cast<std::byte*>(&context_.script.info), field,
                                        value);
                }
            }
        }
        return true;
    }

    // Calls visit with each column name of a "Format:" line, from `position` to the line's end.
    template <typename Visit>
    void forEachFormatColumn(std::size_t position, Visit&& visit) const {
        while (!endsLine(text_, position)) {
            position = skipSpaces(text_, position);
            std::size_t length = lengthUntil(text_, position, ", \r\n");
            visit(text_.substr(position, length));
            position += length;
            if (position < text_.size() && text_[position] == ',') {
                ++position;
            }
            position = skipSpaces(text_, position);
        }
    }

    // Fixes the section's column order for the life of the context. Every column is kept, however
    // many there are, so that record lines stay aligned with the header's columns.
    bool splitFormatLine(std::int32_t index, std::size_t position) {
        std::size_t columns = 0;
        forEachFormatColumn(position, [&](std::string_view) { ++columns; });
        if (columns == 0) {
            return true;
        }
        if (columns > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return false;
        }
        auto* order = static_cast<std::int32_t*>(av_malloc_array(columns, sizeof(std::int32_t)));
        if (!order) {
            return false;
        }
        std::span<const FieldDescription> fields = sections[index].fields;
        std::size_t column = 0;
        forEachFormatColumn(position, [&](std::string_view name) {
            std::int32_t fieldIndex = -1;
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (fields[i].name == name) {
                    fieldIndex = static_cast<std::int32_t>(i);
                    break;
                }
            }
            order[column++] = fieldIndex;
        });
        context_.fieldOrder[index] = order;
        context_.fieldCount[index] = static_cast<std::int32_t>(columns);
        return true;
    }

    bool takeDefaultOrder(std::int32_t index) {
        std::span<const FieldDescription> fields = sections[index].fields;
        auto* order =
            static_cast<std::int32_t*>(av_malloc_array(fields.size(), sizeof(std::int32_t)));
        if (!order) {
            return false;
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            order[i] = static_cast<std::int32_t>(i);
        }
        context_.fieldOrder[index] = order;
        context_.fieldCount[index] = static_cast<std::int32_t>(fields.size());
        return true;
    }

    std::byte* appendSectionRecord(std::int32_t index) {
        ASSScript& script = context_.script;
        if (index == assSectionEvents) {
            return reinterpret_cast<std::byte*>(appendRecord(script.dialogs, script.dialogsCount));
        }
        return reinterpret_cast<std::byte*>(appendRecord(script.styles, script.stylesCount));
    }

    bool splitRecordLine(std::int32_t index, std::size_t position) {
        std::byte* record = appendSectionRecord(index);
        if (!record) {
            return false;
        }
        if (!context_.fieldOrder[index] && !takeDefaultOrder(index)) {
            return false;
        }
        std::span<const FieldDescription> fields = sections[index].fields;
        const std::int32_t* order = context_.fieldOrder[index];
        std::int32_t count = context_.fieldCount[index];
        for (std::int32_t column = 0; column < count && !endsLine(text_, position); ++column) {
            // The last column takes the rest of the line, so an event's text may hold commas.
            bool last = column == count - 1;
            position = skipSpaces(text_, position);
            std::size_t length = lengthUntil(text_, position, last ? "\r\n" : ",\r\n");
            std::int32_t fieldIndex = order[column];
            if (fieldIndex >= 0 && static_cast<std::size_t>(fieldIndex) < fields.size() &&
                !convertValue(record, fields[fieldIndex], text_.substr(position, length))) {
                return false;
            }
            position += length;
            // Only a comma is stepped over: a line with fewer values than columns must not run
            // on into the next line.
            if (!last && position < text_.size() && text_[position] == ',') {
                ++position;
            }
            position = skipSpaces(text_, position);
        }
        return true;
    }

    ASSSplitContext& context_;
    std::string_view text_;
};

std::string_view viewOf(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

}  // namespace

void assSplitFree(ASSSplitContext* context) {
    if (!context) {
        return;
    }
    ASSScript& script = context->script;
    freeStrings(script.info);
    freeRecords(script.styles, script.stylesCount);
    freeRecords(script.dialogs, script.dialogsCount);
    for (std::int32_t*& order : context->fieldOrder) {
        av_freep(&order);
    }
    av_free(context);
}

void assFreeDialog(ASSDialog* dialog) {
    if (!dialog) {
        return;
    }
    freeStrings(*dialog);
    av_free(dialog);
}

ASSSplitContextPointer assSplit(const char* text) {
    ASSSplitContextPointer context(
        static_cast<ASSSplitContext*>(av_mallocz(sizeof(ASSSplitContext))));
    if (!context) {
        return nullptr;
    }
    context->currentSection = -1;
    if (!ScriptSplitter(*context, viewOf(text)).split()) {
        return nullptr;
    }
    return context;
}

ASSDialog* assSplitDialog(ASSSplitContext* context, const char* text, std::int32_t cache,
                          std::int32_t* count) {
    if (count) {
        *count = 0;
    }
    if (!context) {
        return nullptr;
    }
    ASSScript& script = context->script;
    if (!cache) {
        freeRecords(script.dialogs, script.dialogsCount);
    }
    std::int32_t before = script.dialogsCount;
    bool succeeded = ScriptSplitter(*context, viewOf(text)).split();
    std::int32_t added = script.dialogsCount - before;
    if (count) {
        *count = added;
    }
    if (!succeeded || added <= 0) {
        return nullptr;
    }
    return script.dialogs + before;
}

ASSDialogPointer assSplitDialogFields(const char* text) {
    ASSDialogPointer dialog(static_cast<ASSDialog*>(av_mallocz(sizeof(ASSDialog))));
    if (!dialog) {
        return nullptr;
    }
    std::string_view view = viewOf(text);
    std::size_t position = 0;
    for (std::size_t i = 0; i < decodedEventFields.size(); ++i) {
        bool last = i == decodedEventFields.size() - 1;
        position = skipSpaces(view, position);
        std::size_t length = last ? view.size() - position : lengthUntil(view, position, ",");
        if (length >= static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return nullptr;
        }
        if (!convertValue(reinterpret_cast<std::byte*>(dialog.get()), decodedEventFields[i],
                          view.substr(position, length))) {
            return nullptr;
        }
        position += length;
        if (position < view.size()) {
            ++position;
        }
    }
    return dialog;
}

ASSScript* assSplitScript(ASSSplitContext* context) {
    return context ? &context->script : nullptr;
}

ASSStyle* assSplitStyles(ASSSplitContext* context, std::int32_t* count) {
    if (!context) {
        if (count) {
            *count = 0;
        }
        return nullptr;
    }
    if (count) {
        *count = context->script.stylesCount;
    }
    return context->script.styles;
}

ASSStyle* assStyleGet(ASSSplitContext* context, const char* name) {
    if (!context) {
        return nullptr;
    }
    std::string_view wanted = name && *name ? std::string_view(name) : std::string_view("Default");
    ASSScript& script = context->script;
    for (std::int32_t i = 0; i < script.stylesCount; ++i) {
        if (script.styles[i].Name && wanted == script.styles[i].Name) {
            return &script.styles[i];
        }
    }
    return nullptr;
}

}  // namespace quillon
