// The launcher's diagnostic trace: with NIMBALO_DEBUG present in the environment (any value, even
// empty), each debug_log call appends one line "[{tick % 10,000,000 ms, right-aligned in 7}] {message}"
// to "nimbalo.log" in the user's temporary folder; without it, a call costs one flag test.
// The switch is read once, on the first call; later changes of the environment do not count.
// The file is opened, appended in one write and closed for every line, so a viewer may follow,
// rotate or delete it at any time, and lines from several threads stay whole.
// Never fails, never throws: a line that cannot be written is dropped. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbalo::platform {

void debug_log(std::string_view message);

// The line debug_log writes for a tick count (milliseconds since system start), line feed included.
std::string format_debug_line(uint64_t tick_ms, std::string_view message);

// Forget the switch so that the next debug_log reads NIMBALO_DEBUG again. Tests only: a running
// launcher never changes its mind.
void debug_log_reset_switch_for_testing();

}  // namespace nimbalo::platform
