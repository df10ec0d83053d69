// Hosting the service process: the connection to the system's service manager, the status reports
// and the stop control, behind one small interface so the service's own logic stays portable.
// Windows: the Service Control Manager (StartServiceCtrlDispatcherW, RegisterServiceCtrlHandlerW,
// SetServiceStatus). A stop control sets the stop flag and reports stop pending with a wait hint;
// stopped is reported only when the main routine has returned, with its exit code.
// POSIX: the main routine runs in the foreground; SIGINT and SIGTERM set the stop flag.
// The stop flag is set once, from the control handler or signal handler, and read by the main
// routine; the reports may be called from any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "common/result.h"

namespace nimbalo::platform {

class ServiceContext {
public:
    virtual ~ServiceContext() = default;
    // Still starting: checkpoint must grow between reports while work advances.
    virtual void report_starting(uint32_t checkpoint, uint32_t wait_hint_ms) = 0;
    // Started; from now on the stop control is accepted.
    virtual void report_running() = 0;
    virtual const std::atomic<bool>& stop_flag() const = 0;
};

struct ServiceExit {
    uint32_t code = 0;  // 0 = clean stop; otherwise the service's own exit code
    std::string error;  // one line for a console host; a system-managed service shows nothing
};

using ServiceMain = std::function<ServiceExit(ServiceContext&)>;

// Windows: hand the process to the service manager until the service has stopped; fails with the
// system's message when the process was not started by the service manager.
// POSIX: run main in the foreground; fails with its error when its exit code is not 0.
Status run_service_host(const std::string& name, ServiceMain main);

}  // namespace nimbalo::platform
