#pragma once

// 7z archives for the tests: written through libarchive's 7z writer, which stores any name and any kind
// of entry (hostile names, links) that the 7z command would refuse or change, and made by the 7z command
// where the test needs what only it writes (encryption, solid blocks of its own).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace zelvano::test {

struct SevenZItem
{
    enum Kind
    {
        File,
        Folder,
        Symlink,
    };
    QString name; // stored as given
    QByteArray data;
    Kind kind = File;
    QString target; // of a link
};

inline SevenZItem ZFile(const QString& name, const QByteArray& data)
{
    return SevenZItem{name, data, SevenZItem::File, QString()};
}
inline SevenZItem ZFolder(const QString& name)
{
    return SevenZItem{name, QByteArray(), SevenZItem::Folder, QString()};
}
inline SevenZItem ZLink(const QString& name, const QString& target)
{
    return SevenZItem{name, QByteArray(), SevenZItem::Symlink, target};
}

// The archive's bytes; compression is "store", "lzma1", "lzma2", "bzip2", "deflate" or "ppmd". Empty
// on failure.
QByteArray WriteSevenZ(const QList<SevenZItem>& items, const char* compression = "lzma2");
bool WriteSevenZFile(const QString& path, const QList<SevenZItem>& items, const char* compression = "lzma2");

// The 7z command, or empty when it is not installed.
QString SevenZipTool();
// Runs "7z a" in folder with the options, adding the files (relative to folder) to archive. True when
// the command succeeded.
bool RunSevenZipAdd(const QString& folder, const QString& archive, const QStringList& options,
                    const QStringList& files);

} // namespace zelvano::test
