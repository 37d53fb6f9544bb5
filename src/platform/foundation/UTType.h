#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Tag classes: the kinds of names by which a type is known outside the type system.
inline constexpr std::string_view kUTTagClassFilenameExtension = "public.filename-extension";
inline constexpr std::string_view kUTTagClassMIMEType = "public.mime-type";

// One uniform type declaration, as an information property list's imported or exported type
// declarations hold them: the identifier, the types it conforms to and its tags by tag class.
struct UTTypeDeclaration {
    std::string identifier;
    std::string description;
    std::vector<std::string> conformsTo;
    std::map<std::string, std::vector<std::string>, std::less<>> tagsByClass;

    // The tags of one class, or an empty list.
    const std::vector<std::string>& tags(std::string_view tagClass) const;
};

// The types a process knows: the system's own and those its bundle declares. Identifiers are
// compared without regard to ASCII case, as type identifiers are. When an identifier is declared
// more than once, the first declaration counts.
class UTTypeRegistry {
public:
    explicit UTTypeRegistry(std::vector<UTTypeDeclaration> declarations);

    // The system's declarations followed by the main bundle's exported and imported ones.
    static const UTTypeRegistry& shared();

    // Whether `type` is `conformsTo` or reaches it through declared conformances. Every type
    // conforms to itself, declared or not.
    bool conformsTo(std::string_view type, std::string_view conformsTo) const;

    // Every tag of the class that the type's declaration lists; none for an unknown type.
    std::vector<std::string> allTags(std::string_view type, std::string_view tagClass) const;

    const UTTypeDeclaration* declaration(std::string_view type) const;

private:
    std::vector<UTTypeDeclaration> declarations_;
    // Lower-cased identifier → index into declarations_.
    std::map<std::string, std::size_t, std::less<>> indexByIdentifier_;
};

// The shared registry's answers, under the platform's names.
bool UTTypeConformsTo(std::string_view type, std::string_view conformsTo);
std::vector<std::string> UTTypeCopyAllTagsWithClass(std::string_view type,
                                                    std::string_view tagClass);

}  // namespace platform
