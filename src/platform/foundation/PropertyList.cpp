#include "platform/foundation/PropertyList.h"

#include <QCborMap>

namespace platform {

namespace {

// `depth` containers enclose `value`; recursion is bounded by the limit, never by the input.
bool isPropertyList(const QCborValue& value, std::size_t depth, std::size_t maximumDepth) {
    if (value.isString() || value.isByteArray() || value.isInteger() || value.isDouble() ||
        value.isBool()) {
        return true;
    }
    if (!value.isArray() && !value.isMap()) {
        return false;
    }
    if (depth >= maximumDepth) {
        return false;
    }
    if (value.isArray()) {
        for (const QCborValue& element : value.toArray()) {
            if (!isPropertyList(element, depth + 1, maximumDepth)) {
                return false;
            }
        }
        return true;
    }
    const QCborMap map = value.toMap();
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (!it.key().isString() || !isPropertyList(it.value(), depth + 1, maximumDepth)) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool isPropertyList(const QCborValue& value, std::size_t maximumDepth) {
    return isPropertyList(value, 0, maximumDepth);
}

}  // namespace platform
