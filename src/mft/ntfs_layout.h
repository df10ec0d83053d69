// On-disk layouts the NTFS reader touches: boot sector, FILE record and attribute headers,
// the attribute values we read, attribute-list entries, and the MBR/GPT partition tables.
// Every struct is packed, little-endian, with each field's byte offset beside it and checked by
// a static_assert. Never point one of these at a buffer: copy it out with load<T>() after
// checking that offset + sizeof(T) lies inside the buffer (fields are unaligned on disk).
// Header only; no state; thread-safe.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace nimbalo::ntfs {

static_assert(std::endian::native == std::endian::little, "the on-disk structs are read by copying bytes");

// Copies a T out of bytes at offset. The caller has checked offset + sizeof(T) <= bytes.size().
template <class T>
inline T load(std::span<const std::byte> bytes, size_t offset) {
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}
template <class T>
inline bool fits(std::span<const std::byte> bytes, uint64_t offset, uint64_t length = sizeof(T)) {
    return offset <= bytes.size() && length <= bytes.size() - offset;
}

inline constexpr uint64_t kRefMask = 0x0000FFFFFFFFFFFFull;  // record number part of a file reference

#pragma pack(push, 1)

struct BootSectorDisk {
    uint8_t jump[3];                 // 0x00
    char oem_id[8];                  // 0x03 "NTFS    "
    uint16_t bytes_per_sector;       // 0x0B
    uint8_t sectors_per_cluster;     // 0x0D; above 0x80: 2^(256 - value)
    uint8_t reserved0[7];            // 0x0E
    uint8_t media;                   // 0x15
    uint8_t reserved1[18];           // 0x16
    uint64_t total_sectors;          // 0x28
    uint64_t mft_lcn;                // 0x30
    uint64_t mft_mirror_lcn;         // 0x38
    int8_t clusters_per_record;      // 0x40; negative: 2^(-value) bytes
    uint8_t reserved2[3];            // 0x41
    int8_t clusters_per_index;       // 0x44
    uint8_t reserved3[3];            // 0x45
    uint64_t serial;                 // 0x48
};
static_assert(offsetof(BootSectorDisk, oem_id) == 0x03);
static_assert(offsetof(BootSectorDisk, bytes_per_sector) == 0x0B);
static_assert(offsetof(BootSectorDisk, sectors_per_cluster) == 0x0D);
static_assert(offsetof(BootSectorDisk, total_sectors) == 0x28);
static_assert(offsetof(BootSectorDisk, mft_lcn) == 0x30);
static_assert(offsetof(BootSectorDisk, mft_mirror_lcn) == 0x38);
static_assert(offsetof(BootSectorDisk, clusters_per_record) == 0x40);
static_assert(offsetof(BootSectorDisk, clusters_per_index) == 0x44);
static_assert(sizeof(BootSectorDisk) == 0x50);

struct FileRecordHeaderDisk {
    char signature[4];               // 0x00 "FILE"
    uint16_t usa_offset;             // 0x04
    uint16_t usa_count;              // 0x06 sequence number + one entry per 512-byte stride
    uint64_t lsn;                    // 0x08
    uint16_t sequence;               // 0x10
    uint16_t link_count;             // 0x12
    uint16_t first_attribute;        // 0x14
    uint16_t flags;                  // 0x16 bit 0 in use, bit 1 directory
    uint32_t bytes_in_use;           // 0x18
    uint32_t bytes_allocated;        // 0x1C
    uint64_t base_record;            // 0x20 reference of the base record; 0 in a base record
};
static_assert(offsetof(FileRecordHeaderDisk, usa_offset) == 0x04);
static_assert(offsetof(FileRecordHeaderDisk, usa_count) == 0x06);
static_assert(offsetof(FileRecordHeaderDisk, first_attribute) == 0x14);
static_assert(offsetof(FileRecordHeaderDisk, flags) == 0x16);
static_assert(offsetof(FileRecordHeaderDisk, base_record) == 0x20);
static_assert(sizeof(FileRecordHeaderDisk) == 0x28);

inline constexpr uint16_t kRecordInUse = 0x0001;

enum AttributeType : uint32_t {
    kAttrStandardInformation = 0x10,
    kAttrAttributeList = 0x20,
    kAttrFileName = 0x30,
    kAttrData = 0x80,
    kAttrEnd = 0xFFFFFFFF,
};

// Common head of every attribute.
struct AttributeHeaderDisk {
    uint32_t type;                   // 0x00
    uint32_t length;                 // 0x04
    uint8_t non_resident;            // 0x08
    uint8_t name_length;             // 0x09 UTF-16 units; 0 = unnamed
    uint16_t name_offset;            // 0x0A
    uint16_t flags;                  // 0x0C
    uint16_t instance;               // 0x0E
};
static_assert(offsetof(AttributeHeaderDisk, length) == 0x04);
static_assert(offsetof(AttributeHeaderDisk, non_resident) == 0x08);
static_assert(offsetof(AttributeHeaderDisk, name_length) == 0x09);
static_assert(sizeof(AttributeHeaderDisk) == 0x10);

struct ResidentAttributeDisk {
    AttributeHeaderDisk head;        // 0x00
    uint32_t value_length;           // 0x10
    uint16_t value_offset;           // 0x14
    uint16_t indexed;                // 0x16
};
static_assert(offsetof(ResidentAttributeDisk, value_length) == 0x10);
static_assert(offsetof(ResidentAttributeDisk, value_offset) == 0x14);
static_assert(sizeof(ResidentAttributeDisk) == 0x18);

struct NonResidentAttributeDisk {
    AttributeHeaderDisk head;        // 0x00
    uint64_t lowest_vcn;             // 0x10
    uint64_t highest_vcn;            // 0x18
    uint16_t runlist_offset;         // 0x20
    uint16_t compression_unit;       // 0x22
    uint32_t padding;                // 0x24
    uint64_t allocated_size;         // 0x28
    uint64_t data_size;              // 0x30
    uint64_t initialized_size;       // 0x38
};
static_assert(offsetof(NonResidentAttributeDisk, lowest_vcn) == 0x10);
static_assert(offsetof(NonResidentAttributeDisk, highest_vcn) == 0x18);
static_assert(offsetof(NonResidentAttributeDisk, runlist_offset) == 0x20);
static_assert(offsetof(NonResidentAttributeDisk, allocated_size) == 0x28);
static_assert(offsetof(NonResidentAttributeDisk, data_size) == 0x30);
static_assert(offsetof(NonResidentAttributeDisk, initialized_size) == 0x38);
static_assert(sizeof(NonResidentAttributeDisk) == 0x40);

struct StandardInformationDisk {
    uint64_t created;                // 0x00
    uint64_t modified;               // 0x08
    uint64_t mft_changed;            // 0x10
    uint64_t accessed;               // 0x18
    uint32_t attributes;             // 0x20
};
static_assert(offsetof(StandardInformationDisk, modified) == 0x08);
static_assert(sizeof(StandardInformationDisk) == 0x24);

struct FileNameDisk {
    uint64_t parent;                 // 0x00 reference: low 48 bits record, top 16 sequence
    uint64_t created;                // 0x08
    uint64_t modified;               // 0x10
    uint64_t mft_changed;            // 0x18
    uint64_t accessed;               // 0x20
    uint64_t allocated_size;         // 0x28
    uint64_t data_size;              // 0x30
    uint32_t attributes;             // 0x38
    uint32_t reparse;                // 0x3C
    uint8_t name_length;             // 0x40 UTF-16 units
    uint8_t name_space;              // 0x41 0 POSIX, 1 Win32, 2 DOS, 3 Win32+DOS
    // 0x42: name, UTF-16LE
};
static_assert(offsetof(FileNameDisk, parent) == 0x00);
static_assert(offsetof(FileNameDisk, modified) == 0x10);
static_assert(offsetof(FileNameDisk, data_size) == 0x30);
static_assert(offsetof(FileNameDisk, attributes) == 0x38);
static_assert(offsetof(FileNameDisk, name_length) == 0x40);
static_assert(offsetof(FileNameDisk, name_space) == 0x41);
static_assert(sizeof(FileNameDisk) == 0x42);

inline constexpr uint32_t kFileNameIsDirectory = 0x10000000;  // the entry has a directory index
inline constexpr uint8_t kNameSpaceDos = 2;

struct AttributeListEntryDisk {
    uint32_t type;                   // 0x00
    uint16_t length;                 // 0x04
    uint8_t name_length;             // 0x06
    uint8_t name_offset;             // 0x07
    uint64_t lowest_vcn;             // 0x08
    uint64_t segment;                // 0x10 reference of the record holding the attribute
    uint16_t instance;               // 0x18
};
static_assert(offsetof(AttributeListEntryDisk, length) == 0x04);
static_assert(offsetof(AttributeListEntryDisk, name_length) == 0x06);
static_assert(offsetof(AttributeListEntryDisk, lowest_vcn) == 0x08);
static_assert(offsetof(AttributeListEntryDisk, segment) == 0x10);
static_assert(sizeof(AttributeListEntryDisk) == 0x1A);

// Master boot record: four primary entries at 0x1BE, signature 55 AA at 0x1FE.
struct MbrPartitionDisk {
    uint8_t status;                  // 0x00
    uint8_t chs_first[3];            // 0x01
    uint8_t type;                    // 0x04 0x07 NTFS/exFAT/IFS, 0xEE GPT protective
    uint8_t chs_last[3];             // 0x05
    uint32_t first_lba;              // 0x08
    uint32_t sector_count;           // 0x0C
};
static_assert(offsetof(MbrPartitionDisk, type) == 0x04);
static_assert(offsetof(MbrPartitionDisk, first_lba) == 0x08);
static_assert(offsetof(MbrPartitionDisk, sector_count) == 0x0C);
static_assert(sizeof(MbrPartitionDisk) == 16);
inline constexpr size_t kMbrTableOffset = 0x1BE;
inline constexpr size_t kMbrSignatureOffset = 0x1FE;

// GPT header in the sector after the MBR ("EFI PART").
struct GptHeaderDisk {
    char signature[8];               // 0x00
    uint32_t revision;               // 0x08
    uint32_t header_size;            // 0x0C
    uint32_t header_crc;             // 0x10
    uint32_t reserved;               // 0x14
    uint64_t current_lba;            // 0x18
    uint64_t backup_lba;             // 0x20
    uint64_t first_usable_lba;       // 0x28
    uint64_t last_usable_lba;        // 0x30
    uint8_t disk_guid[16];           // 0x38
    uint64_t entries_lba;            // 0x48
    uint32_t entry_count;            // 0x50
    uint32_t entry_size;             // 0x54
    uint32_t entries_crc;            // 0x58
};
static_assert(offsetof(GptHeaderDisk, entries_lba) == 0x48);
static_assert(offsetof(GptHeaderDisk, entry_count) == 0x50);
static_assert(offsetof(GptHeaderDisk, entry_size) == 0x54);
static_assert(sizeof(GptHeaderDisk) == 0x5C);

struct GptEntryDisk {
    uint8_t type_guid[16];           // 0x00
    uint8_t unique_guid[16];         // 0x10
    uint64_t first_lba;              // 0x20
    uint64_t last_lba;               // 0x28 inclusive
    uint64_t attributes;             // 0x30
    char16_t name[36];               // 0x38
};
static_assert(offsetof(GptEntryDisk, first_lba) == 0x20);
static_assert(offsetof(GptEntryDisk, last_lba) == 0x28);
static_assert(sizeof(GptEntryDisk) == 0x80);

// Change-journal records (USN_RECORD_V2 / _V3) as the control code returns them and as $J holds
// them. Version 4 (range tracking) records are skipped by length.
struct UsnRecordV2Disk {
    uint32_t length;                 // 0x00
    uint16_t major;                  // 0x04
    uint16_t minor;                  // 0x06
    uint64_t file_ref;               // 0x08
    uint64_t parent_ref;             // 0x10
    int64_t usn;                     // 0x18
    uint64_t timestamp;              // 0x20
    uint32_t reason;                 // 0x28
    uint32_t source_info;            // 0x2C
    uint32_t security_id;            // 0x30
    uint32_t attributes;             // 0x34
    uint16_t name_length;            // 0x38 bytes
    uint16_t name_offset;            // 0x3A from the record start
};
static_assert(offsetof(UsnRecordV2Disk, usn) == 24);
static_assert(offsetof(UsnRecordV2Disk, timestamp) == 32);
static_assert(offsetof(UsnRecordV2Disk, reason) == 40);
static_assert(offsetof(UsnRecordV2Disk, attributes) == 52);
static_assert(offsetof(UsnRecordV2Disk, name_length) == 56);
static_assert(offsetof(UsnRecordV2Disk, name_offset) == 58);
static_assert(sizeof(UsnRecordV2Disk) == 60);

struct UsnRecordV3Disk {
    uint32_t length;                 // 0x00
    uint16_t major;                  // 0x04
    uint16_t minor;                  // 0x06
    uint8_t file_ref[16];            // 0x08 128-bit; the low 64 bits first
    uint8_t parent_ref[16];          // 0x18
    int64_t usn;                     // 0x28
    uint64_t timestamp;              // 0x30
    uint32_t reason;                 // 0x38
    uint32_t source_info;            // 0x3C
    uint32_t security_id;            // 0x40
    uint32_t attributes;             // 0x44
    uint16_t name_length;            // 0x48
    uint16_t name_offset;            // 0x4A
};
static_assert(offsetof(UsnRecordV3Disk, parent_ref) == 24);
static_assert(offsetof(UsnRecordV3Disk, usn) == 40);
static_assert(offsetof(UsnRecordV3Disk, timestamp) == 48);
static_assert(offsetof(UsnRecordV3Disk, reason) == 56);
static_assert(offsetof(UsnRecordV3Disk, attributes) == 68);
static_assert(offsetof(UsnRecordV3Disk, name_length) == 72);
static_assert(offsetof(UsnRecordV3Disk, name_offset) == 74);
static_assert(sizeof(UsnRecordV3Disk) == 76);

// The $Max stream of $Extend\$UsnJrnl.
struct UsnJournalMaxDisk {
    uint64_t maximum_size;           // 0x00
    uint64_t allocation_delta;       // 0x08
    uint64_t journal_id;             // 0x10
    int64_t lowest_valid_usn;        // 0x18
};
static_assert(offsetof(UsnJournalMaxDisk, journal_id) == 0x10);
static_assert(sizeof(UsnJournalMaxDisk) == 0x20);

inline constexpr uint32_t kUsnPage = 4096;  // $J records never cross a page; the rest is zero padding

#pragma pack(pop)

}  // namespace nimbalo::ntfs
