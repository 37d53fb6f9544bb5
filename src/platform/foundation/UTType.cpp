#include "platform/foundation/UTType.h"

#include <algorithm>
#include <set>

#include "platform/foundation/DeclaredTypes.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// Type identifiers are ASCII (reverse-DNS names); their case carries no meaning.
std::string foldedIdentifier(std::string_view identifier) {
    std::string folded(identifier);
    std::transform(folded.begin(), folded.end(), folded.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return folded;
}

std::vector<UTTypeDeclaration> sharedDeclarations() {
    std::vector<UTTypeDeclaration> declarations = systemTypeDeclarations();
    const auto& bundle = mainBundleTypeDeclarations();
    declarations.insert(declarations.end(), bundle.exported.begin(), bundle.exported.end());
    declarations.insert(declarations.end(), bundle.imported.begin(), bundle.imported.end());
    return declarations;
}

}  // namespace

const std::vector<std::string>& UTTypeDeclaration::tags(std::string_view tagClass) const {
    static NeverDestroyed<std::vector<std::string>> none;
    auto found = tagsByClass.find(tagClass);
    return found == tagsByClass.end() ? none.get() : found->second;
}

UTTypeRegistry::UTTypeRegistry(std::vector<UTTypeDeclaration> declarations)
    : declarations_(std::move(declarations)) {
    for (std::size_t index = 0; index < declarations_.size(); ++index) {
        indexByIdentifier_.emplace(foldedIdentifier(declarations_[index].identifier), index);
    }
}

const UTTypeRegistry& UTTypeRegistry::shared() {
    static NeverDestroyed<UTTypeRegistry> registry(sharedDeclarations());
    return registry.get();
}

const UTTypeDeclaration* UTTypeRegistry::declaration(std::string_view type) const {
    auto found = indexByIdentifier_.find(foldedIdentifier(type));
    return found == indexByIdentifier_.end() ? nullptr : &declarations_[found->second];
}

bool UTTypeRegistry::conformsTo(std::string_view type, std::string_view conformsTo) const {
    const std::string target = foldedIdentifier(conformsTo);
    // A walk over the conformance graph, which a declaration list may make cyclic.
    std::vector<std::string> pending{foldedIdentifier(type)};
    std::set<std::string> visited;
    while (!pending.empty()) {
        std::string current = std::move(pending.back());
        pending.pop_back();
        if (current == target) {
            return true;
        }
        if (!visited.insert(current).second) {
            continue;
        }
        if (const auto* found = declaration(current)) {
            for (const auto& parent : found->conformsTo) {
                pending.push_back(foldedIdentifier(parent));
            }
        }
    }
    return false;
}

std::vector<std::string> UTTypeRegistry::allTags(std::string_view type,
                                                 std::string_view tagClass) const {
    const auto* found = declaration(type);
    return found == nullptr ? std::vector<std::string>{} : found->tags(tagClass);
}

bool UTTypeConformsTo(std::string_view type, std::string_view conformsTo) {
    return UTTypeRegistry::shared().conformsTo(type, conformsTo);
}

std::vector<std::string> UTTypeCopyAllTagsWithClass(std::string_view type,
                                                    std::string_view tagClass) {
    return UTTypeRegistry::shared().allTags(type, tagClass);
}

}  // namespace platform
