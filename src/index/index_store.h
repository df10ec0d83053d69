// The service's index on disk as a set of three files in one folder:
//   index.bin          the index (index_file.h; its layout is unchanged)
//   index.bin.records  the record number of each entry, so live updates can go on after a load
//                      (u64 little-endian per entry, in entry order; all ones for none)
//   index.bin.state    the companion: checksums of the two files and the change-journal position
//                      the index is current to, as text lines:
//                        nimbalo index state 1
//                        index <sha256> records <sha256 or -> journal <id> <next USN> | journal -
// A file that does not match its checksum counts as damaged (the caller rebuilds); records that
// do not match only cost the live updates (the index loads without its maps).
//
// Saving never lets the companion name a position newer than the index.bin beside it: the new
// files are announced first (their checksums, no position) next to the old line, then renamed in,
// then the companion is rewritten with the new line alone, now with its position. A kill at any
// point leaves an index.bin that matches one line, and a position only beside the index it
// describes. Every file goes through its own exclusive temporary file and an atomic rename.
// Thread-safe: pure functions apart from the file I/O; one saver per folder at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

inline constexpr const char* kIndexFileName = "index.bin";
inline constexpr const char* kRecordsFileName = "index.bin.records";
inline constexpr const char* kStateFileName = "index.bin.state";

// Where the journal stood when the index was current: its id and the next USN to read.
struct JournalPosition {
    uint64_t journal_id = 0;
    uint64_t next = 0;
    bool operator==(const JournalPosition&) const = default;
};

// One line of the companion file.
struct IndexStateLine {
    std::string index_sha256;    // 64 lower-case hex digits
    std::string records_sha256;  // empty when no records file belongs to it
    std::optional<JournalPosition> position;
    bool operator==(const IndexStateLine&) const = default;
};

std::string format_index_state(const std::vector<IndexStateLine>& lines);
// Strict: the header line, then one to four well-formed lines; anything else fails.
Result<std::vector<IndexStateLine>> parse_index_state(std::string_view text);

// The records file's bytes for an index (from by_ref), and the maps rebuilt from them. The
// rebuild fails (maps left empty) when the count does not match or a record is out of range.
std::string serialize_records(const Index& index);
Status restore_maps(Index& index, std::string_view records);

struct LoadedIndex {
    Index index;                              // maps filled when the records matched
    bool has_maps = false;
    std::optional<JournalPosition> position;  // only with maps
};

// Load index.bin checked against its companion; fails like a bad file on a missing companion or
// a checksum mismatch.
Result<LoadedIndex> load_index_set(const std::string& folder, char letter);

// Save as described above. position: where the journal stood when index was current (none when
// unknown). The index's maps are saved when it has them.
Status save_index_set(const Index& index, const std::string& folder, std::optional<JournalPosition> position);

// Remove temporary files of earlier saves ("index.bin*.tmp.*") that this process did not make;
// returns how many were removed. Call at start, before the first save.
size_t remove_stale_temp_files(const std::string& folder);

}  // namespace nimbalo
