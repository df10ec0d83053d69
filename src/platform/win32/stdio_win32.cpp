#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <climits>

#include "platform/stdio.h"
#include "platform/system.h"

namespace nimbalo::platform {

void set_binary_stdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

// ReadFile on the raw handle: the CRT is bypassed entirely, so no text translation can happen
// even if someone switched the mode back. A broken pipe is how a closed pipe reports its end.
Result<size_t> read_stdin(std::span<char> buf) {
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (in == nullptr || in == INVALID_HANDLE_VALUE) return size_t(0);
    const DWORD want = buf.size() > DWORD(INT_MAX) ? DWORD(INT_MAX) : DWORD(buf.size());
    DWORD got = 0;
    if (!ReadFile(in, buf.data(), want, &got, nullptr)) {
        const DWORD e = GetLastError();
        if (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF) return size_t(0);
        return fail(io_error_text(int(e)));
    }
    return size_t(got);
}

Status write_stdout_all(std::string_view bytes) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE) return fail("no standard output");
    while (!bytes.empty()) {
        const DWORD want = bytes.size() > DWORD(INT_MAX) ? DWORD(INT_MAX) : DWORD(bytes.size());
        DWORD put = 0;
        if (!WriteFile(out, bytes.data(), want, &put, nullptr)) return fail(io_error_text(int(GetLastError())));
        if (put == 0) return fail("standard output accepts no more bytes");
        bytes.remove_prefix(put);
    }
    // No FlushFileBuffers: WriteFile keeps no buffer of ours, and on a pipe it would block
    // until the client has read everything.
    return {};
}

}  // namespace nimbalo::platform
