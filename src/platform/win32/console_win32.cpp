// Process entry facts on Windows: the command line, the parent's console, the standard handles
// and the launcher's single-instance mutex.
#include <windows.h>

#include <atomic>

#include "common/command_line.h"
#include "platform/console.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

using win32::narrow;

std::vector<std::string> process_arguments(int, char**) {
    // argv of a mingw program went through the ANSI code page; the UTF-16 line is the truth.
    const wchar_t* line = GetCommandLineW();
    const std::u16string_view view(reinterpret_cast<const char16_t*>(line), line ? wcslen(line) : 0);
    const std::vector<std::u16string> parts = split_windows_command_line(view);
    std::vector<std::string> args;
    for (size_t i = 1; i < parts.size(); ++i)
        args.push_back(narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(parts[i].data()), parts[i].size())));
    return args;
}

void attach_parent_console() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) return;  // redirected or inherited: keep it
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    const HANDLE con = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (con == nullptr || con == INVALID_HANDLE_VALUE) return;
    // Installed as the process's standard handles for the rest of its life; never closed.
    SetStdHandle(STD_OUTPUT_HANDLE, con);
    SetStdHandle(STD_ERROR_HANDLE, con);
}

namespace {

void write_all(DWORD which, std::string_view text) {
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE || text.empty()) return;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        // A console takes bytes in its own code page; UTF-16 shows every name as it is.
        std::wstring w = win32::widen(text);
        const wchar_t* p = w.data();
        size_t left = w.size();
        while (left > 0) {
            DWORD done = 0;
            DWORD chunk = left > 16384 ? 16384 : DWORD(left);
            if (chunk < left && p[chunk - 1] >= 0xD800 && p[chunk - 1] <= 0xDBFF) --chunk;  // keep pairs whole
            if (!WriteConsoleW(h, p, chunk, &done, nullptr) || done == 0) return;
            p += done;
            left -= done;
        }
        return;
    }
    while (!text.empty()) {
        DWORD done = 0;
        const DWORD chunk = text.size() > (1u << 30) ? (1u << 30) : DWORD(text.size());
        if (!WriteFile(h, text.data(), chunk, &done, nullptr) || done == 0) return;
        text.remove_prefix(done);
    }
}

// The launcher's mutex: held for the life of the process and released by the system at exit.
std::atomic<HANDLE> g_single_instance{nullptr};

}  // namespace

void write_stdout(std::string_view text) { write_all(STD_OUTPUT_HANDLE, text); }
void write_stderr(std::string_view text) { write_all(STD_ERROR_HANDLE, text); }

InstanceCheck claim_single_instance() {
    // Per session: in the Global namespace a second signed-in user (fast user switching, remote
    // desktop) would find the first user's launcher, broadcast into a session where nothing
    // listens, and never get a launcher of their own.
    const HANDLE m = CreateMutexW(nullptr, TRUE, L"Local\\Nimbalo.SingleInstance");
    if (m == nullptr) return InstanceCheck::Unprotected;
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(m);
        static const UINT show = RegisterWindowMessageW(L"Nimbalo.Show");
        if (show != 0) PostMessageW(HWND_BROADCAST, show, 0, 0);
        return InstanceCheck::AlreadyRunning;
    }
    g_single_instance = m;
    return InstanceCheck::First;
}

void release_single_instance() {
    if (const HANDLE m = g_single_instance.exchange(nullptr)) {
        ReleaseMutex(m);
        CloseHandle(m);
    }
}

}  // namespace nimbalo::platform
