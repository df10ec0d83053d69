// run_process on Windows: CreateProcessW with a command line that the child's runtime splits back
// into exactly our arguments, standard output and error captured through one pipe when asked.
// Only the handles meant for the child are inherited (an explicit handle list), so a concurrent
// run_process on another thread never leaks its pipe into this child and stalls our read.
#include <windows.h>

#include <vector>

#include "common/command_line.h"
#include "platform/system.h"
#include "platform/win32/win32_util.h"

namespace nimbalo::platform {

using win32::OwnedHandle;
using win32::widen;

namespace {

// The attribute list that names the inherited handles; owns its buffer.
class InheritList {
public:
    Status init(std::vector<HANDLE> handles) {
        handles_ = std::move(handles);
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        buf_.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buf_.data());
        if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return fail(io_error_text(last_error_code()));
        ready_ = true;
        if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                       handles_.size() * sizeof(HANDLE), nullptr, nullptr))
            return fail(io_error_text(last_error_code()));
        return {};
    }
    LPPROC_THREAD_ATTRIBUTE_LIST get() { return reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buf_.data()); }
    ~InheritList() {
        if (ready_) DeleteProcThreadAttributeList(get());
    }

private:
    std::vector<HANDLE> handles_;  // must outlive the list
    std::vector<unsigned char> buf_;
    bool ready_ = false;
};

OwnedHandle inheritable_copy(HANDLE h) {
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return {};
    HANDLE dup = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &dup, 0, TRUE, DUPLICATE_SAME_ACCESS)) return {};
    return OwnedHandle(dup);
}

}  // namespace

Result<ProcessResult> run_process(const std::string& program, const std::vector<std::string>& args, bool capture) {
    auto line = quote_windows_command_line(program, args);
    if (!line) return std::move(line).take_error();
    std::wstring wline = widen(*line);  // CreateProcessW may write into the buffer

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    OwnedHandle pipe_read, child_in, child_out, child_err;
    if (capture) {
        HANDLE r = nullptr, w = nullptr;
        if (!CreatePipe(&r, &w, &inherit, 0)) return fail(io_error_text(last_error_code()));
        pipe_read.reset(r);
        child_out.reset(w);
        SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0);
        child_err = inheritable_copy(w);
        child_in.reset(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr));
    } else {
        child_in = inheritable_copy(GetStdHandle(STD_INPUT_HANDLE));
        child_out = inheritable_copy(GetStdHandle(STD_OUTPUT_HANDLE));
        child_err = inheritable_copy(GetStdHandle(STD_ERROR_HANDLE));
    }

    std::vector<HANDLE> handles;
    for (const OwnedHandle* h : {&child_in, &child_out, &child_err})
        if (h->valid()) handles.push_back(h->get());

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    InheritList list;
    DWORD flags = 0;
    if (!handles.empty()) {
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = child_in.valid() ? child_in.get() : nullptr;
        si.StartupInfo.hStdOutput = child_out.valid() ? child_out.get() : nullptr;
        si.StartupInfo.hStdError = child_err.valid() ? child_err.get() : nullptr;
        if (Status s = list.init(handles); !s) return std::move(s).take_error();
        si.lpAttributeList = list.get();
        flags |= EXTENDED_STARTUPINFO_PRESENT;
    }
    // A console tool started from our GUI process would otherwise flash a console window.
    if (capture || GetConsoleWindow() == nullptr) flags |= CREATE_NO_WINDOW;

    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, wline.data(), nullptr, nullptr, handles.empty() ? FALSE : TRUE, flags, nullptr,
                        nullptr, &si.StartupInfo, &pi))
        return fail(io_error_text(last_error_code()));
    OwnedHandle process(pi.hProcess);
    OwnedHandle thread(pi.hThread);
    // Our copies of the child's ends must go, or the pipe never reports its end.
    child_in.reset();
    child_out.reset();
    child_err.reset();

    ProcessResult result;
    if (capture) {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(pipe_read.get(), buf, sizeof buf, &n, nullptr) && n > 0) result.output.append(buf, n);
    }
    WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 0;
    result.exit_code = GetExitCodeProcess(process.get(), &code) ? int(code) : -1;
    return result;
}

}  // namespace nimbalo::platform
