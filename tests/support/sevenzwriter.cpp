#include "support/sevenzwriter.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <archive.h>
#include <archive_entry.h>

namespace zelvano::test {

namespace {

la_ssize_t Append(archive*, void* data, const void* buffer, size_t length)
{
    static_cast<QByteArray*>(data)->append(static_cast<const char*>(buffer), qsizetype(length));
    return la_ssize_t(length);
}

} // namespace

QByteArray WriteSevenZ(const QList<SevenZItem>& items, const char* compression)
{
    QByteArray out;
    archive* a = archive_write_new();
    bool ok = archive_write_set_format_7zip(a) == ARCHIVE_OK &&
              archive_write_set_format_option(a, "7zip", "compression", compression) == ARCHIVE_OK &&
              archive_write_set_bytes_in_last_block(a, 1) == ARCHIVE_OK &&
              archive_write_open(a, &out, nullptr, &Append, nullptr) == ARCHIVE_OK;
    for (const SevenZItem& item : items) {
        if (!ok)
            break;
        archive_entry* entry = archive_entry_new();
        const QByteArray name = item.name.toUtf8();
        archive_entry_set_pathname_utf8(entry, name.constData());
        archive_entry_set_mtime(entry, 1700000000, 0);
        switch (item.kind) {
        case SevenZItem::File:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_perm(entry, 0644);
            archive_entry_set_size(entry, item.data.size());
            break;
        case SevenZItem::Folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            archive_entry_set_perm(entry, 0755);
            break;
        case SevenZItem::Symlink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_perm(entry, 0777);
            archive_entry_set_symlink_utf8(entry, item.target.toUtf8().constData());
            break;
        }
        ok = archive_write_header(a, entry) == ARCHIVE_OK;
        if (ok && item.kind == SevenZItem::File && !item.data.isEmpty())
            ok = archive_write_data(a, item.data.constData(), size_t(item.data.size())) == item.data.size();
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok ? out : QByteArray();
}

bool WriteSevenZFile(const QString& path, const QList<SevenZItem>& items, const char* compression)
{
    const QByteArray bytes = WriteSevenZ(items, compression);
    QFile file(path);
    return !bytes.isEmpty() && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString SevenZipTool()
{
    return QStandardPaths::findExecutable(QStringLiteral("7z"));
}

bool RunSevenZipAdd(const QString& folder, const QString& archive, const QStringList& options, const QStringList& files)
{
    const QString tool = SevenZipTool();
    if (tool.isEmpty())
        return false;
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(tool, QStringList{QStringLiteral("a"), QStringLiteral("-bd"), QStringLiteral("-y")} + options +
                            QStringList{archive, QStringLiteral("--")} + files);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace zelvano::test
