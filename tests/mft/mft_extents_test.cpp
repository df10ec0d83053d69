#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "mft/mft_extents.h"
#include "mft/ntfs_builder.h"
#include "mft/usa_fixup.h"

using namespace nimbalo;
using fixture::Bytes;
using fixture::RecordBuilder;

namespace {
// The record in a heap buffer of exactly len bytes, so ASan sees any read past it.
std::unique_ptr<std::byte[]> exactly(const Bytes& r, size_t len) {
    auto b = std::make_unique<std::byte[]>(len ? len : 1);
    std::memcpy(b.get(), r.data(), len);
    return b;
}
}  // namespace

TEST(MftExtents, AttributesCutShortAreNotRead) {
    const Bytes list = RecordBuilder::attribute_list_value({{0x80, 0, 30}});
    Bytes good = RecordBuilder().file_name({5, u"big", 1, 0, 0, 0}).resident(0x20, list).build();
    ASSERT_TRUE(apply_fixup(good).ok());
    const size_t first = 0x38, second = first + uint8_t(good[first + 4]);
    {
        auto b = exactly(good, good.size());
        const auto place = find_attribute_list(std::span(b.get(), good.size()));
        EXPECT_TRUE(place.found && place.resident);
        EXPECT_EQ(listed_data_extents(place.value).size(), 1u);
    }
    // The list's header claims 8 bytes and the buffer ends right after them.
    Bytes cut = good;
    fixture::put(cut, second + 4, 8, 4);
    auto b = exactly(cut, second + 8);
    const std::span rec(b.get(), second + 8);
    EXPECT_FALSE(find_attribute_list(rec).found);
    EXPECT_TRUE(unnamed_data_extents(rec).empty());
    std::vector<std::byte> value;
    EXPECT_FALSE(resident_data(rec, u"", value));
}
