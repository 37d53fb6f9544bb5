#pragma once

#include <QString>

// The layout of a keyed archive, shared by the archiver and the unarchiver.
//
// An archive is one CBOR map: {"$archiver": kArchiverName, "$version": 1, "$secure": bool,
// "$top": <fields>}. Fields are a CBOR map from key to value. A value is a boolean, an integer,
// a double, a text string, a byte string, null (a null object), an array of values, an
// object: the map {"$class": <class name>, "$fields": <fields>}, or a property list: the map
// {"$plist": <tree>}, so that a tree can never pass for an object or a plain value.
namespace platform::keyed_archive {

inline constexpr QLatin1String kArchiverKey{"$archiver"};
inline constexpr QLatin1String kVersionKey{"$version"};
inline constexpr QLatin1String kSecureKey{"$secure"};
inline constexpr QLatin1String kTopKey{"$top"};
inline constexpr QLatin1String kClassKey{"$class"};
inline constexpr QLatin1String kFieldsKey{"$fields"};
inline constexpr QLatin1String kPropertyListKey{"$plist"};

inline constexpr QLatin1String kArchiverName{"org.quillon.KeyedArchive"};
inline constexpr qint64 kVersion = 1;

}  // namespace platform::keyed_archive
