// The listener tables with their owning processes, from the IP helper (iphlpapi).
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>

#include <cstring>

#include "platform/system.h"
#include "platform/tcp_listeners.h"

namespace nimbalo::platform {

namespace {

// One listener table of a family; the table grows between the size query and the copy, so retry.
Result<std::vector<DWORD>> listener_table(ULONG family) {
    std::vector<DWORD> buf;  // DWORD-aligned, as the rows are
    DWORD bytes = 0;
    for (int tries = 0; tries < 5; ++tries) {
        const DWORD r = GetExtendedTcpTable(buf.empty() ? nullptr : buf.data(), &bytes, FALSE, family,
                                            TCP_TABLE_OWNER_PID_LISTENER, 0);
        if (r == NO_ERROR) return buf;
        if (r != ERROR_INSUFFICIENT_BUFFER) return fail("GetExtendedTcpTable failed: " + system_error_text(int(r)));
        buf.assign(bytes / sizeof(DWORD) + 64, 0);
        bytes = DWORD(buf.size() * sizeof(DWORD));
    }
    return fail("GetExtendedTcpTable failed: the table kept growing");
}

uint16_t port_of(DWORD net_port) { return ntohs(u_short(net_port & 0xffff)); }

}  // namespace

std::optional<uint32_t> current_user_id() { return std::nullopt; }

Result<std::vector<TcpListener>> tcp_listeners(uint16_t port) {
    std::vector<TcpListener> out;
    auto v4 = listener_table(AF_INET);
    if (!v4) return std::move(v4).take_error();
    const auto* t4 = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(v4->data());
    for (DWORD i = 0; !v4->empty() && i < t4->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID& row = t4->table[i];
        if (row.dwState != MIB_TCP_STATE_LISTEN || port_of(row.dwLocalPort) != port) continue;
        uint8_t a[4];
        std::memcpy(a, &row.dwLocalAddr, 4);  // network byte order
        out.push_back({ipv4_mapped(a[0], a[1], a[2], a[3]), port, row.dwOwningPid});
    }
    // A system without IPv6 has no such table. A dual-stack listener that took the port would also
    // keep the service from binding 127.0.0.1, so the IPv4 table alone already shows no trusted owner.
    if (auto v6 = listener_table(AF_INET6); v6 && !v6->empty()) {
        const auto* t6 = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(v6->data());
        for (DWORD i = 0; i < t6->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = t6->table[i];
            if (row.dwState != MIB_TCP_STATE_LISTEN || port_of(row.dwLocalPort) != port) continue;
            TcpListener l;
            std::memcpy(l.address.data(), row.ucLocalAddr, 16);
            l.port = port;
            l.owner = row.dwOwningPid;
            out.push_back(l);
        }
    }
    return out;
}

}  // namespace nimbalo::platform
