#include "takeout/takeoutexport.h"

#include "archive/zip.h"
#include "takeout/sidecarjson.h"

void CXTakeoutExport::Load(const QStringList& partPaths, const TakeoutPictureTest& isPicture)
{
    m_bExport = false;
    m_parts.clear();
    CXTakeoutPlan plan;
    QList<QList<ZipEntry>> entries;
    for (const QString& path : partPaths) {
        QList<ZipEntry> listed;
        QStringList names;
        const ZipHandlePtr zip(ZipOpen(path));
        if (zip) {
            ZipListEntries(zip.get(), [&](const ZipEntry& entry, int32_t) {
                listed << entry;
                names << (entry.IsDirectory() && !entry.m_szName.endsWith(QLatin1Char('/'))
                              ? entry.m_szName + QLatin1Char('/')
                              : entry.m_szName);
                return true;
            });
        }
        entries << listed;
        plan.AddPart(names);
        m_parts.insert(path, CXTakeoutPartData{});
    }
    plan.Build(isPicture);
    if (!plan.IsExport())
        return;
    m_bExport = true;

    // Every sidecar is read once, part by part.
    QHash<quint64, QByteArray> content;
    for (int p = 0; p < partPaths.size(); ++p) {
        const ZipHandlePtr zip(ZipOpen(partPaths.at(p)));
        if (!zip)
            continue;
        CXTakeoutPartData& data = m_parts[partPaths.at(p)];
        const QList<ZipEntry>& listed = entries.at(p);
        for (int i = 0; i < listed.size(); ++i) {
            if (!plan.IsSidecar({p, i}))
                continue;
            // One that is too large, encrypted or does not read stays empty: its pictures keep their times.
            QByteArray bytes;
            if (ZipReadEntry(zip.get(), i, bytes, kMaxSidecarBytes) != ZIPRES_OK || bytes.isEmpty())
                continue;
            data.m_sidecars.insert(i, bytes);
            content.insert((quint64(quint32(p)) << 32) | quint32(i), bytes);
        }
    }
    for (int p = 0; p < partPaths.size(); ++p) {
        CXTakeoutPartData& data = m_parts[partPaths.at(p)];
        for (int i = 0; i < entries.at(p).size(); ++i) {
            if (!plan.IsPlannedPicture({p, i}))
                continue;
            const CXTakeoutEntryRef sidecar = plan.SidecarOf({p, i});
            const QByteArray bytes =
                sidecar.IsValid() ? content.value((quint64(quint32(sidecar.m_nPart)) << 32) | quint32(sidecar.m_nIndex))
                                  : QByteArray();
            if (!bytes.isEmpty())
                data.m_sidecarOf.insert(i, {plan.EntryPath(sidecar), bytes});
            const auto time = ReadSidecarTime(bytes);
            if (time)
                data.m_times.insert(i, *time);
            else
                data.m_undated.insert(i);
        }
    }
}

const CXTakeoutPartData* CXTakeoutExport::Part(const QString& path) const
{
    const auto it = m_parts.constFind(path);
    return it == m_parts.cend() ? nullptr : &it.value();
}
