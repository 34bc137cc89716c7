#include "unpack/takeoutparts.h"

#include "platform/files.h"
#include "scan/archivelist.h"
#include "settings/imagefilter.h"
#include "settings/settings.h"
#include "takeout/takeoutexport.h"
#include "unpack/destination.h"
#include "unpack/unpackcontext.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

const CXTakeoutPartData* TakeoutPartOf(CXUnpackContext& ctx, const CXArchiveFile& archive)
{
    if (!IsExportPart(SettingsOf(ctx), archive))
        return nullptr;
    const QString& key = archive.m_strExportKey;
    auto it = ctx.m_exports.find(key);
    if (it == ctx.m_exports.end()) {
        QStringList parts = ctx.m_exportParts.value(key);
        if (!parts.contains(archive.m_strPath))
            parts << archive.m_strPath;
        auto loaded = std::make_shared<CXTakeoutExport>();
        const QString extensions = ctx.m_strImageExtensions;
        loaded->Load(parts, [&extensions](const QString& name) { return MatchesExtensionList(name, extensions); });
        it = ctx.m_exports.insert(key, loaded);
    }
    return it.value()->IsExport() ? it.value()->Part(archive.m_strPath) : nullptr;
}

bool WriteTakeoutSidecar(CXUnpackContext& ctx, CXDestinationPlanner& planner, const QString& outputName,
                         const QByteArray& content, QString* path)
{
    const CXPlannedPath planned = planner.PlanOutputPath(outputName);
    if (!planned.IsSafe())
        return false;
    const QString& target = planned.m_strPath;
    if (path)
        *path = target;
    // Met again (a picture's sidecar, then the sidecar's own entry): one look that it is still there.
    const auto known = ctx.m_sidecarsWritten.constFind(target);
    if (known != ctx.m_sidecarsWritten.cend() && known.value() == content) {
        const QFileInfo info(target);
        return info.isFile() && !info.isSymLink() && info.size() == content.size();
    }
    if (!planner.CreateFolderFor(planned))
        return false;
    // A plain write, not a synced one: the sidecar is a copy of what the archive still holds, and a sync per
    // sidecar would cost more than the pictures' own writes. Before the archive goes, the flush that makes
    // its pictures durable covers its sidecars too.
    QFile file(target);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (file.write(content) == content.size() && file.flush()) {
            file.close();
            ctx.m_sidecarsWritten.insert(target, content);
            return true;
        }
        file.remove();
        return false;
    }
    // A sidecar the user kept, or one from an earlier run: left as it is when it says the same (a link
    // there is no copy beside the picture).
    QFile existing(target);
    if (QFileInfo(target).isSymLink() || !existing.open(QIODevice::ReadOnly) || existing.size() != content.size() ||
        existing.readAll() != content)
        return false;
    ctx.m_sidecarsWritten.insert(target, content);
    return true;
}

void DateTakeoutPicture(const CXTakeoutPartData* part, int index, const QString& path, CXArchiveFile& archive)
{
    if (!part)
        return;
    const auto time = part->m_times.constFind(index);
    if (time == part->m_times.cend()) {
        if (part->m_undated.contains(index))
            ++archive.m_nNoDate;
        return;
    }
    if (zelvano::platform::SetModificationTime(path, QDateTime::fromSecsSinceEpoch(time.value(), Qt::UTC)))
        ++archive.m_nDatesRestored;
    else
        ++archive.m_nNoDate;
}

void WriteSidecarOfPicture(CXUnpackContext& ctx, const CXTakeoutPartData* part, int index,
                           CXDestinationPlanner& planner)
{
    if (!part)
        return;
    const auto it = part->m_sidecarOf.constFind(index);
    if (it == part->m_sidecarOf.cend())
        return;
    QString name = it->first;
    name.replace(QLatin1String(". "), QLatin1String("."));
    // A failure here is not the picture's: the sidecar's own part accounts for it when it is unpacked.
    WriteTakeoutSidecar(ctx, planner, name, it->second);
}
