#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <map>

namespace platform {

// The text of an INI file, in the form QSettings writes and reads (QSettings::IniFormat): keys
// without a slash under [General], "group/key" under [group], values escaped and typed as
// QSettings escapes and types them. A QSettings on the file reads `values` back.
//
// QSettings writes through a QSaveFile that, in Qt 6.4, renames a new file over the old one even
// when the data never reached the disk, so the preferences make their text here and save it
// themselves.
QByteArray encodeIniFile(const std::map<QString, QVariant>& values);

}  // namespace platform
