#pragma once

#include <functional>
#include <memory>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <vector>

class CXArchiveFile;
class CXArchiveTally;
class CXCheckPool;
class CXPasswordStore;
class CXPrefetch;
class CXSettings;
class CXTakeoutExport;
struct CXTakeoutPartData;
class CXWorkerHost;
class CXRunControl;

// A file this run put in place: what it holds, and which entry it came from.
struct CXWrittenFile
{
    quint64 m_nSize = 0;
    quint32 m_nCrc = 0;
    QString m_strSource; // "archive name: entry name", for the reason of a later clash
};

// What every step of one unpack run reads: the options, the window (host) it reports to, the run
// flag with its pause gate, and the picture-extension list built when the run started.
struct CXUnpackContext
{
    const CXSettings* m_pSettings = nullptr;
    CXWorkerHost* m_pHost = nullptr;
    CXRunControl* m_pRun = nullptr;
    QString m_strImageExtensions; // extension form, e.g. ".jpg;.jpeg;.bmp;"
    QString m_strSourceFolder;    // the scanned folder (for the disk-space check)
    // The level-3 picture check; empty means the program's own (LoadsAsPicture). It runs on the run's
    // threads, possibly on several at once.
    std::function<bool(const QString&)> m_pictureCheck;

    // Every file this run put in place, by path: nothing this run wrote is overwritten by this run.
    QHash<QString, CXWrittenFile> m_written;
    // Folders whose leftover temporary files were already looked at in this run.
    QSet<QString> m_cleanedFolders;
    // The threads of the level-3 picture tests, started by the first test of the run.
    std::shared_ptr<CXCheckPool> m_pChecks;
    // The tallies alive, in the order their archives started: an entry still waiting for its test in an
    // earlier archive is settled before a later entry takes the same path.
    std::vector<CXArchiveTally*> m_openTallies;
    // Set by a run that applies an archive's outcome later: the extraction then hands its tally over
    // (in m_pHandedOver) instead of waiting for the last picture tests, and calls m_betweenEntries before
    // each entry, where the run applies earlier archives whose tests are done; false from it ends the
    // extraction as if stopped.
    bool m_bHandOver = false;
    std::shared_ptr<CXArchiveTally> m_pHandedOver;
    std::function<bool()> m_betweenEntries;
    // The pictures of the archive being extracted, extracted ahead on another core; null when none.
    CXPrefetch* m_pPrefetch = nullptr;
    // The run's passwords; null when the run has none and asks for none (encrypted entries then fail).
    CXPasswordStore* m_pPasswords = nullptr;
    // Google Takeout exports met by this run, by key: the paths of all their listed parts (set at the
    // start), and what was read of them (loaded when the first part is reached).
    QHash<QString, QStringList> m_exportParts;
    QHash<QString, std::shared_ptr<CXTakeoutExport>> m_exports;
    // The sidecars this run wrote or found in place, by path, with their content: a sidecar is met twice
    // (beside its picture, then as its own entry) and need not be read back the second time.
    QHash<QString, QByteArray> m_sidecarsWritten;

    // Forgets what an earlier run wrote.
    void ResetRun()
    {
        m_written.clear();
        m_cleanedFolders.clear();
        m_pHandedOver.reset();
        m_exportParts.clear();
        m_exports.clear();
        m_sidecarsWritten.clear();
    }
};

// The export data of an archive that is a part of a Google Takeout export with a photos folder; null for
// any other archive, or when the options turn the detection off.
const CXTakeoutPartData* TakeoutPartOf(CXUnpackContext& ctx, const CXArchiveFile& archive);

// The options of the run; a context without settings reads the defaults.
const CXSettings& SettingsOf(const CXUnpackContext& ctx);

// Passes the run's pause gate before an archive. False when there is no run or it was stopped: the
// entry line is cleared and the archive must not count as unpacked (nothing of it was written).
bool EnterArchive(CXUnpackContext& ctx);
