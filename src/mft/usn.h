// One change record kept from the volume's USN change journal: the hand-over from the journal
// reader to `recent`, the MCP change tool and live index updates. Plain value.
#pragma once

#include <cstdint>
#include <string>

namespace nimbalo {

struct UsnChange {
    std::string name;        // file name only, UTF-8 (U+FFFD for bad UTF-16); empty when none
    uint64_t record = 0;     // low 48 bits of the file reference
    uint64_t parent = 0;     // low 48 bits of the parent directory's reference
    uint64_t timestamp = 0;  // FILETIME, UTC
    uint32_t reason = 0;     // reason bit mask
    bool is_dir = false;     // FILE_ATTRIBUTE_DIRECTORY (0x10)
    bool operator==(const UsnChange&) const = default;
};

}  // namespace nimbalo
