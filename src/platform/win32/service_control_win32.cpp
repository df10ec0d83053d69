// Service Control Manager calls: the existence and state queries, registration and removal.
#include <windows.h>
#include <shellapi.h>

#include "common/text.h"
#include "platform/service_control.h"
#include "platform/service_manager.h"
#include "platform/system.h"

namespace nimbalo::platform {

namespace {

std::wstring wide(std::string_view utf8) {
    const std::u16string u = utf8_to_utf16(utf8);
    return std::wstring(u.begin(), u.end());
}

// Sole owner of one service-manager handle.
class ScHandle {
public:
    explicit ScHandle(SC_HANDLE h) : h_(h) {}
    ScHandle(const ScHandle&) = delete;  // closed exactly once
    ScHandle& operator=(const ScHandle&) = delete;
    ~ScHandle() {
        if (h_) CloseServiceHandle(h_);
    }
    SC_HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

private:
    SC_HANDLE h_;
};

}  // namespace

bool service_exists(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ScHandle service(OpenServiceW(manager.get(), wide(name).c_str(), SERVICE_QUERY_STATUS));
    return bool(service);
}

bool service_running(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    ScHandle service(OpenServiceW(manager.get(), wide(name).c_str(), SERVICE_QUERY_STATUS));
    if (!service) return false;
    SERVICE_STATUS st{};
    return QueryServiceStatus(service.get(), &st) && st.dwCurrentState == SERVICE_RUNNING;
}

Status create_service(const std::string& name, const std::string& command_line) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return fail("OpenSCManagerW failed: " + last_system_error_text());
    const std::wstring wname = wide(name);
    ScHandle created(CreateServiceW(manager.get(), wname.c_str(), wname.c_str(), SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                    wide(command_line).c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (created) return {};
    const int create_error = last_error_code();
    ScHandle opened(OpenServiceW(manager.get(), wname.c_str(), SERVICE_ALL_ACCESS));
    if (opened) return {};
    return fail("CreateServiceW failed: " + system_error_text(create_error));
}

Status delete_service(const std::string& name) {
    ScHandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!manager) return fail("OpenSCManagerW failed: " + last_system_error_text());
    ScHandle service(OpenServiceW(manager.get(), wide(name).c_str(), SERVICE_ALL_ACCESS));
    if (service) (void)DeleteService(service.get());
    return {};
}

bool start_elevated(const std::string& exe, const std::string& params) {
    const HINSTANCE r = ShellExecuteW(nullptr, L"runas", wide(exe).c_str(), wide(params).c_str(), nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

bool running_elevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD len = 0;
    const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &len);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated != 0;
}

Status copy_file_replacing(const std::string& from, const std::string& to) {
    if (!CopyFileExW(wide(from).c_str(), wide(to).c_str(), nullptr, nullptr, nullptr, 0)) return fail(io_error_text(last_error_code()));
    return {};
}

}  // namespace nimbalo::platform
