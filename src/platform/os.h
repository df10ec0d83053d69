// Which operating system this build runs on, for the few commands whose answer differs by
// platform in words only (the Windows-only roles report themselves unavailable elsewhere).
#pragma once

namespace nimbalo::platform {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace nimbalo::platform
