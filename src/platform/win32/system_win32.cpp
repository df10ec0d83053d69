// The system.h facilities on Windows: environment, clocks, process facts, error texts and
// whole-file I/O, all through the wide (UTF-16) Win32 calls.
#include <windows.h>

#include <process.h>

#include <atomic>
#include <climits>
#include <new>
#include <system_error>

#include "common/text.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

using win32::narrow;
using win32::OwnedHandle;
using win32::widen;

std::optional<std::string> get_env(const char* name) {
    const std::wstring wname = widen(name);
    std::wstring buf(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD n = GetEnvironmentVariableW(wname.c_str(), buf.data(), DWORD(buf.size()));
        if (n == 0) {
            // Zero is both "unset" and "set to an empty value"; only the error code tells them apart.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        if (n < buf.size()) {
            buf.resize(n);
            return narrow(buf);
        }
        buf.resize(n);  // n is the size needed, terminator included
    }
}

Status set_env(const char* name, const std::optional<std::string>& value) {
    // The system block is what children and GetEnvironmentVariableW see; the C runtime keeps a
    // copy of its own for getenv. The runtime cannot hold an empty value (it deletes the variable
    // and passes the deletion on to the system block), so it goes first and the system call last.
    const std::wstring wname = widen(name);
    const std::wstring wvalue = value ? widen(*value) : std::wstring();
    _wputenv_s(wname.c_str(), wvalue.c_str());
    if (!SetEnvironmentVariableW(wname.c_str(), value ? wvalue.c_str() : nullptr) && value)
        return fail(io_error_text(last_error_code()));
    return {};
}

std::string temp_dir() {
    wchar_t buf[MAX_PATH + 2];
    const DWORD n = GetTempPathW(MAX_PATH + 2, buf);
    if (n == 0 || n > MAX_PATH + 1) return ".";
    std::wstring dir(buf, n);
    while (dir.size() > 3 && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    return narrow(dir);
}

uint64_t tick_count_ms() { return GetTickCount64(); }

CivilTime local_time_now() {
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

uint32_t process_id() { return GetCurrentProcessId(); }

std::optional<std::string> executable_path() {
    // GetModuleFileNameW truncates silently; grow until the path fits (long paths reach 32767).
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), DWORD(buf.size()));
        if (n == 0) return std::nullopt;
        if (n < buf.size()) {
            buf.resize(n);
            return narrow(buf);
        }
        if (buf.size() >= 65536) return std::nullopt;
        buf.resize(buf.size() * 2);
    }
}

int last_error_code() { return int(GetLastError()); }

namespace {

std::string format_message(DWORD id) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, id,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string out;
    if (n != 0 && text != nullptr) out = narrow(std::wstring_view(text, n));
    if (text != nullptr) LocalFree(text);
    return std::string(trim_ascii_right(out));
}

}  // namespace

std::string system_error_text(int code) {
    return format_message(DWORD(HRESULT_FROM_WIN32(DWORD(code))));
}

std::string io_error_text(int code) {
    return system_error_text(code) + " (os error " + std::to_string(code) + ")";
}

std::filesystem::path to_path(std::string_view utf8) { return std::filesystem::path(widen(utf8)); }
std::string from_path(const std::filesystem::path& path) { return narrow(path.native()); }

Result<std::string> read_file(const std::string& path, uint64_t max_bytes) {
    OwnedHandle h(CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!h.valid()) return fail(io_error_text(last_error_code()));
    std::string out;
    char buf[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.get(), buf, sizeof buf, &n, nullptr)) return fail(io_error_text(last_error_code()));
        if (n == 0) break;
        if (out.size() + n > max_bytes)
            return fail("file is larger than " + std::to_string(max_bytes) + " bytes: " + path);
        out.append(buf, n);
    }
    return out;
}

namespace {

Status write_all(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD done = 0;
        const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : DWORD(bytes.size());
        if (!WriteFile(h, bytes.data(), chunk, &done, nullptr)) return fail(io_error_text(last_error_code()));
        if (done == 0) return fail("write returned no progress");
        bytes.remove_prefix(done);
    }
    return {};
}

}  // namespace

Status write_file_atomic(const std::string& path, std::string_view bytes) {
    const std::filesystem::path target = to_path(path);
    std::error_code ec;
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path(), ec);
    // A fresh name, created exclusively (CREATE_NEW) and opened as itself if it is a reparse point,
    // so nothing planted in the folder is followed or overwritten; a taken name moves on.
    static std::atomic<uint32_t> serial{0};
    std::wstring tmp;
    OwnedHandle h;
    for (int attempt = 0; attempt < 16 && !h.valid(); ++attempt) {
        tmp = target.native() + L".tmp." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(serial.fetch_add(1));
        h = OwnedHandle(CreateFileW(tmp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!h.valid() && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    if (!h.valid()) return fail(io_error_text(last_error_code()));
    {
        Status s = write_all(h.get(), bytes);
        if (s && !FlushFileBuffers(h.get())) s = fail(io_error_text(last_error_code()));
        if (!s) {
            h.reset();
            DeleteFileW(tmp.c_str());
            return s;
        }
        h.reset();  // closed before the rename
    }
    if (!MoveFileExW(tmp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const int e = last_error_code();
        DeleteFileW(tmp.c_str());
        return fail(io_error_text(e));
    }
    return {};
}

Status append_to_file_shared(const std::string& path, std::string_view bytes) {
    // FILE_APPEND_DATA alone makes every write land at the current end, even with other writers.
    OwnedHandle h(CreateFileW(widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return fail(io_error_text(last_error_code()));
    if (bytes.size() > MAXDWORD) return fail("append of " + std::to_string(bytes.size()) + " bytes is too large");
    DWORD done = 0;
    if (!WriteFile(h.get(), bytes.data(), DWORD(bytes.size()), &done, nullptr)) return fail(io_error_text(last_error_code()));
    if (done != bytes.size()) return fail("short append: " + std::to_string(done) + "/" + std::to_string(bytes.size()) + " bytes");
    return {};
}

void set_current_thread_name(const char* name) {
    // SetThreadDescription exists from Windows 10 1607 on: looked up, not linked.
    using Fn = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto fn = reinterpret_cast<Fn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (fn) fn(GetCurrentThread(), widen(name).c_str());
}

std::string system_directory() {
    wchar_t buf[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(buf, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return {};
    return narrow(std::wstring_view(buf, n));
}

bool start_detached_thread(void (*fn)(void*), void* arg, size_t stack_bytes) {
    struct Start {
        void (*fn)(void*);
        void* arg;
    };
    auto* start = new (std::nothrow) Start{fn, arg};
    if (!start || stack_bytes > UINT_MAX) {
        delete start;
        return false;
    }
    // The size reserves address space only; pages are committed as the stack grows.
    const uintptr_t h = _beginthreadex(
        nullptr, unsigned(stack_bytes),
        [](void* p) -> unsigned {
            const Start s = *static_cast<Start*>(p);
            delete static_cast<Start*>(p);
            s.fn(s.arg);
            return 0;
        },
        start, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (h == 0) {
        delete start;
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(h));
    return true;
}

}  // namespace nimbalo::platform
