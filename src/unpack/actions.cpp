#include "common/workerhost.h"
#include "platform/files.h"
#include "platform/trash.h"
#include "settings/settings.h"
#include "unpack/extract.h"
#include "unpack/unpackcontext.h"

#include <QFile>

namespace {

bool NothingAt(const QString& path)
{
    return !zelvano::platform::AnythingAt(path);
}

} // namespace

DeleteAnswer ConfirmArchiveDelete(CXUnpackContext& ctx, const QString& fileName, bool moreFollow)
{
    if (ctx.m_pSettings && !ctx.m_pSettings->m_bConfirmDelete)
        return DeleteAnswer::Yes;
    // Without anyone to ask, nothing is deleted.
    if (!ctx.m_pHost)
        return DeleteAnswer::No;
    return ctx.m_pHost->ConfirmArchiveDelete(fileName, moreFollow);
}

bool DeleteArchive(const QString& path, bool recycle)
{
    if (path.trimmed().isEmpty())
        return false;
    if (recycle)
        zelvano::platform::MoveToTrash(path.trimmed());
    else
        QFile::remove(path);
    return NothingAt(path);
}

bool DeleteArchives(const QStringList& paths, bool recycle)
{
    bool all = true;
    for (const QString& path : paths) {
        if (DeleteArchive(path, recycle))
            continue;
        all = false;
        // A permanent deletion stops at the first archive that stays; the later ones stay too.
        if (!recycle)
            return false;
    }
    return all;
}
