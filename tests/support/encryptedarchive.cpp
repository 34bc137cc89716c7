#include "support/encryptedarchive.h"

#include "support/testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

namespace zelvano::test {

namespace {

bool PackWith(const QString& program, const QStringList& options, const QString& archivePath,
              const QList<QPair<QString, QByteArray>>& files)
{
    QTemporaryDir source;
    if (!source.isValid() || !QDir().mkpath(QFileInfo(archivePath).absolutePath()))
        return false;
    QStringList names;
    for (const auto& [name, bytes] : files) {
        if (!WriteFile(source.filePath(name), bytes))
            return false;
        names << name;
    }
    QProcess process;
    process.setWorkingDirectory(source.path());
    process.start(program, options + QStringList{QFileInfo(archivePath).absoluteFilePath()} + names);
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

} // namespace

bool HaveZipCommand()
{
    return !QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty();
}

bool MakeEncryptedRar(const QString& archivePath, const QList<QPair<QString, QByteArray>>& files,
                      const QString& password, RarEncryption encryption)
{
    const QString flag = encryption == RarEncryption::Headers ? QStringLiteral("-hp") : QStringLiteral("-p");
    return PackWith(QStringLiteral("rar"),
                    {QStringLiteral("a"), QStringLiteral("-idq"), QStringLiteral("-y"), flag + password}, archivePath,
                    files);
}

bool MakeEncryptedZip(const QString& archivePath, const QList<QPair<QString, QByteArray>>& files,
                      const QString& password)
{
    return PackWith(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-P"), password}, archivePath, files);
}

} // namespace zelvano::test
