#include "platform/desktop/taskbarprogress.h"

#include <QWidget>

#include <shobjidl.h>
#include <windows.h>

namespace {

class CXTaskbarListProgress : public CXTaskbarBackend
{
public:
    CXTaskbarListProgress(HWND window, ITaskbarList3* list) : m_window(window), m_list(list) {}
    ~CXTaskbarListProgress() override { m_list->Release(); }
    CXTaskbarListProgress(const CXTaskbarListProgress&) = delete;
    CXTaskbarListProgress& operator=(const CXTaskbarListProgress&) = delete;

    void SetState(int state) override
    {
        static const TBPFLAG kFlags[] = {TBPF_NOPROGRESS, TBPF_INDETERMINATE, TBPF_NORMAL};
        if (state >= 0 && state <= 2)
            m_list->SetProgressState(m_window, kFlags[state]);
    }

    void SetValue(quint64 done, quint64 total) override { m_list->SetProgressValue(m_window, done, total); }

private:
    HWND m_window;
    ITaskbarList3* m_list;
};

} // namespace

std::unique_ptr<CXTaskbarBackend> CreateTaskbarBackend(QWidget* window)
{
    if (!window)
        return nullptr;
    // COM is already initialised on the user-interface thread by Qt. Older systems have no ITaskbarList3:
    // then there is simply no taskbar progress.
    ITaskbarList3* list = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&list))) || !list)
        return nullptr;
    if (FAILED(list->HrInit())) {
        list->Release();
        return nullptr;
    }
    return std::make_unique<CXTaskbarListProgress>(reinterpret_cast<HWND>(window->winId()), list);
}
