// Process entry facts that differ by platform: the argument list, the parent console,
// standard output and error, and the launcher's single-instance slot.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbalo::platform {

// The arguments after the program name, as UTF-8. Windows: GetCommandLineW split by the
// Windows rules; POSIX: argv.
std::vector<std::string> process_arguments(int argc, char** argv);

// Windows: the console attach of the entry (parent console, "CONOUT$" as stdout and stderr)
// when standard output is not already set. POSIX: nothing.
void attach_parent_console();

// Write all bytes to standard output / standard error; failures are ignored.
void write_stdout(std::string_view text);
void write_stderr(std::string_view text);

// Launcher single-instance check: create "Local\Nimbalo.SingleInstance" (one launcher per
// session) and keep the handle in a process-wide slot for the life of the process.
// AlreadyRunning: another launcher holds it; the "Nimbalo.Show" message has been broadcast and the
// caller should exit with success.
enum class InstanceCheck { First, AlreadyRunning, Unprotected };
InstanceCheck claim_single_instance();
// Give the mutex up before the process ends (the update restart starts the new build while this
// one still runs). Only the first call does anything.
void release_single_instance();

}  // namespace nimbalo::platform
