// The service host on the Windows Service Control Manager.
// The control handler runs on the dispatcher's thread (the process's main thread); the main routine
// on the thread the dispatcher starts; start reports may come from a helper thread. All of them meet
// in the process-wide slots below. SetServiceStatus failures are ignored (without a status handle
// the service runs unreported).
#include <windows.h>

#include <mutex>

#include "platform/service_host.h"
#include "platform/win32/win32_util.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

std::atomic<SERVICE_STATUS_HANDLE> g_status{nullptr};
std::atomic<bool> g_stop{false};
std::mutex g_report_lock;  // one SetServiceStatus at a time, states in order
bool g_stopping = false;   // guarded by g_report_lock: no start or running report after a stop
const ServiceMain* g_main = nullptr;
std::wstring g_name;

constexpr DWORD kStopWaitHintMs = 3000;

void report(DWORD state, DWORD accepted, DWORD checkpoint, DWORD wait_hint, uint32_t exit_code = 0) {
    const SERVICE_STATUS_HANDLE h = g_status.load();
    if (!h) return;
    SERVICE_STATUS st{};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = accepted;
    st.dwWin32ExitCode = exit_code ? ERROR_SERVICE_SPECIFIC_ERROR : NO_ERROR;
    st.dwServiceSpecificExitCode = exit_code;
    st.dwCheckPoint = checkpoint;
    st.dwWaitHint = wait_hint;
    SetServiceStatus(h, &st);
}

class ScmContext final : public ServiceContext {
public:
    void report_starting(uint32_t checkpoint, uint32_t wait_hint_ms) override {
        std::lock_guard lock(g_report_lock);
        if (!g_stopping) report(SERVICE_START_PENDING, 0, checkpoint, wait_hint_ms);
    }
    void report_running() override {
        std::lock_guard lock(g_report_lock);
        if (!g_stopping) report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0);
    }
    const std::atomic<bool>& stop_flag() const override { return g_stop; }
};

// Only stop is acted on. Reporting stopped here would let the system end the process while the
// main routine still works (a save in progress); it is reported when the routine has returned.
void WINAPI control_handler(DWORD code) {
    if (code != SERVICE_CONTROL_STOP) return;
    g_stop.store(true);
    std::lock_guard lock(g_report_lock);
    g_stopping = true;
    report(SERVICE_STOP_PENDING, 0, 1, kStopWaitHintMs);
}

void WINAPI service_main_w(DWORD, LPWSTR*) {
    g_status.store(RegisterServiceCtrlHandlerW(g_name.c_str(), control_handler));
    {
        std::lock_guard lock(g_report_lock);
        report(SERVICE_START_PENDING, 0, 0, 0);
    }
    ScmContext ctx;
    const ServiceExit out = (*g_main)(ctx);
    std::lock_guard lock(g_report_lock);
    g_stopping = true;
    report(SERVICE_STOPPED, 0, 0, 0, out.code);
}

}  // namespace

Status run_service_host(const std::string& name, ServiceMain main) {
    g_name = win32::widen(name);
    g_main = &main;
    SERVICE_TABLE_ENTRYW table[] = {
        {g_name.data(), service_main_w},
        {nullptr, nullptr},
    };
    if (!StartServiceCtrlDispatcherW(table)) return fail(last_system_error_text());
    return {};
}

}  // namespace nimbalo::platform
