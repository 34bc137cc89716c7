#include "archive/rar.h"

#include "archive/pathrules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <locale.h>
#define _UNIX // NOLINT(bugprone-reserved-identifier): the UnRAR header's own platform switch
#endif
#include <unrar/dll.hpp>
// The header defines these as macros on Unix; keep them from leaking into later code.
#undef HANDLE
#undef LONG
#undef UINT
#undef LPARAM
#undef CALLBACK
#undef PASCAL

static_assert(RarSuccess == ERAR_SUCCESS && RarEndArchive == ERAR_END_ARCHIVE && RarNoMemory == ERAR_NO_MEMORY &&
              RarBadData == ERAR_BAD_DATA && RarBadArchive == ERAR_BAD_ARCHIVE &&
              RarUnknownFormat == ERAR_UNKNOWN_FORMAT && RarOpenError == ERAR_EOPEN && RarCreateError == ERAR_ECREATE &&
              RarCloseError == ERAR_ECLOSE && RarReadError == ERAR_EREAD && RarWriteError == ERAR_EWRITE &&
              RarSmallBuffer == ERAR_SMALL_BUF && RarUnknown == ERAR_UNKNOWN &&
              RarMissingPassword == ERAR_MISSING_PASSWORD && RarReference == ERAR_EREFERENCE &&
              RarBadPassword == ERAR_BAD_PASSWORD);
static_assert(unsigned(RarOpenMode::List) == RAR_OM_LIST && unsigned(RarOpenMode::Extract) == RAR_OM_EXTRACT &&
              unsigned(RarOpenMode::ListSplit) == RAR_OM_LIST_INCSPLIT);

namespace {

#if defined(Q_OS_UNIX)
// The library turns wide paths into bytes with the thread's C locale. Qt names files in UTF-8 whatever
// the locale, so under the "C" locale a destination such as "Ålbum/a.jpg" could not be created.
// Every call into the library therefore runs with a UTF-8 character locale on this thread only.
class Utf8CtypeScope
{
public:
    Utf8CtypeScope()
    {
        static const locale_t utf8 = [] {
            locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
            return l ? l : newlocale(LC_CTYPE_MASK, "en_US.UTF-8", locale_t(nullptr));
        }();
        if (utf8)
            m_previous = uselocale(utf8);
    }
    ~Utf8CtypeScope()
    {
        if (m_previous)
            uselocale(m_previous);
    }
    Utf8CtypeScope(const Utf8CtypeScope&) = delete;
    Utf8CtypeScope& operator=(const Utf8CtypeScope&) = delete;

private:
    locale_t m_previous = nullptr;
};
#else
struct Utf8CtypeScope
{};
#endif

constexpr quint32 kWinHidden = 0x02;
constexpr quint32 kUnixTypeMask = 0170000;
constexpr quint32 kUnixSymlink = 0120000;

QString FromWide(const wchar_t* text, size_t capacity)
{
    size_t length = 0;
    while (length < capacity && text[length] != 0)
        ++length;
    return QString::fromWCharArray(text, qsizetype(length));
}

std::vector<wchar_t> ToWide(const QString& text)
{
    std::vector<wchar_t> wide(size_t(text.size()) * 2 + 1, 0);
    const qsizetype n = text.toWCharArray(wide.data());
    wide.resize(size_t(n) + 1);
    wide[size_t(n)] = 0;
    return wide;
}

QDateTime FromFileTime(quint32 low, quint32 high)
{
    const quint64 ticks = (quint64(high) << 32) | low; // 100 ns since 1601-01-01 UTC
    if (ticks == 0)
        return {};
    constexpr qint64 kEpochDeltaMs = 11644473600000LL;
    return QDateTime::fromMSecsSinceEpoch(qint64(ticks / 10000) - kEpochDeltaMs, Qt::UTC);
}

void FillEntry(const RARHeaderDataEx& h, const wchar_t* redirName, size_t redirCapacity, RarEntry& e)
{
    e.name = FromWide(h.FileNameW, sizeof(h.FileNameW) / sizeof(h.FileNameW[0]));
    e.attributes = h.FileAttr;
    e.hostOs = h.HostOS;
    e.flags = h.Flags;
    e.packedSize = (quint64(h.PackSizeHigh) << 32) | h.PackSize;
    e.unpackedSize = (quint64(h.UnpSizeHigh) << 32) | h.UnpSize;
    e.crc = h.FileCRC;
    e.dosTime = h.FileTime;
    e.modified = FromFileTime(h.MtimeLow, h.MtimeHigh);
    e.redirType = h.RedirType;
    e.redirTarget = e.redirType != RarRedirNone ? FromWide(redirName, redirCapacity) : QString();

    const bool windowsBits = RarHostUsesWindowsAttributes(h.HostOS);
    e.isDirectory = (h.Flags & RHDF_DIRECTORY) != 0;
    e.isHidden = windowsBits && (h.FileAttr & kWinHidden) != 0;
    e.isLink = h.RedirType != RarRedirNone || (h.HostOS == RarHostUnix && (h.FileAttr & kUnixTypeMask) == kUnixSymlink);
    e.isEncrypted = (h.Flags & RHDF_ENCRYPTED) != 0;
    e.isSolid = (h.Flags & RHDF_SOLID) != 0;
    e.splitBefore = (h.Flags & RHDF_SPLITBEFORE) != 0;
    e.splitAfter = (h.Flags & RHDF_SPLITAFTER) != 0;
}

// Pictures need no special bits, and one the user cannot read would fail validation.
void NormalisePermissions(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink())
        return;
    // setPermissions takes only the rwx bits, so set-id and sticky bits are dropped on the way.
    QFile::setPermissions(path, info.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

} // namespace

bool RarHostUsesWindowsAttributes(quint32 hostOs)
{
    return hostOs == RarHostMsDos || hostOs == RarHostOs2 || hostOs == RarHostWin32;
}

// The header block is large (about 13 KB): kept off the worker's stack, and made once per archive
// rather than once per header.
struct RarArchive::HeaderBuffers
{
    RARHeaderDataEx header;
    std::array<wchar_t, 1024> redirName;
};

namespace {

// The callback's parameter types as the library's header spells them on this system.
template <typename>
struct CallbackTypes;
template <typename R, typename M, typename P>
struct CallbackTypes<R (*)(M, P, P, P)>
{
    using Message = M;
    using Param = P;
};
using RarMessage = CallbackTypes<UNRARCALLBACK>::Message;
using RarParam = CallbackTypes<UNRARCALLBACK>::Param;

} // namespace

struct RarCallbackAccess
{
    // The library hands back the pointer it was given as an integer.
    static int Answer(RarMessage msg, RarParam userData, RarParam p1, RarParam p2)
    {
        auto* archive = reinterpret_cast<RarArchive*>(userData); // NOLINT(performance-no-int-to-ptr)
        switch (msg) {
        case UCM_PROCESSDATA:
            if (archive->m_onData)
                (*archive->m_onData)();
            return 1;
        case UCM_CHANGEVOLUMEW: {
            // The library asks with the wide name first; the byte form that follows says the same.
            const auto* wide = reinterpret_cast<const wchar_t*>(p1); // NOLINT(performance-no-int-to-ptr)
            const QString name = wide ? QString::fromWCharArray(wide) : QString();
            if (p2 == RAR_VOL_NOTIFY) {
                archive->m_nextVolumes.append(QDir::fromNativeSeparators(name));
                return 1;
            }
            archive->m_missingVolume = QDir::fromNativeSeparators(name);
            return -1;
        }
        case UCM_CHANGEVOLUME:
            return p2 == RAR_VOL_NOTIFY ? 1 : -1;
        case UCM_NEEDPASSWORDW: {
            // p1 is a buffer of p2 wide characters. No password: the question is refused.
            if (archive->m_password.isEmpty() || p2 <= 1)
                return -1;
            auto* buffer = reinterpret_cast<wchar_t*>(p1); // NOLINT(performance-no-int-to-ptr)
            const auto capacity = size_t(p2);
            std::vector<wchar_t> wide = ToWide(archive->m_password);
            const size_t length = qMin(wide.size() - 1, capacity - 1);
            std::copy_n(wide.begin(), length, buffer);
            buffer[length] = 0;
            std::fill(wide.begin(), wide.end(), wchar_t(0));
            return 1;
        }
        default:
            return -1;
        }
    }
};

namespace {

int VolumeCallback(RarMessage msg, RarParam userData, RarParam p1, RarParam p2)
{
    return RarCallbackAccess::Answer(msg, userData, p1, p2);
}

} // namespace

RarArchive::RarArchive() = default;

RarArchive::~RarArchive()
{
    Close();
}

int RarArchive::Open(const QString& path, RarOpenMode mode)
{
    Close();
    m_comment.fill(0);
    // The byte form of the name: the library maps bytes it cannot decode and back again, so any
    // file name Qt can name opens, whatever the locale.
    QByteArray name = QFile::encodeName(path);
    RAROpenArchiveDataEx data;
    std::memset(&data, 0, sizeof(data));
    data.ArcName = name.data();
    data.OpenMode = unsigned(mode);
    data.CmtBuf = m_comment.data();
    data.CmtBufSize = unsigned(m_comment.size());
    // The callback answers no question: a missing password or volume is refused. It notes which
    // volumes the library opened on its own and which one it did not find.
    data.Callback = VolumeCallback;
    data.UserData = reinterpret_cast<RarParam>(this);
    m_path = path;

    Utf8CtypeScope locale;
    m_handle = RAROpenArchiveEx(&data);
    if (!m_handle)
        return data.OpenResult != 0 ? int(data.OpenResult) : RarUnknown;
    m_archiveFlags = data.Flags;
    // With encrypted headers nothing can be read without a password: this archive cannot be opened, as a
    // missing password (a library that opens it anyway would only say so at the first header).
    if ((m_archiveFlags & ROADF_ENCHEADERS) && m_password.isEmpty()) {
        Close();
        return RarMissingPassword;
    }
    return RarSuccess;
}

bool RarArchive::IsVolume() const
{
    return (m_archiveFlags & ROADF_VOLUME) != 0;
}

bool RarArchive::IsFirstVolume() const
{
    return IsVolume() && (m_archiveFlags & ROADF_FIRSTVOLUME) != 0;
}

void RarArchive::SetPassword(const QString& password)
{
    m_password = password;
}

void RarArchive::SetEmptyPassword()
{
    if (!m_handle)
        return;
    char empty[1] = {0};
    Utf8CtypeScope locale;
    RARSetPassword(m_handle, empty);
}

int RarArchive::ReadHeader(RarEntry& entry)
{
    m_currentIsLink = false;
    m_currentIsEncrypted = false;
    if (!m_handle)
        return RarNotOpen;
    // The library fills every field it reports on each read; the rest (the reserved area included) must
    // be zero, which it stays after this one clearing.
    if (!m_headerBuffers) {
        m_headerBuffers = std::make_unique<HeaderBuffers>();
        std::memset(&m_headerBuffers->header, 0, sizeof(RARHeaderDataEx));
    }
    RARHeaderDataEx* header = &m_headerBuffers->header;
    wchar_t* redirName = m_headerBuffers->redirName.data();
    const size_t redirCapacity = m_headerBuffers->redirName.size();
    redirName[0] = 0; // the library writes a terminated target only for a link entry
    header->RedirName = redirName;
    header->RedirNameSize = unsigned(redirCapacity);

    Utf8CtypeScope locale;
    const int r = RARReadHeaderEx(m_handle, header);
    if (r != RarSuccess)
        return r;
    entry = RarEntry();
    FillEntry(*header, redirName, redirCapacity, entry);
    m_currentIsLink = entry.isLink;
    m_currentIsEncrypted = entry.isEncrypted;
    return RarSuccess;
}

int RarArchive::Skip()
{
    if (!m_handle)
        return RarNotOpen;
    Utf8CtypeScope locale;
    return RARProcessFileW(m_handle, RAR_SKIP, nullptr, nullptr);
}

int RarArchive::ExtractTo(const QString& destPath, const std::function<void()>& onData)
{
    if (!m_handle)
        return RarNotOpen;
    // The library creates links it is asked to extract (a symbolic link to any target, written at the
    // destination), and reports success for some it silently drops: a link entry is only ever skipped.
    if (m_currentIsLink) {
        const int r = Skip();
        return r == RarSuccess ? int(RarRefusedLink) : r;
    }
    // Without a password, the library asked to extract an encrypted entry fails without moving past its
    // data, and the next header read then parses encrypted bytes (a damaged archive, or a wrong end): the
    // entry is passed over instead, which keeps the rest readable.
    if (m_currentIsEncrypted && m_password.isEmpty()) {
        const int r = Skip();
        return r == RarSuccess ? int(RarMissingPassword) : r;
    }
    if (!zelvano::pathrules::IsSafeOutputPath(destPath) || QFileInfo(destPath).isSymLink()) {
        const int r = Skip();
        return r == RarSuccess ? int(RarRefusedDestination) : r;
    }
    std::vector<wchar_t> wide = ToWide(QDir::toNativeSeparators(destPath));
    const bool existed = QFileInfo::exists(destPath);
    int r;
    {
        Utf8CtypeScope locale;
        m_onData = onData ? &onData : nullptr;
        r = RARProcessFileW(m_handle, RAR_EXTRACT, nullptr, wide.data());
        m_onData = nullptr;
    }
    if (QFileInfo(destPath).isSymLink()) {
        // Never expected once link entries are refused; a link left here would lead anywhere.
        QFile::remove(destPath);
        return RarRefusedLink;
    }
    if (r == RarSuccess)
        NormalisePermissions(destPath);
    else if (m_currentIsEncrypted && RarIsPasswordFailure(r) && !existed)
        QFile::remove(destPath); // nothing of a wrong password's output is kept
    return r;
}

int RarArchive::TestCurrent()
{
    if (!m_handle)
        return RarNotOpen;
    Utf8CtypeScope locale;
    return RARProcessFileW(m_handle, RAR_TEST, nullptr, nullptr);
}

void RarArchive::Close()
{
    if (m_handle) {
        Utf8CtypeScope locale;
        RARCloseArchive(m_handle);
    }
    m_handle = nullptr;
    m_archiveFlags = 0;
    m_nextVolumes.clear();
    m_missingVolume.clear();
    m_onData = nullptr;
    m_currentIsLink = false;
    m_currentIsEncrypted = false;
}

int RarTestOpen(const QString& path, const QString& password)
{
    RarArchive archive;
    archive.SetPassword(password);
    return archive.Open(path, RarOpenMode::List);
}

bool RarIsPasswordFailure(int code)
{
    return code == RarBadPassword || code == RarMissingPassword || code == RarBadData;
}

namespace {

// Opens path in mode and tells the caller whether it opened; returns the open result.
int OpenTelling(RarArchive& archive, const QString& path, RarOpenMode mode, bool* opened)
{
    const int openResult = archive.Open(path, mode);
    if (opened)
        *opened = openResult == RarSuccess;
    return openResult;
}

} // namespace

int RarListArchive(const QString& path, const std::function<bool(const RarEntry&)>& onEntry, bool* opened,
                   const QString& password)
{
    RarArchive archive;
    archive.SetPassword(password);
    const int openResult = OpenTelling(archive, path, RarOpenMode::ListSplit, opened);
    if (openResult != RarSuccess)
        return openResult;
    return RarListEntries(archive, onEntry);
}

namespace {

constexpr int kStopWalk = -1;

// Reads header after header with the empty password; visit passes over or extracts each entry and
// returns 0 to go on, kStopWalk to stop, or a code to end with. Returns 0 at the end or when stopped.
int WalkHeaders(RarArchive& archive, const std::function<int(const RarEntry&)>& visit)
{
    archive.SetEmptyPassword();
    RarEntry entry;
    for (;;) {
        const int r = archive.ReadHeader(entry);
        if (r == RarEndArchive)
            return RarSuccess;
        if (r != RarSuccess)
            return r;
        const int v = visit(entry);
        if (v == kStopWalk)
            return RarSuccess;
        if (v != RarSuccess)
            return v;
    }
}

} // namespace

int RarTestPassword(const QString& path, const QString& password)
{
    if (password.isEmpty())
        return RarMissingPassword;
    RarArchive archive;
    archive.SetPassword(password);
    const int opened = archive.Open(path, RarOpenMode::Extract);
    if (opened != RarSuccess)
        return opened == RarMissingPassword ? int(RarBadPassword) : opened;
    // Headers that decrypted prove the password; else the first encrypted file's data must test whole.
    if (archive.ArchiveFlags() & ROADF_ENCHEADERS)
        return RarSuccess;
    int tested = RarSuccess;
    const int walked = WalkHeaders(archive, [&](const RarEntry& entry) {
        if (!entry.isEncrypted || entry.isDirectory || entry.isLink || entry.splitBefore) {
            archive.Skip();
            return int(RarSuccess);
        }
        const int t = archive.TestCurrent();
        tested = RarIsPasswordFailure(t) ? int(RarBadPassword) : t;
        return kStopWalk;
    });
    return walked != RarSuccess ? walked : tested;
}

int RarListEntries(RarArchive& archive, const std::function<bool(const RarEntry&)>& onEntry)
{
    if (!archive.IsOpen())
        return RarNotOpen;
    return WalkHeaders(archive, [&](const RarEntry& entry) {
        if (onEntry && !onEntry(entry))
            return kStopWalk;
        return archive.Skip();
    });
}

int RarExtractArchive(const QString& path, const std::function<RarExtractStep(const RarEntry&)>& decide,
                      const std::function<void(const RarEntry&, const QString&, int)>& done, bool* opened,
                      const QString& password)
{
    RarArchive archive;
    archive.SetPassword(password);
    const int openResult = OpenTelling(archive, path, RarOpenMode::Extract, opened);
    if (openResult != RarSuccess)
        return openResult;
    return WalkHeaders(archive, [&](const RarEntry& entry) {
        const RarExtractStep step = decide ? decide(entry) : RarExtractStep();
        if (step.action == RarExtractStep::Stop)
            return kStopWalk;
        if (step.action == RarExtractStep::Extract) {
            const int x = archive.ExtractTo(step.destination);
            if (done)
                done(entry, step.destination, x);
        } else {
            // A failed skip leaves the library between headers; the next read reports what is wrong.
            archive.Skip();
        }
        return int(RarSuccess);
    });
}

int RarLibraryVersion()
{
    return RARGetDllVersion();
}
