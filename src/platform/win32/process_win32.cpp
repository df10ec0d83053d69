// run_process and ChildProcess on Windows: CreateProcessW with a command line that the child's
// runtime splits back into exactly our arguments, its standard handles connected to pipes.
// Only the handles meant for the child are inherited (an explicit handle list), so a concurrent
// run_process on another thread never leaks its pipe into this child and stalls our read.
#include <windows.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "common/command_line.h"
#include "platform/child_process.h"
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

struct ChildProcess::Impl {
    OwnedHandle process;
    OwnedHandle input, output;  // our ends: the child's standard input (write) and output (read)
};

ChildProcess::ChildProcess(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ChildProcess::ChildProcess(ChildProcess&&) noexcept = default;
ChildProcess& ChildProcess::operator=(ChildProcess&&) noexcept = default;
ChildProcess::~ChildProcess() = default;

Result<ChildProcess> ChildProcess::start(const std::string& program, const std::vector<std::string>& args) {
    auto line = quote_windows_command_line(program, args);
    if (!line) return std::move(line).take_error();
    std::wstring wline = widen(*line);  // CreateProcessW may write into the buffer

    // The pipes are made inheritable and then named in an explicit handle list: only this child
    // gets them, never another child started on another thread meanwhile, which would keep the
    // output pipe open after this child's exit and leave our reader waiting for ever.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, 0)) return fail(io_error_text(last_error_code()));
    OwnedHandle child_in(r), our_in(w);
    if (!CreatePipe(&r, &w, &inherit, 0)) return fail(io_error_text(last_error_code()));
    OwnedHandle our_out(r), child_out(w);
    SetHandleInformation(our_in.get(), HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(our_out.get(), HANDLE_FLAG_INHERIT, 0);
    OwnedHandle child_err(CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                      OPEN_EXISTING, 0, nullptr));
    std::vector<HANDLE> handles{child_in.get(), child_out.get()};
    if (child_err.valid()) handles.push_back(child_err.get());

    STARTUPINFOEXW si{};
    si.StartupInfo.cb = sizeof si;
    si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    si.StartupInfo.hStdInput = child_in.get();
    si.StartupInfo.hStdOutput = child_out.get();
    si.StartupInfo.hStdError = child_err.valid() ? child_err.get() : nullptr;
    InheritList list;
    if (Status s = list.init(handles); !s) return std::move(s).take_error();
    si.lpAttributeList = list.get();

    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, wline.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW,
                        nullptr, nullptr, &si.StartupInfo, &pi))
        return fail(io_error_text(last_error_code()));
    OwnedHandle thread(pi.hThread);
    auto impl = std::make_unique<Impl>();
    impl->process.reset(pi.hProcess);
    impl->input = std::move(our_in);
    impl->output = std::move(our_out);
    // child_in, child_out and child_err close here, right after the start: only the child holds
    // them now, so its exit ends our reads.
    return ChildProcess(std::move(impl));
}

Status ChildProcess::write_input(std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD n = 0;
        const DWORD want = DWORD(std::min<size_t>(bytes.size(), 1u << 30));
        if (!WriteFile(impl_->input.get(), bytes.data(), want, &n, nullptr)) return fail(io_error_text(last_error_code()));
        bytes.remove_prefix(n);
    }
    return {};
}

void ChildProcess::close_input() { impl_->input.reset(); }

Result<size_t> ChildProcess::read_output(std::span<char> buf) {
    DWORD n = 0;
    const DWORD want = DWORD(std::min<size_t>(buf.size(), 1u << 30));
    if (ReadFile(impl_->output.get(), buf.data(), want, &n, nullptr)) return size_t(n);
    const DWORD e = GetLastError();
    if (e == ERROR_BROKEN_PIPE) return size_t(0);  // the child's end is closed: end of stream
    return fail(io_error_text(int(e)));
}

void ChildProcess::terminate() {
    if (impl_->process.valid()) TerminateProcess(impl_->process.get(), 1);
}

int ChildProcess::wait() {
    if (!impl_->process.valid()) return -1;
    WaitForSingleObject(impl_->process.get(), INFINITE);
    DWORD code = 0;
    return GetExitCodeProcess(impl_->process.get(), &code) ? int(code) : -1;
}

}  // namespace nimbalo::platform
