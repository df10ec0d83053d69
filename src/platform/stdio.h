// Standard input and output as raw byte streams, for protocols that count bytes (the MCP
// server's framing). Binary mode matters on Windows, where text mode turns "\n" into "\r\n" on
// output and swallows "\r" and Ctrl+Z on input, corrupting every announced length.
// One reader thread and one writer thread at most; no locking here.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "common/result.h"

namespace nimbalo::platform {

// Switch standard input and output to binary mode (Windows `_setmode`); on POSIX ignore SIGPIPE so
// writing to a closed pipe fails instead of ending the process.
void set_binary_stdio();

// Read up to buf.size() bytes from standard input. 0 means end of input (a closed pipe counts
// as end). Interrupted reads are retried here.
Result<size_t> read_stdin(std::span<char> buf);

// Write every byte to standard output, retrying partial writes, then flush.
Status write_stdout_all(std::string_view bytes);

}  // namespace nimbalo::platform
