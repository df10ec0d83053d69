// A child process spoken to over pipes: its standard input and output are connected to this
// process, its standard error is discarded. Only the child's own pipe ends are handed to it (and
// to no other child started meanwhile); this process keeps only its own ends, so the child's exit
// is seen as end-of-stream on its output.
// Move-only; the owner closes the pipes and forgets the process on destruction (it does not wait
// for it: call terminate() and wait() first when the child must be gone). write_input() and
// close_input() belong to one thread, read_output() may run on another.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace nimbalo::platform {

class ChildProcess {
public:
    // Starts program (a path; not searched for) with the arguments. The error text is the
    // system's, e.g. "No such file or directory (os error 2)".
    static Result<ChildProcess> start(const std::string& program, const std::vector<std::string>& args);

    ChildProcess(ChildProcess&&) noexcept;
    ChildProcess& operator=(ChildProcess&&) noexcept;
    ChildProcess(const ChildProcess&) = delete;  // owns the pipes and the process handle
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess();

    // Every byte to the child's standard input, retrying partial writes.
    Status write_input(std::string_view bytes);
    // Close our end of the child's standard input (the child then sees end-of-stream).
    void close_input();
    // Bytes read from the child's standard output (0 at its end), retrying interrupted reads.
    Result<size_t> read_output(std::span<char> buf);
    // End the child at once (exit code 1 on Windows); a child that already ended is no error.
    void terminate();
    // Wait for the child to end; its exit code (-1 when it did not exit normally).
    int wait();

    struct Impl;

private:
    explicit ChildProcess(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace nimbalo::platform
