// The one temporary-folder helper of the tests: a fresh, empty folder under the system's temporary
// folder, named for the test and the process (ctest runs the tests of one file in parallel
// processes), removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/system.h"

namespace nimbalo::fixtures {

class TempDir {
public:
    explicit TempDir(const std::string& name)
        : path_(std::filesystem::temp_directory_path() / (name + "." + std::to_string(platform::process_id()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;  // owns the folder on disk
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string str() const { return platform::from_path(path_); }
    std::string operator/(const std::string& name) const { return platform::from_path(path_ / platform::to_path(name)); }

private:
    std::filesystem::path path_;
};

inline void write_text(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace nimbalo::fixtures
