#include "archive/sevenz.h"

#include "archive/pathrules.h"
#include "platform/files.h"

#include <QBuffer>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <array>
#include <limits>
#include <vector>

namespace {

constexpr qsizetype kReadBlock = qsizetype(64) * 1024;
constexpr qsizetype kDataChunk = qsizetype(256) * 1024;

archive* Handle(void* p)
{
    return static_cast<archive*>(p);
}

QString EntryName(archive_entry* entry)
{
    if (const char* utf8 = archive_entry_pathname_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const wchar_t* wide = archive_entry_pathname_w(entry))
        return QString::fromWCharArray(wide);
    if (const char* local = archive_entry_pathname(entry))
        return QString::fromLocal8Bit(local);
    return {};
}

QString LinkTarget(archive_entry* entry)
{
    if (const char* utf8 = archive_entry_symlink_utf8(entry))
        return QString::fromUtf8(utf8);
    if (const char* utf8 = archive_entry_hardlink_utf8(entry))
        return QString::fromUtf8(utf8);
    return {};
}

} // namespace

// The input as the library reads it: through a device, so files and memory take one path and no file
// name ever passes through the library's own character conversion.
struct SevenZArchive::Reader
{
    std::unique_ptr<QIODevice> device;
    std::array<char, kReadBlock> block{};

    static la_ssize_t Read(archive*, void* data, const void** buffer)
    {
        auto* self = static_cast<Reader*>(data);
        *buffer = self->block.data();
        const qint64 got = self->device->read(self->block.data(), qint64(self->block.size()));
        return got < 0 ? la_ssize_t(ARCHIVE_FATAL) : la_ssize_t(got);
    }

    static la_int64_t Seek(archive*, void* data, la_int64_t offset, int whence)
    {
        auto* self = static_cast<Reader*>(data);
        qint64 base = 0;
        if (whence == SEEK_CUR)
            base = self->device->pos();
        else if (whence == SEEK_END)
            base = self->device->size();
        if ((offset > 0 && base > std::numeric_limits<qint64>::max() - offset) || base + offset < 0)
            return ARCHIVE_FATAL;
        const qint64 target = base + offset;
        if (!self->device->seek(target))
            return ARCHIVE_FATAL;
        return target;
    }

    static la_int64_t Skip(archive* a, void* data, la_int64_t request)
    {
        auto* self = static_cast<Reader*>(data);
        const qint64 room = qMax<qint64>(self->device->size() - self->device->pos(), 0);
        const qint64 step = qMin<qint64>(qMax<la_int64_t>(request, 0), room);
        return Seek(a, data, step, SEEK_CUR) < 0 ? 0 : step;
    }
};

SevenZArchive::SevenZArchive() = default;

SevenZArchive::~SevenZArchive()
{
    Close();
}

int SevenZArchive::Open(const QString& path)
{
    Close();
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::ReadOnly)) {
        m_strError = file->errorString();
        return SevenZOpenError;
    }
    return Start(std::move(file));
}

int SevenZArchive::OpenMemory(const QByteArray& data)
{
    Close();
    auto buffer = std::make_unique<QBuffer>();
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    return Start(std::move(buffer));
}

int SevenZArchive::Start(std::unique_ptr<QIODevice> device)
{
    archive* a = archive_read_new();
    if (!a)
        return SevenZOpenError;
    m_pArchive = a;
    m_pReader = std::make_unique<Reader>();
    m_pReader->device = std::move(device);
    archive_read_support_format_7zip(a);
    archive_read_set_read_callback(a, &Reader::Read);
    archive_read_set_seek_callback(a, &Reader::Seek);
    archive_read_set_skip_callback(a, &Reader::Skip);
    archive_read_set_callback_data(a, m_pReader.get());
    if (archive_read_open1(a) != ARCHIVE_OK) {
        m_strError = QString::fromUtf8(archive_error_string(a));
        Close();
        return SevenZOpenError;
    }
    // The format is only recognised with the first header: reading it here makes a file that is no 7z
    // archive fail to open, as it does with the other readers.
    SevenZEntry first;
    const int result = Next(first);
    if (result != SevenZOk && result != SevenZEnd) {
        Close();
        return result;
    }
    m_bPending = true;
    m_nPendingResult = result;
    return SevenZOk;
}

int SevenZArchive::HeaderResult(int status)
{
    archive* a = Handle(m_pArchive);
    m_strError = QString::fromUtf8(archive_error_string(a));
    if (status == ARCHIVE_EOF)
        return SevenZEnd;
    // Encrypted headers cannot be read without a password; the library says so only in its text.
    if (m_strError.contains(QLatin1String("encrypted"), Qt::CaseInsensitive))
        return SevenZEncrypted;
    // Before the first header the format is not known yet: the bytes are no 7z archive at all.
    return status == ARCHIVE_FATAL && archive_format(a) == 0 ? SevenZOpenError : SevenZBadArchive;
}

int SevenZArchive::Next(SevenZEntry& entry)
{
    if (!m_pArchive)
        return SevenZNotOpen;
    if (m_bPending) {
        m_bPending = false;
        entry = m_current;
        return m_nPendingResult;
    }
    m_bHasCurrent = false;
    m_current = SevenZEntry();
    archive_entry* header = nullptr;
    const int status = archive_read_next_header(Handle(m_pArchive), &header);
    if (status != ARCHIVE_OK && status != ARCHIVE_WARN)
        return HeaderResult(status);
    m_current.name = EntryName(header);
    m_current.size = archive_entry_size_is_set(header) ? quint64(qMax<la_int64_t>(archive_entry_size(header), 0)) : 0;
    if (archive_entry_mtime_is_set(header)) {
        const qint64 ms = qint64(archive_entry_mtime(header)) * 1000 + archive_entry_mtime_nsec(header) / 1000000;
        m_current.modified = QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
    }
    const auto type = archive_entry_filetype(header);
    m_current.isDirectory = type == AE_IFDIR;
    // The library ends a folder's name with a separator; the other readers' folder names end without one.
    while (m_current.isDirectory && m_current.name.endsWith(QLatin1Char('/')))
        m_current.name.chop(1);
    m_current.linkTarget = LinkTarget(header);
    m_current.isLink =
        type == AE_IFLNK || archive_entry_symlink(header) != nullptr || archive_entry_hardlink(header) != nullptr;
    m_current.isEncrypted = archive_entry_is_encrypted(header) != 0;
    m_bHasCurrent = true;
    entry = m_current;
    return SevenZOk;
}

int SevenZArchive::CurrentRefusal() const
{
    if (!m_pArchive)
        return SevenZNotOpen;
    if (!m_bHasCurrent)
        return SevenZNoEntry;
    if (m_current.isLink)
        return SevenZRefusedLink;
    if (m_current.isDirectory)
        return SevenZFolder;
    if (m_current.isEncrypted)
        return SevenZEncrypted;
    return SevenZOk;
}

int SevenZArchive::ReadData(QIODevice& out, const SevenZChunkHook& hook)
{
    if (const int refused = CurrentRefusal())
        return refused;
    // Whatever happens next, the entry's data cannot be read a second time.
    m_bHasCurrent = false;
    archive* a = Handle(m_pArchive);
    std::vector<char> chunk(kDataChunk);
    const quint64 declared = m_current.size;
    quint64 done = 0;
    for (;;) {
        const la_ssize_t got = archive_read_data(a, chunk.data(), chunk.size());
        if (got == 0)
            break;
        if (got < 0) {
            m_strError = QString::fromUtf8(archive_error_string(a));
            return m_strError.contains(QLatin1String("encrypted")) ? SevenZEncrypted : SevenZBadData;
        }
        // Never more than the entry says it holds.
        if (quint64(got) > declared - done)
            return SevenZBadData;
        if (out.write(chunk.data(), got) != got)
            return SevenZWriteError;
        done += quint64(got);
        if (hook && !hook(qint64(done)))
            return SevenZStopped;
    }
    return done == declared ? SevenZOk : SevenZBadData;
}

int SevenZArchive::ExtractTo(const QString& path, const SevenZChunkHook& hook)
{
    if (const int refused = CurrentRefusal())
        return refused;
    if (!zelvano::pathrules::IsSafeOutputPath(path))
        return SevenZRefusedDestination;
    QFile output;
    bool link = false;
    if (!zelvano::platform::OpenForWriting(output, path, &link))
        return link ? SevenZRefusedDestination : SevenZCreateError;
    const QDateTime modified = m_current.modified;
    int result = ReadData(output, hook);
    if (result == SevenZOk && !output.flush())
        result = SevenZWriteError;
    if (result == SevenZOk)
        zelvano::platform::SetFileTimes(output, QDateTime(), QDateTime(), modified);
    output.close();
    if (result != SevenZOk)
        QFile::remove(path);
    return result;
}

void SevenZArchive::Close()
{
    if (m_pArchive)
        archive_read_free(Handle(m_pArchive));
    m_pArchive = nullptr;
    m_pReader.reset();
    m_bHasCurrent = false;
    m_bPending = false;
    m_current = SevenZEntry();
}

int SevenZListArchive(const QString& path, const std::function<bool(const SevenZEntry&)>& onEntry, bool* opened)
{
    SevenZArchive archive;
    const int result = archive.Open(path);
    if (opened)
        *opened = result == SevenZOk;
    if (result != SevenZOk)
        return result;
    for (;;) {
        SevenZEntry entry;
        const int next = archive.Next(entry);
        if (next == SevenZEnd)
            return SevenZOk;
        if (next != SevenZOk)
            return next;
        if (!onEntry(entry))
            return SevenZOk;
    }
}

const char* SevenZResultName(int result)
{
    switch (result) {
    case SevenZOk:
        return "SevenZOk";
    case SevenZEnd:
        return "SevenZEnd";
    case SevenZOpenError:
        return "SevenZOpenError";
    case SevenZBadArchive:
        return "SevenZBadArchive";
    case SevenZBadData:
        return "SevenZBadData";
    case SevenZEncrypted:
        return "SevenZEncrypted";
    case SevenZRefusedLink:
        return "SevenZRefusedLink";
    case SevenZRefusedDestination:
        return "SevenZRefusedDestination";
    case SevenZCreateError:
        return "SevenZCreateError";
    case SevenZWriteError:
        return "SevenZWriteError";
    case SevenZStopped:
        return "SevenZStopped";
    case SevenZNotOpen:
        return "SevenZNotOpen";
    case SevenZNoEntry:
        return "SevenZNoEntry";
    case SevenZFolder:
        return "SevenZFolder";
    default:
        return "SevenZUnknown";
    }
}

QString SevenZFailureReason(int result)
{
    const auto failed = [](const char* cause) {
        return QStringLiteral("Extraction failed (%1)").arg(QLatin1String(cause));
    };
    switch (result) {
    case SevenZOpenError:
        return failed("the archive could not be opened");
    case SevenZBadArchive:
        return failed("the archive is damaged");
    case SevenZBadData:
        return failed("data error");
    case SevenZEncrypted:
        return QStringLiteral("Encrypted: no password");
    case SevenZRefusedLink:
        return QStringLiteral("The entry is a link; links are not extracted");
    case SevenZRefusedDestination:
        return failed("destination refused");
    case SevenZCreateError:
        return failed("the file could not be created");
    case SevenZWriteError:
        return failed("write error");
    case SevenZStopped:
        return failed("stopped");
    default:
        return QStringLiteral("Extraction failed (%1, code %2)")
            .arg(QLatin1String(SevenZResultName(result)))
            .arg(result);
    }
}

QString SevenZLibraryVersion()
{
    return QString::fromLatin1(archive_version_string()).section(QLatin1Char(' '), 1, 1);
}
