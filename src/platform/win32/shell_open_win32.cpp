#include <windows.h>

#include "platform/shell_open.h"
#include "platform/system.h"
#include "platform/win32/wide_path.h"

namespace nimbalo::platform {

// The running shell opens the file on behalf of the new explorer.exe process, so the program starts
// with the shell's (the user's normal) token even when we are elevated. explorer.exe comes from the
// Windows folder itself, never from the search path.
Status open_as_user(const std::string& executable) {
    wchar_t windir[MAX_PATH + 1] = {};
    const UINT n = GetWindowsDirectoryW(windir, MAX_PATH);
    if (n == 0 || n > MAX_PATH) return fail(io_error_text(int(GetLastError())));
    const std::wstring explorer = std::wstring(windir, n) + L"\\explorer.exe";
    std::wstring command = L"\"" + explorer + L"\" \"" + to_wide(executable) + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return fail(io_error_text(int(GetLastError())));
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return {};
}

}  // namespace nimbalo::platform
