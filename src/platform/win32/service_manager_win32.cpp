// Service Control Manager calls: the existence and state queries, registration and removal.
#include <windows.h>
#include <shellapi.h>

#include "platform/service_manager.h"
#include "platform/system.h"
#include "platform/unique_handle.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

// One service-manager handle.
struct ScHandleTraits {
    using Value = SC_HANDLE;
    static Value none() { return nullptr; }
    static bool valid(Value h) { return h != nullptr; }
    static void close(Value h) { CloseServiceHandle(h); }
};
using ScHandle = UniqueHandle<ScHandleTraits>;

}  // namespace

bool service_exists(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ScHandle service(OpenServiceW(manager.get(), win32::widen(name).c_str(), SERVICE_QUERY_STATUS));
    return bool(service);
}

bool service_running(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ScHandle service(OpenServiceW(manager.get(), win32::widen(name).c_str(), SERVICE_QUERY_STATUS));
    if (!service) return false;
    SERVICE_STATUS st{};
    return QueryServiceStatus(service.get(), &st) && st.dwCurrentState == SERVICE_RUNNING;
}

bool service_running_or_starting(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ScHandle service(OpenServiceW(manager.get(), win32::widen(name).c_str(), SERVICE_QUERY_STATUS));
    if (!service) return false;
    SERVICE_STATUS st{};
    return QueryServiceStatus(service.get(), &st) &&
           (st.dwCurrentState == SERVICE_RUNNING || st.dwCurrentState == SERVICE_START_PENDING);
}

Result<uint32_t> service_process_id(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return fail("OpenSCManagerW failed: " + last_system_error_text());
    ScHandle service(OpenServiceW(manager.get(), win32::widen(name).c_str(), SERVICE_QUERY_STATUS));
    if (!service) return fail("the " + name + " service is not installed (" + last_system_error_text() + ")");
    SERVICE_STATUS_PROCESS st{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&st), sizeof st, &needed))
        return fail("QueryServiceStatusEx failed: " + last_system_error_text());
    if (st.dwProcessId == 0) return fail("the " + name + " service is not running");
    return uint32_t(st.dwProcessId);
}

Status create_service(const std::string& name, const std::string& command_line) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return fail("OpenSCManagerW failed: " + last_system_error_text());
    const std::wstring wname = win32::widen(name);
    ScHandle created(CreateServiceW(manager.get(), wname.c_str(), wname.c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                    win32::widen(command_line).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (created) return {};
    const int create_error = last_error_code();
    ScHandle opened(OpenServiceW(manager.get(), wname.c_str(), SERVICE_ALL_ACCESS));
    if (opened) return {};
    return fail("CreateServiceW failed: " + system_error_text(create_error));
}

Status delete_service(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return fail("OpenSCManagerW failed: " + last_system_error_text());
    ScHandle service(OpenServiceW(manager.get(), win32::widen(name).c_str(), SERVICE_ALL_ACCESS));
    if (service) (void)DeleteService(service.get());
    return {};
}

bool start_elevated(const std::string& exe, const std::string& params) {
    const HINSTANCE r = ShellExecuteW(nullptr, L"runas", win32::widen(exe).c_str(), win32::widen(params).c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

bool running_elevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const win32::OwnedHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD len = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &len) &&
           elevation.TokenIsElevated != 0;
}

}  // namespace nimbalo::platform
