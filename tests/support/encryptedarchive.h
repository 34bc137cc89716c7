#pragma once

// Encrypted archives made with the archivers at test time (rar for RAR, zip for ZIP's traditional
// encryption), for the tests of passwords.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace zelvano::test {

enum class RarEncryption
{
    Data,    // rar -p: names readable, file data encrypted
    Headers, // rar -hp: names and data encrypted
};

// True when the zip command is on the PATH.
bool HaveZipCommand();

// Writes files (relative names and contents) into a scratch folder and packs them into archivePath with
// password. Returns false on any failure (the caller skips when the archiver is missing).
bool MakeEncryptedRar(const QString& archivePath, const QList<QPair<QString, QByteArray>>& files,
                      const QString& password, RarEncryption encryption);
bool MakeEncryptedZip(const QString& archivePath, const QList<QPair<QString, QByteArray>>& files,
                      const QString& password);

} // namespace zelvano::test
