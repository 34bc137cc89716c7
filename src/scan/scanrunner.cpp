#include "scan/scanrunner.h"

#include "scan/archivelist.h"

using namespace std::chrono_literals;

void ScanThreadProc(const ScanParams& params)
{
    params.m_pOwner->StartScan(params.m_szFolder, *params.m_pRun);
}

CXScanRunner::CXScanRunner(CXArchiveList& model) : m_model(model) {}

CXScanRunner::~CXScanRunner()
{
    StopScanThread();
    m_thread.Join();
}

bool CXScanRunner::StartScanThread(const QString& folder)
{
    StopScanThread();
    if (m_thread.IsActive())
        return false;
    m_thread.Join();
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
