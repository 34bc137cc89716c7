#include "scan/scanrunner.h"

#include "scan/archivelist.h"
#include "settings/settings.h"

using namespace std::chrono_literals;

void ScanThreadProc(const ScanParams& params)
{
    params.m_pOwner->StartScan(params.m_szFolder, *params.m_pRun);
}

CXScanRunner::CXScanRunner(CXArchiveList& model) : m_model(model) {}

CXScanRunner::~CXScanRunner()
{
    CloseHost();
    m_thread.Join();
    if (m_options) {
        m_model.m_pHost = m_pWindowHost;
        m_model.m_pSettings = m_pWindowSettings;
    }
}

void CXScanRunner::CloseHost()
{
    m_gate.Close();
    StopScanThread();
}

bool CXScanRunner::StartScanThread(const QString& folder)
{
    StopScanThread();
    if (m_thread.IsActive())
        return false;
    m_thread.Join();
    // The worker reads the model's host and settings: put the gate and a copy of the options there.
    // (The window may have given the model a new host or record since the last scan.)
    if (m_model.m_pHost != &m_gate)
        m_pWindowHost = m_model.m_pHost;
    if (!m_options || m_model.m_pSettings != m_options.get())
        m_pWindowSettings = m_model.m_pSettings;
    m_options = std::make_unique<CXSettings>(m_pWindowSettings ? *m_pWindowSettings : CXSettings());
    m_gate.SetHost(m_pWindowHost);
    m_gate.Open();
    m_model.m_pHost = m_pWindowHost ? &m_gate : nullptr;
    m_model.m_pSettings = m_options.get();
    ScanParams params;
    params.m_pRun = &m_run;
    params.m_pOwner = &m_model;
    params.m_szFolder = folder;
    m_run.Start();
    m_thread.Start([params] { ScanThreadProc(params); });
    return true;
}

void CXScanRunner::StopScanThread()
{
    if (m_bScanThreadStopping.exchange(true))
        return;
    m_run.Stop();
    if (m_thread.IsActive())
        m_thread.WaitFor(1000ms);
    m_bScanThreadStopping.store(false);
}
