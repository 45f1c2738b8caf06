#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

// A fresh folder under the test temp directory, removed with everything in it
// when the test ends.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = testing::TempDir() + "corvane-plugin-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed";
        }
        path_ = pattern;
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }

    void write(std::string_view file, std::string_view text) const {
        std::ofstream out(path_ / file, std::ios::binary | std::ios::trunc);
        out << text;
        ASSERT_TRUE(out.good()) << "cannot write " << file;
    }

private:
    std::filesystem::path path_;
};
