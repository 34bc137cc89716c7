#include "scan/archivelist.h"

#include "common/runcontrol.h"

// Placeholder until the folder walk lands.
bool CXArchiveList::StartScan(const QString& folder, CXRunControl& run)
{
    ResetForScan();
    ScanFolder(folder, run);
    return !m_arrArchives.isEmpty();
}

bool CXArchiveList::ScanFolder(const QString& folder, CXRunControl& run)
{
    (void)folder;
    return run.Check();
}
