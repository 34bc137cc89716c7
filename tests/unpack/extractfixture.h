#pragma once

// What the extraction tests share: a host that records what the worker tells it, real pictures made by
// QImage, and one unpack context wired to both.

#include "common/runcontrol.h"
#include "common/workerhost.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "unpack/imagecheck.h"
#include "unpack/tempfiles.h"
#include "unpack/unpackcontext.h"
#include "unpack/unpackrun.h"

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QList>
#include <QStringList>

#include <atomic>
#include <functional>
#include <mutex>

namespace zelvano::test {

// Records status texts and answers the delete question from a list of answers; counts the picture
// tests of the fixture's context (from any thread). Hooks let a test act at a chosen moment.
class RecordingHost : public CXWorkerHost
{
public:
    void StatusText(int line, const QString& text) override
    {
        {
            std::lock_guard lock(m_mutex);
            if (line == 1)
                m_texts.append(text);
        }
        if (line == 1 && m_onStatus)
            m_onStatus(text);
    }
    DeleteAnswer ConfirmArchiveDelete(const QString& fileName, bool moreFollow) override
    {
        std::lock_guard lock(m_mutex);
        m_questions.append(fileName + (moreFollow ? QStringLiteral(" +") : QString()));
        return m_answers.isEmpty() ? DeleteAnswer::No : m_answers.takeFirst();
    }
    void ShowDiskSpaceMessage(const QString&) override {}
    void EntryProgress(qint64 done, qint64 total) override
    {
        if (m_onProgress)
            m_onProgress(done, total);
    }

    QStringList Texts() const
    {
        std::lock_guard lock(m_mutex);
        return m_texts;
    }

    std::function<void(const QString&)> m_onStatus;
    std::function<void(qint64, qint64)> m_onProgress;
    QList<DeleteAnswer> m_answers;
    QStringList m_questions;
    std::atomic<int> m_nValidations{0};

private:
    mutable std::mutex m_mutex;
    QStringList m_texts;
};

// A picture with some detail, so its JPEG has real entropy-coded data.
inline QImage TestPicture(int width = 96, int height = 64)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) ^ y, (y * 5) ^ x, (x * y) & 0xFF));
    return image;
}

inline QByteArray Encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

inline QByteArray Jpeg(int width = 96, int height = 64)
{
    return Encode(TestPicture(width, height), "JPEG");
}
inline QByteArray Png(int width = 96, int height = 64)
{
    return Encode(TestPicture(width, height), "PNG");
}
// The first half of a JPEG: the decoder fills the rest with grey and calls it a success.
inline QByteArray TruncatedJpeg()
{
    const QByteArray full = Jpeg();
    return full.left(full.size() / 2);
}
// A PNG whose image data chunk is damaged in the middle.
inline QByteArray DamagedPng()
{
    QByteArray bytes = Png();
    const qsizetype idat = bytes.indexOf("IDAT");
    bytes[idat + 40] = char(bytes[idat + 40] ^ 0x55);
    return bytes;
}

// The temporary files of the run left in folder.
inline QStringList TempFilesIn(const QString& folder)
{
    QStringList found;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        if (IsTempName(name))
            found << name;
    }
    return found;
}

// Every file and folder below root, relative, sorted.
inline QStringList TreeOf(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        out.append(QDir(root).relativeFilePath(it.next()));
    out.sort();
    return out;
}

// Scans root into list with the settings given and returns a selection of every archive found.
inline QList<CXSelItem> ScanAndSelectAll(CXArchiveList& list, const QString& root, const CXSettings& settings)
{
    list.m_pSettings = &settings;
    list.SetImagePatterns(BuildImagePatternList(settings));
    CXRunControl scanRun;
    scanRun.Start();
    list.StartScan(root, scanRun);
    QList<CXSelItem> selection;
    for (int i = 0; i < list.m_arrArchives.size(); ++i) {
        CXSelItem sel;
        sel.m_nArchive = i;
        sel.m_nRow = i;
        selection << sel;
    }
    return selection;
}

// Options, run control, host and context of one extraction, with the run armed.
struct UnpackFixture
{
    UnpackFixture()
    {
        m_ctx.m_pSettings = &m_settings;
        m_ctx.m_pHost = &m_host;
        m_ctx.m_pRun = &m_run;
        m_ctx.m_pictureCheck = [this](const QString& path) {
            ++m_host.m_nValidations;
            return LoadsAsPicture(path);
        };
        m_ctx.m_strImageExtensions = QStringLiteral(".jpg;.jpeg;.bmp;.png;.gif;.tif;.tiff;");
        m_settings.m_nExtractTo = 1;
        m_settings.m_bRenameFolder = 0;
        m_run.Start();
    }

    CXArchiveFile Archive(const QString& path, int folderCount = 0, int smartMode = 1) const
    {
        CXArchiveFile archive;
        archive.InitFromPath(path);
        archive.m_nFolderCount = folderCount;
        archive.m_nSmartMode = smartMode;
        return archive;
    }

    CXSettings m_settings;
    CXRunControl m_run;
    RecordingHost m_host;
    CXUnpackContext m_ctx;
};

} // namespace zelvano::test
