#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform/file_io.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

namespace {

Error last_io_error() { return fail(io_error_text(int(GetLastError()))); }
HANDLE native(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool is_folder(const std::wstring& path) {
    const DWORD a = GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

DWORD make_folder(const std::wstring& path) {
    if (CreateDirectoryW(path.c_str(), nullptr) || is_folder(path)) return ERROR_SUCCESS;
    DWORD e = GetLastError();
    if (e != ERROR_PATH_NOT_FOUND) return e;
    const size_t sep = path.find_last_of(L"\\/");
    if (sep == std::wstring::npos || sep == 0) return e;
    if (const DWORD pe = make_folder(path.substr(0, sep)); pe != ERROR_SUCCESS) return pe;
    if (CreateDirectoryW(path.c_str(), nullptr) || is_folder(path)) return ERROR_SUCCESS;
    return GetLastError();
}

}  // namespace

void FileHandleTraits::close(intptr_t v) { CloseHandle(native(v)); }

Result<File> File::open_read(const std::string& path) {
    const HANDLE h = CreateFileW(win32::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_io_error();
    return File(reinterpret_cast<intptr_t>(h));
}

Result<File> File::create(const std::string& path) {
    const HANDLE h = CreateFileW(win32::widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return last_io_error();
    return File(reinterpret_cast<intptr_t>(h));
}

Result<size_t> File::read(std::span<char> buf) {
    size_t got = 0;
    while (got < buf.size()) {
        DWORD n = 0;
        const DWORD want = DWORD(std::min<size_t>(buf.size() - got, 1u << 30));
        if (!ReadFile(native(handle()), buf.data() + got, want, &n, nullptr)) return last_io_error();
        if (n == 0) break;
        got += n;
    }
    return got;
}

Status File::write_all(std::span<const char> bytes) {
    while (!bytes.empty()) {
        DWORD n = 0;
        const DWORD want = DWORD(std::min<size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(native(handle()), bytes.data(), want, &n, nullptr)) return last_io_error();
        bytes = bytes.subspan(n);
    }
    return {};
}

bool path_exists(const std::string& path) {
    return GetFileAttributesW(win32::widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

Status create_folders(const std::string& path) {
    if (const DWORD e = make_folder(win32::widen(path)); e != ERROR_SUCCESS) return fail(io_error_text(int(e)));
    return {};
}

Status copy_file_over(const std::string& from, const std::string& to) {
    if (!CopyFileExW(win32::widen(from).c_str(), win32::widen(to).c_str(), nullptr, nullptr, nullptr, 0)) return last_io_error();
    return {};
}

Status rename_file(const std::string& from, const std::string& to) {
    if (!MoveFileExW(win32::widen(from).c_str(), win32::widen(to).c_str(), 0)) return last_io_error();
    return {};
}

Status remove_file(const std::string& path) {
    if (DeleteFileW(win32::widen(path).c_str())) return {};
    const DWORD e = GetLastError();
    if (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND) return {};
    return fail(io_error_text(int(e)));
}

}  // namespace nimbalo::platform
