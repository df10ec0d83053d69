#include "gui/launcher_command.h"

#include "platform/os.h"

namespace nimbalo {

// The launcher's window, tray and views arrive in this folder; until then it reports plainly that
// it is missing rather than succeeding silently.
Status cmd_launcher(bool) {
    if (!platform::kWindows) return fail("the GUI launcher is not available on Linux; see 'nimbalo help'");
    return fail("the GUI launcher is not part of this build yet");
}

}  // namespace nimbalo
