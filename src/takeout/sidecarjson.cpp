#include "takeout/sidecarjson.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

// 9999-12-31T23:59:59Z: file systems and QDateTime both take times up to there.
constexpr qint64 kLatestTime = 253402300799;

std::optional<qint64> TimestampOf(const QJsonValue& block)
{
    if (!block.isObject())
        return std::nullopt;
    const QJsonValue value = block.toObject().value(QLatin1String("timestamp"));
    qint64 seconds = 0;
    if (value.isString()) {
        bool ok = false;
        seconds = value.toString().trimmed().toLongLong(&ok);
        if (!ok)
            return std::nullopt;
    } else if (value.isDouble()) {
        const double d = value.toDouble();
        if (!(d >= 1 && d <= double(kLatestTime)) || d != double(qint64(d)))
            return std::nullopt;
        seconds = qint64(d);
    } else {
        return std::nullopt;
    }
    if (seconds <= 0 || seconds > kLatestTime)
        return std::nullopt;
    return seconds;
}

} // namespace

std::optional<qint64> ReadSidecarTime(const QByteArray& json)
{
    if (json.size() > kMaxSidecarBytes)
        return std::nullopt;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    const QJsonObject root = doc.object();
    if (const auto taken = TimestampOf(root.value(QLatin1String("photoTakenTime"))))
        return taken;
    return TimestampOf(root.value(QLatin1String("creationTime")));
}
