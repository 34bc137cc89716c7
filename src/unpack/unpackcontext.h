#pragma once

#include <QString>

class CXSettings;
class CXWorkerHost;
class CXRunControl;

// What every step of one unpack run reads: the options, the window (host) it reports to, the run
// flag with its pause gate, and the picture-extension list built when the run started.
struct CXUnpackContext
{
    const CXSettings* m_pSettings = nullptr;
    CXWorkerHost* m_pHost = nullptr;
    CXRunControl* m_pRun = nullptr;
    QString m_strImageExtensions; // extension form, e.g. ".jpg;.jpeg;.bmp;"
    QString m_strSourceFolder;    // the scanned folder (for the disk-space check)
};

// The options of the run; a context without settings reads the defaults.
const CXSettings& SettingsOf(const CXUnpackContext& ctx);

// Passes the run's pause gate before an archive. False when there is no run or it was stopped: the
// entry line is cleared and the archive must not count as unpacked (nothing of it was written).
bool EnterArchive(CXUnpackContext& ctx);
