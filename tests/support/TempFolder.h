#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>

namespace corvane::test {

// The whole content of a file as bytes; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Replaces the file's content with bytes; false when that fails.
inline bool writeFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return out.good();
}

// A fresh folder under the system's temp folder, removed with everything in it
// when the test ends. A folder that cannot be made fails the test and leaves
// path() empty; ok() lets a test stop there. Reports through GoogleTest, so
// only test programs include it.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = std::filesystem::temp_directory_path() / "corvane-test-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a folder from " << pattern;
            return;
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (ok()) {
            std::filesystem::remove_all(path_, ignored);
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    bool ok() const { return !path_.empty(); }
    const std::filesystem::path& path() const { return path_; }
    std::string file(std::string_view name) const { return (path_ / name).string(); }

    void write(std::string_view name, std::string_view bytes) const {
        ASSERT_TRUE(writeFile(path_ / name, bytes)) << "cannot write " << name;
    }

private:
    std::filesystem::path path_;
};

}  // namespace corvane::test
