// The operating system behind one narrow interface: environment, clocks, process facts,
// whole-file I/O and child processes. One implementation per platform lives in
// platform/posix and platform/win32; nothing outside src/platform includes an OS header.
// All text is UTF-8; conversion to the OS encoding happens inside the implementations.
// Thread-safe unless noted.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace nimbalo::platform {

// Environment variable as UTF-8; nullopt when unset (an empty value is returned as "").
std::optional<std::string> get_env(const char* name);

// Set (value) or remove (nullopt) an environment variable of this process; children inherit it.
// Not safe while another thread reads the environment.
Status set_env(const char* name, const std::optional<std::string>& value);

// The user's temporary folder (Windows: GetTempPathW; POSIX: $TMPDIR, else /tmp), no trailing separator.
std::string temp_dir();

// Milliseconds since the machine started (GetTickCount64 / CLOCK_BOOTTIME).
uint64_t tick_count_ms();

struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
CivilTime local_time_now();

uint32_t process_id();

// Full path of the running executable, or nullopt.
std::optional<std::string> executable_path();

// Last OS error code of the calling thread (GetLastError / errno).
int last_error_code();

// The system's message for an OS error code, trailing white space removed ("" when none).
// On Windows the code is passed through HRESULT_FROM_WIN32 and FormatMessageW.
std::string system_error_text(int code);
inline std::string last_system_error_text() { return system_error_text(last_error_code()); }

// "{message} (os error {code})": the I/O error text of file and process operations.
std::string io_error_text(int code);

// UTF-8 text to a filesystem path and back, without the locale getting involved.
std::filesystem::path to_path(std::string_view utf8);
std::string from_path(const std::filesystem::path& path);

// Whole-file helpers. read_file fails when the file is larger than max_bytes.
Result<std::string> read_file(const std::string& path, uint64_t max_bytes = UINT64_MAX);

// Write bytes to a temporary file beside path, flush it to stable storage, then rename it over path,
// so readers see either the old or the new file, never a torn one. Creates missing parent folders.
Status write_file_atomic(const std::string& path, std::string_view bytes);

// Append bytes to path (created if missing) in one write, opened only for this call and shared for
// reading, writing and deleting, so several writers and a viewer can hold the file at once and each
// call's bytes stay together.
Status append_to_file_shared(const std::string& path, std::string_view bytes);

// Run a program with arguments, wait for it to end. With capture, its standard output followed by its
// standard error is returned; without, the child inherits the standard handles. Fails only when the
// program cannot be started.
struct ProcessResult {
    int exit_code = -1;
    std::string output;
};
Result<ProcessResult> run_process(const std::string& program, const std::vector<std::string>& args, bool capture);

// Runs fn(arg) on a new detached thread whose stack is stack_bytes (rounded up as the system
// needs): for the many short-lived threads of a server, where the default (8 MiB on Linux) makes
// each thread's start cost more than its work. False when no thread could be made; fn is then
// not called and arg is still the caller's.
bool start_detached_thread(void (*fn)(void*), void* arg, size_t stack_bytes);

// Names the calling thread for debuggers and process viewers (at most 15 bytes count on Linux).
void set_current_thread_name(const char* name);

// Folder of the system's own tools (Windows: GetSystemDirectoryW); empty on POSIX.
std::string system_directory();

}  // namespace nimbalo::platform

namespace nimbalo::platform {

// The machine's Program Files folder (Windows: SHGetKnownFolderPath(FOLDERID_ProgramFiles), never the
// user-controlled environment; falls back to "C:\Program Files"). POSIX: "/opt".
std::string program_files_folder();

// Where per-user data goes when LOCALAPPDATA is not set: Windows the temporary folder; POSIX
// $XDG_DATA_HOME, else ~/.local/share.
std::string fallback_data_home();

// File name of the installed executable: "nimbalo.exe" on Windows, "nimbalo" on POSIX.
const char* executable_file_name();

// Join two path pieces with the platform's separator.
std::string join_path(std::string_view dir, std::string_view name);

}  // namespace nimbalo::platform
