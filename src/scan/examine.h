#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

class CXSettings;

// True when the archive opens with its format's reader (a ZIP name with the ZIP reader, a RAR name with
// the UnRAR library). Otherwise false with *error set to the reader's open result; for a name that is
// neither ZIP nor RAR, false with *error left as it was.
bool CanOpenArchive(const QString& path, int* error);

// Lists the archive's entries (directory information only, no entry data) and returns the number of photo
// entries, or -1 when there is none or the archive does not open. After a successful open, mode is the
// Smart Extraction advice (1 extract into the archive's folder, 2 into a new folder named after it),
// the byte sums are those of the photo entries and folderCount is the number of distinct folder names
// inside the archive. After a failed open, mode is -1, the sums 0 and folderCount is left as it was.
// imagePatterns is the image pattern list ("*.jpg;*.jpeg;..." and the extra extensions).
int ExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int& mode,
                   quint64& photoBytes, quint64& packedBytes, int& folderCount);

// CanOpenArchive followed, when it succeeds, by ExamineArchive, with the results of those two calls;
// onOpened (may be empty) runs between them. A RAR archive is opened once for both (in the listing
// mode that includes split files, whose open result is that of the open test's mode), a ZIP archive
// twice. Returns false when the archive does not open, with *error set as CanOpenArchive sets it and
// the figures untouched; otherwise photos is ExamineArchive's result and the figures are its outputs.
bool OpenAndExamineArchive(const CXSettings& settings, const QString& path, const QString& imagePatterns, int* error,
                           const std::function<void()>& onOpened, int& photos, int& mode, quint64& photoBytes,
                           quint64& packedBytes, int& folderCount);
