#include "cli/dispatch.h"

#include <new>

#include "cli/args.h"
#include "cli/console_commands.h"
#include "common/text.h"
#include "gui/launcher_command.h"
#include "mcp/mcp_command.h"
#include "platform/console.h"
#include "service/service_command.h"
#include "setup/setup_commands.h"
#include "update/update_command.h"

namespace nimbalo::cli {

const std::string& usage_text() {
    static const std::string text =
        "Nimbalo - instant NTFS file search\n"
        "\n"
        "USAGE:\n"
        "nimbalo                     launch the GUI launcher (portable)\n"
        "nimbalo install             self-elevate (UAC) + install service\n"
        "nimbalo service install|uninstall|run   manage the Windows service\n"
        "nimbalo mcp                 run as an MCP server over stdio\n"
        "nimbalo gui [drive]         launch the GUI launcher\n"
        "nimbalo build [drive]       index a drive and report stats\n"
        "nimbalo search <q> [drive]  index + substring search on names\n"
        "nimbalo path <q> [drive]    index + substring search on full path\n"
        "nimbalo prefix <p> [drive]  index + prefix search on names\n"
        "nimbalo recent [n] [drive]  last n changes from the USN journal\n"
        "nimbalo watch [drive]       live-monitor the USN journal\n"
        "nimbalo drives              list NTFS volumes\n"
        "\n"
        "Raw NTFS access needs Administrator rights; otherwise use the service.\n";
    return text;
}

namespace {

Status launcher_path(bool tray_start) {
    switch (platform::claim_single_instance()) {
        case platform::InstanceCheck::AlreadyRunning:
            return {};
        case platform::InstanceCheck::First:
        case platform::InstanceCheck::Unprotected:
            break;
    }
    return cmd_launcher(tray_start);
}

Status usage_success() {
    platform::write_stderr(usage_text());
    return {};
}

Status dispatch(const std::vector<std::string>& args, bool tray_start) {
    const std::string& cmd = args[0];
    if (cmd == "gui") return launcher_path(tray_start);
    if (cmd == "install") return cmd_install();
    if (cmd == "service") {
        const std::string sub = args.size() > 1 ? args[1] : "";
        if (sub == "install") return cmd_service_install();
        if (sub == "uninstall") return cmd_service_uninstall();
        if (sub == "run") return cmd_service_run();
        return usage_success();
    }
    if (cmd == "mcp") return cmd_mcp();
    if (cmd == "update") return cmd_update(args);
    if (cmd == "build") return cmd_build(drive_arg(args, 1));
    if (cmd == "search" || cmd == "path") {
        if (args.size() < 2) return fail("usage: nimbalo " + cmd + " <query> [drive]");
        return cmd_search(args[1], drive_arg(args, 2), cmd == "path");
    }
    if (cmd == "prefix") {
        if (args.size() < 2) return fail("usage: nimbalo prefix <prefix> [drive]");
        return cmd_prefix(args[1], drive_arg(args, 2));
    }
    if (cmd == "recent") {
        uint64_t n = 50;
        if (args.size() > 1 && !parse_u64_plus(args[1], n)) n = 50;
        return cmd_recent(n, drive_arg(args, 2));
    }
    if (cmd == "watch") return cmd_watch(drive_arg(args, 1));
    if (cmd == "drives") return cmd_drives();
    if (cmd == "help" || cmd == "-h" || cmd == "--help") return usage_success();
    if (cmd == "version" || cmd == "--version") {
        platform::write_stdout(std::string(kVersion) + "\n");
        return {};
    }
    return fail("unknown command: " + cmd);
}

}  // namespace

int run_entry(std::vector<std::string> args) {
    if (args.empty()) {
        Status s;
        try {
            s = launcher_path(false);
        } catch (const std::bad_alloc&) {
            s = fail("not enough memory");
        }
        if (!s) {
            platform::write_stderr("error: " + s.error() + "\n");
            return 1;
        }
        return 0;
    }
    const std::string& first = args[0];
    if (first != "service" && first != "gui" && first != "mcp") platform::attach_parent_console();

    const bool tray_start = take_tray_flags(args);
    // Every role starts here: running out of memory ends it with an error, never an abort.
    Status s;
    try {
        s = args.empty() ? launcher_path(tray_start) : dispatch(args, tray_start);
    } catch (const std::bad_alloc&) {
        s = fail("not enough memory");
    }
    if (!s) {
        platform::write_stderr("error: " + s.error() + "\n");
        return 1;
    }
    return 0;
}

}  // namespace nimbalo::cli
