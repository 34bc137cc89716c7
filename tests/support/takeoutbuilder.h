#pragma once

// Builds synthetic Google Takeout exports for tests: parts named as Google names them, pictures and JSON
// sidecars spread over the parts as the test says.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace zelvano::test {

class TakeoutBuilder
{
public:
    // key: the export's timestamp ("20240601T101500Z"); parts: how many parts the export has.
    TakeoutBuilder(const QString& key, int parts);

    // Adds a small JPEG at path (relative to the archive's root) to part (from 0).
    void AddPicture(int part, const QString& path);
    // Adds a sidecar at path to part, with photoTakenTime (else creationTime) when given.
    void AddSidecar(int part, const QString& path, std::optional<qint64> taken,
                    std::optional<qint64> created = std::nullopt);
    // Adds any entry.
    void AddFile(int part, const QString& path, const QByteArray& data);

    // The part's file name: "takeout-<key>-001.zip" for part 0.
    QString PartName(int part) const;
    // Writes every part into folder; the paths written, in part order (empty on a failure).
    QStringList WriteParts(const QString& folder) const;

    // The DOS time every entry carries (2025-01-01 12:00:00), in seconds since 1970 as the reader gives it.
    static qint64 EntryTime();
    static QByteArray Jpeg();
    static QByteArray SidecarJson(std::optional<qint64> taken, std::optional<qint64> created);

private:
    struct Entry
    {
        QString path;
        QByteArray data;
    };
    QString m_key;
    QList<QList<Entry>> m_parts;
};

} // namespace zelvano::test
