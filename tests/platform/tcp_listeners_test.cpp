// The /proc/net/tcp text parser and the address rule, on sample lines as the kernel prints them
// (a little-endian machine), and the system's own table against a listener of this process.
#include <gtest/gtest.h>

#include <bit>
#include <random>

#include "platform/net.h"
#include "platform/system.h"
#include "platform/tcp_listeners.h"

namespace platform = nimbalo::platform;
using platform::ipv4_mapped;

namespace {

constexpr const char* kHeader =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n";

std::string row(const char* local, const char* remote, const char* state, const char* uid) {
    return std::string("   3: ") + local + " " + remote + " " + state +
           " 00000000:00000000 00:00000000 00000000 " + uid + "        0 4243 1 0000000000000000 100 0 0 10 0\n";
}

}  // namespace

TEST(ProcNetTcp, ListenersOfIpv4Table) {
    if constexpr (std::endian::native != std::endian::little) GTEST_SKIP() << "samples are little-endian";
    const std::string text = std::string(kHeader) +
                             row("0100007F:1FBB", "00000000:0000", "0A", "0") +       // 127.0.0.1:8123, root
                             row("00000000:1FBB", "00000000:0000", "0A", "1000") +    // 0.0.0.0:8123
                             row("0100007F:0050", "00000000:0000", "0A", "65534") +   // another port
                             row("0100007F:1FBB", "0100007F:C350", "01", "0") +       // established, not a listener
                             row("0100007F:1FBB", "0100007F:C351", "06", "33") +      // time-wait
                             row("0101A8C0:1FBB", "00000000:0000", "0a", "7") +       // 192.168.1.1, lower-case state
                             "\n";
    auto rows = platform::parse_proc_net_tcp(text, false);
    ASSERT_TRUE(rows) << rows.error();
    ASSERT_EQ(rows->size(), 4u);
    EXPECT_EQ((*rows)[0].address, ipv4_mapped(127, 0, 0, 1));
    EXPECT_EQ((*rows)[0].port, 8123);
    EXPECT_EQ((*rows)[0].owner, 0u);
    EXPECT_EQ((*rows)[1].address, ipv4_mapped(0, 0, 0, 0));
    EXPECT_EQ((*rows)[1].owner, 1000u);
    EXPECT_EQ((*rows)[2].port, 80);
    EXPECT_EQ((*rows)[2].owner, 65534u);
    EXPECT_EQ((*rows)[3].address, ipv4_mapped(192, 168, 1, 1));
    EXPECT_EQ((*rows)[3].owner, 7u);

    auto empty = platform::parse_proc_net_tcp(kHeader, false);
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(ProcNetTcp, ListenersOfIpv6Table) {
    if constexpr (std::endian::native != std::endian::little) GTEST_SKIP() << "samples are little-endian";
    const std::string text = std::string(kHeader) +
                             row("00000000000000000000000000000000:1FBB", "00000000000000000000000000000000:0000", "0A", "1000") +
                             row("0000000000000000FFFF00000100007F:1FBB", "00000000000000000000000000000000:0000", "0A", "0") +
                             row("00000000000000000000000001000000:1FBB", "00000000000000000000000000000000:0000", "0A", "5");
    auto rows = platform::parse_proc_net_tcp(text, true);
    ASSERT_TRUE(rows) << rows.error();
    ASSERT_EQ(rows->size(), 3u);
    EXPECT_EQ((*rows)[0].address, platform::Ipv6Address{});
    EXPECT_EQ((*rows)[1].address, ipv4_mapped(127, 0, 0, 1));  // ::ffff:127.0.0.1
    platform::Ipv6Address v6_loopback{};
    v6_loopback[15] = 1;
    EXPECT_EQ((*rows)[2].address, v6_loopback);                 // ::1
    // An IPv4 row is not an IPv6 row, and the other way round.
    EXPECT_FALSE(platform::parse_proc_net_tcp(text, false));
    EXPECT_FALSE(platform::parse_proc_net_tcp(std::string(kHeader) + row("0100007F:1FBB", "00000000:0000", "0A", "0"), true));
}

// A table we cannot read must not pass for a table without impostors: every malformed row fails
// the whole table, and the message names the line.
TEST(ProcNetTcp, MalformedRowsFailTheTable) {
    const std::string good = row("0100007F:1FBB", "00000000:0000", "0A", "0");
    for (const std::string& bad : {
             row("0100007F1FBB", "00000000:0000", "0A", "0"),         // no colon
             row("0100007G:1FBB", "00000000:0000", "0A", "0"),        // not hex
             row("100007F:1FBB", "00000000:0000", "0A", "0"),         // short address
             row("0100007F:11FBB", "00000000:0000", "0A", "0"),       // port beyond 16 bits
             row("0100007F:1FBB", "00000000:0000", "A", "0"),         // one-digit state
             row("0100007F:1FBB", "00000000:0000", "0A", "-1"),       // negative uid
             row("0100007F:1FBB", "00000000:0000", "0A", "99999999999"),  // uid beyond 32 bits
             std::string("   3: 0100007F:1FBB 00000000:0000 0A\n"),  // cut short
             std::string("   3 0100007F:1FBB 00000000:0000 0A 00000000:00000000 00:00000000 00000000 0 0 1\n"),
         }) {
        auto rows = platform::parse_proc_net_tcp(std::string(kHeader) + good + bad, false);
        ASSERT_FALSE(rows) << bad;
        EXPECT_EQ(rows.error(), "line 3 of the TCP table is not understood") << bad;
    }
}

TEST(ProcNetTcp, AddressesThatTakeLoopbackConnections) {
    EXPECT_TRUE(platform::takes_loopback_v4(ipv4_mapped(127, 0, 0, 1)));
    EXPECT_TRUE(platform::takes_loopback_v4(ipv4_mapped(0, 0, 0, 0)));
    EXPECT_TRUE(platform::takes_loopback_v4(platform::Ipv6Address{}));  // "::", dual-stack
    EXPECT_FALSE(platform::takes_loopback_v4(ipv4_mapped(127, 0, 0, 2)));
    EXPECT_FALSE(platform::takes_loopback_v4(ipv4_mapped(192, 168, 1, 1)));
    platform::Ipv6Address v6_loopback{};
    v6_loopback[15] = 1;
    EXPECT_FALSE(platform::takes_loopback_v4(v6_loopback));
}

// The system's table shows a listener of this process on its port (natively with our user id;
// on Windows with our process id - Wine reports 0, no owner, for every listener).
TEST(TcpListeners, SeesOwnListener) {
    platform::net_startup();
    std::mt19937 rng(20261214);
    platform::Socket listener;
    uint16_t port = 0;
    for (int tries = 0; tries < 50 && !listener.valid(); ++tries) {
        port = uint16_t(20000 + rng() % 30000);
        if (auto l = platform::listen_tcp("127.0.0.1", port, 4)) listener = std::move(*l);
    }
    ASSERT_TRUE(listener.valid());
    auto rows = platform::tcp_listeners(port);
    ASSERT_TRUE(rows) << rows.error();
    ASSERT_EQ(rows->size(), 1u);
    EXPECT_EQ((*rows)[0].address, ipv4_mapped(127, 0, 0, 1));
    EXPECT_EQ((*rows)[0].port, port);
    if (auto uid = platform::current_user_id()) EXPECT_EQ((*rows)[0].owner, *uid);
    else EXPECT_TRUE((*rows)[0].owner == platform::process_id() || (*rows)[0].owner == 0)  // Wine names no owner
        << (*rows)[0].owner;
    listener.close();
    auto after = platform::tcp_listeners(port);
    ASSERT_TRUE(after);
    EXPECT_TRUE(after->empty());
}
