#include "platform/coremedia/CMTimeCoding.h"

#include <QCborMap>
#include <QCborValue>
#include <QString>

#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

namespace platform {

namespace {

const QString valueField = QStringLiteral("value");
const QString timescaleField = QStringLiteral("timescale");
const QString flagsField = QStringLiteral("flags");
const QString epochField = QStringLiteral("epoch");

}  // namespace

void encodeCMTime(NSKeyedArchiver& coder, CMTime time, std::string_view key) {
    QCborMap fields;
    fields.insert(valueField, static_cast<qint64>(time.value));
    fields.insert(timescaleField, static_cast<qint64>(time.timescale));
    fields.insert(flagsField, static_cast<qint64>(time.flags));
    fields.insert(epochField, static_cast<qint64>(time.epoch));
    coder.encodePropertyList(QCborValue(fields), key);
}

CMTime decodeCMTime(NSKeyedUnarchiver& coder, std::string_view key) {
    const auto propertyList = coder.decodePropertyList(key);
    if (!propertyList || !propertyList->isMap()) {
        return kCMTimeInvalid;
    }
    const QCborMap fields = propertyList->toMap();
    for (const QString& field : {valueField, timescaleField, flagsField, epochField}) {
        if (!fields.value(field).isInteger()) {
            return kCMTimeInvalid;
        }
    }
    CMTime time;
    time.value = fields.value(valueField).toInteger();
    time.timescale = static_cast<CMTimeScale>(fields.value(timescaleField).toInteger());
    time.flags = static_cast<CMTimeFlags>(fields.value(flagsField).toInteger());
    time.epoch = fields.value(epochField).toInteger();
    return time;
}

void encodeFloat(NSKeyedArchiver& coder, float value, std::string_view key) {
    coder.encodeDouble(static_cast<double>(value), key);
}

float decodeFloat(NSKeyedUnarchiver& coder, std::string_view key) {
    return static_cast<float>(coder.decodeDouble(key));
}

}  // namespace platform
