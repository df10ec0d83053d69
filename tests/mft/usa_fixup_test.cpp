#include <gtest/gtest.h>

#include "mft/ntfs_builder.h"
#include "mft/usa_fixup.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::put;

namespace {
// A record of size bytes whose array (offset u, count c) holds 0xA000 + i at entry i and whose
// stride ends hold 0x5555.
Bytes record(size_t size, uint16_t u, uint16_t c) {
    Bytes r(size, std::byte{0});
    put(r, 4, u, 2);
    put(r, 6, c, 2);
    for (size_t i = 0; u >= 8 && i < c && u + 2 * i + 1 < size; ++i) put(r, u + 2 * i, 0xA000 + i, 2);
    for (size_t at = 510; at < size; at += 512) put(r, at, 0x5555, 2);
    return r;
}
uint16_t at16(const Bytes& b, size_t at) { return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8)); }
}  // namespace

TEST(Fixup, ReplacesStrideEndsFromTheArray) {
    struct Case {
        size_t size;
        uint16_t u, c;
        std::vector<size_t> replaced;  // stride ends expected to hold 0xA000 + their index
    } cases[] = {
        {1024, 0x30, 3, {510, 1022}},
        {1024, 0x30, 2, {510}},
        {4096, 0x30, 9, {510, 1022, 1534, 2046, 2558, 3070, 3582, 4094}},
        {600, 0x30, 3, {510}},  // a short (last) record: only whole strides are touched
    };
    for (const auto& c : cases) {
        Bytes r = record(c.size, c.u, c.c);
        ASSERT_TRUE(apply_fixup(r).ok());
        for (size_t at = 510; at < c.size; at += 512) {
            const bool want = std::find(c.replaced.begin(), c.replaced.end(), at) != c.replaced.end();
            EXPECT_EQ(at16(r, at), want ? 0xA000 + (at + 2) / 512 : 0x5555) << c.size << " at " << at;
        }
    }
}

TEST(Fixup, RejectsBadArrays) {
    struct Case {
        size_t size;
        uint16_t u, c;
        const char* error;
    } cases[] = {
        {1024, 0x30, 1, "bad update-sequence array"},
        {1024, 0x30, 65, "bad update-sequence array"},
        {1024, 0x00, 3, "bad update-sequence array"},
        {1024, 0x3F0, 9, "update-sequence array out of bounds"},
        {1024, 1023, 2, "update-sequence array out of bounds"},
        {4, 0x30, 3, "bad update-sequence array"},  // too short to hold the header fields
    };
    for (const auto& c : cases) {
        Bytes r = record(c.size, c.u, c.c);
        if (c.size < 8) r.assign(c.size, std::byte{0x30});
        const Bytes before = r;
        auto s = apply_fixup(r);
        ASSERT_FALSE(s.ok()) << c.u << "/" << c.c;
        SCOPED_TRACE(std::to_string(c.size) + " " + std::to_string(c.u) + "/" + std::to_string(c.c));
        EXPECT_EQ(s.error(), c.error);
        EXPECT_EQ(r, before) << "a failed fixup must not change the record";
    }
}
