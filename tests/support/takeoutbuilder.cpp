#include "support/takeoutbuilder.h"

#include "support/testenv.h"
#include "support/zipwriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

namespace zelvano::test {

TakeoutBuilder::TakeoutBuilder(const QString& key, int parts) : m_key(key), m_parts(parts) {}

void TakeoutBuilder::AddPicture(int part, const QString& path)
{
    AddFile(part, path, Jpeg());
}

void TakeoutBuilder::AddSidecar(int part, const QString& path, std::optional<qint64> taken,
                                std::optional<qint64> created)
{
    AddFile(part, path, SidecarJson(taken, created));
}

void TakeoutBuilder::AddFile(int part, const QString& path, const QByteArray& data)
{
    m_parts[part].append(Entry{path, data});
}

QString TakeoutBuilder::PartName(int part) const
{
    return QStringLiteral("takeout-%1-%2.zip").arg(m_key).arg(part + 1, 3, 10, QLatin1Char('0'));
}

QStringList TakeoutBuilder::WriteParts(const QString& folder) const
{
    QStringList written;
    for (int p = 0; p < m_parts.size(); ++p) {
        ZipWriter zip;
        for (const Entry& e : m_parts.at(p))
            zip.add(e.path.toUtf8(), e.data).flags = 0x0800;
        const QString path = QDir(folder).filePath(PartName(p));
        if (!WriteFile(path, zip.build()))
            return {};
        written << path;
    }
    return written;
}

qint64 TakeoutBuilder::EntryTime()
{
    return QDateTime(QDate(2025, 1, 1), QTime(12, 0), Qt::UTC).toSecsSinceEpoch();
}

QByteArray TakeoutBuilder::Jpeg()
{
    static const QByteArray bytes = [] {
        QImage image(16, 12, QImage::Format_RGB32);
        image.fill(Qt::darkYellow);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG");
        return buffer.data();
    }();
    return bytes;
}

QByteArray TakeoutBuilder::SidecarJson(std::optional<qint64> taken, std::optional<qint64> created)
{
    QJsonObject root;
    root.insert(QStringLiteral("title"), QStringLiteral("picture"));
    root.insert(QStringLiteral("description"), QStringLiteral("At the beach"));
    const auto block = [](qint64 seconds) {
        QJsonObject o;
        o.insert(QStringLiteral("timestamp"), QString::number(seconds));
        o.insert(QStringLiteral("formatted"), QStringLiteral("some day"));
        return o;
    };
    if (taken)
        root.insert(QStringLiteral("photoTakenTime"), block(*taken));
    if (created)
        root.insert(QStringLiteral("creationTime"), block(*created));
    return QJsonDocument(root).toJson();
}

} // namespace zelvano::test
