#pragma once

// The real blocklist plug-in for the fuzz targets: the Filter.DLL of this
// build (instrumented like the rest), loaded as the program loads it, beside
// list files in a folder of its own, and an independent reading of what those
// lists say for any name.

#include <corvane/filter.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "FuzzCheck.h"

namespace corvane::fuzz {

// The lists, in every shape the parser reads: hosts lines, plain names,
// "*.", adblock-style rules with and without the closing bar, exceptions,
// a byte order mark, CRLF, bytes 0x80-0xFF, a 63-byte label, a 253-byte name
// and lines it must skip. The sets below say what they hold, folded.
inline const std::string Label63(63, 'l');
inline const std::string Name253 = std::string(63, 'm') + "." + std::string(63, 'm') + "." +
                                   std::string(63, 'm') + "." + std::string(61, 'm');

inline std::string blockListText(std::int32_t verdict) {
    return "\xEF\xBB\xBF# the fuzz targets' block list\r\n"
           "@verdict " +
           std::string(verdict == Block ? "Block" : "BlockReply") +
           "\r\n"
           "0.0.0.0 ads.test tracker.test  # hosts line\n"
           "127.0.0.1 a\n"
           "::1 x.y\n"
           "plain.test\n"
           "*.wild.test\n"
           "Mixed.CASE.test.\n"
           "||rule.test^\n"
           "||bar.test^|\n"
           "@@||ok.ads.test^\n"
           "@@||fine.bar.test^|\n"
           "caf\xC3\xA9.test\n"
           "\xFF\x80.test\n" +
           Label63 + ".test\n" + Name253 +
           "\n"
           "||skipped.test^$third-party\n"
           "two words\n"
           "bad..dots.test\n";
}

inline constexpr std::string_view AllowListText =
    "good.ads.test\n@@||also.tracker.test^|\n||pass.wild.test^\n";

// Heterogeneous, so that a lookup takes a view into the folded query.
using NameSet = std::set<std::string, std::less<>>;

struct ListedNames {
    NameSet blocked;
    NameSet exceptions;
    NameSet allowed;
};

inline const ListedNames& listedNames() {
    static const ListedNames names{
        {"ads.test", "tracker.test", "a", "x.y", "plain.test", "wild.test", "mixed.case.test",
         "rule.test", "bar.test", "caf\xC3\xA9.test", "\xFF\x80.test", Label63 + ".test", Name253},
        {"ok.ads.test", "fine.bar.test"},
        {"good.ads.test", "also.tracker.test", "pass.wild.test"}};
    return names;
}

// What the lists say for name, worked out from the sets the plain way: the
// name and every parent (what follows a '.') of at most 253 characters, all
// of them up to U+00FF, compared with A-Z folded.
inline std::int32_t expectedVerdict(std::u16string_view name, std::int32_t verdict) {
    constexpr std::size_t MaxNameLength = 253;
    const std::size_t first = name.size() > MaxNameLength ? name.size() - MaxNameLength : 0;
    std::string folded;
    std::size_t narrowFrom = first;  // no character above U+00FF at or after it
    for (std::size_t i = first; i < name.size(); ++i) {
        const char16_t c = name[i];
        narrowFrom = c > 0xFF ? i + 1 : narrowFrom;
        folded.push_back(static_cast<char>(c >= u'A' && c <= u'Z' ? c + 32 : c));
    }
    auto listed = [&](const NameSet& set) {
        for (std::size_t start = narrowFrom; start < name.size(); ++start) {
            if ((start == 0 || name[start - 1] == u'.') &&
                set.find(std::string_view(folded).substr(start - first)) != set.end()) {
                return true;
            }
        }
        return false;
    };
    const ListedNames& names = listedNames();
    if (!listed(names.blocked) || listed(names.exceptions) || listed(names.allowed)) {
        return Forward;
    }
    return verdict;
}

// A fresh folder for a fuzz run's files, named after the process. A run
// that ends in a finding exits without its destructors, so each new one
// first clears what runs no longer alive left behind.
inline std::filesystem::path freshFolder() {
    const std::filesystem::path temp = std::filesystem::temp_directory_path();
    const std::string ours = "corvane-fuzz-";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(temp, error)) {
        const std::string name = entry.path().filename().string();
        const std::size_t dash = name.find('-', ours.size());
        if (name.starts_with(ours) && dash != std::string::npos &&
            !std::filesystem::exists("/proc/" + name.substr(ours.size(), dash - ours.size()))) {
            std::filesystem::remove_all(entry.path(), error);
        }
    }
    std::string pattern = temp / (ours + std::to_string(getpid()) + "-XXXXXX");
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "harness: no temp folder");
    return pattern;
}

// A copy of the built plug-in, opened from a fresh folder that holds the two
// lists with the given verdict: two copies are two plug-ins, which one
// library opened twice would not be. Once the copy is open, a link to the
// built library takes its place, so that a finding's report can still name
// the plug-in's source lines.
class ListedPlugin {
public:
    explicit ListedPlugin(std::int32_t verdict) : verdict_(verdict), folder_(freshFolder()) {
        write("blocklist.txt", blockListText(verdict));
        write("allowlist.txt", AllowListText);
        const std::filesystem::path library = folder_ / "Filter.DLL";
        std::filesystem::copy_file(BLOCKLIST_PLUGIN, library);
        handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        FUZZ_CHECK(handle_ != nullptr, "harness: the plug-in does not load");
        std::filesystem::remove(library);
        std::filesystem::create_symlink(std::filesystem::absolute(BLOCKLIST_PLUGIN), library);
        filter_ = reinterpret_cast<FilterQueryFunction>(dlsym(handle_, "FilterQuery"));
        FUZZ_CHECK(filter_ != nullptr, "harness: the plug-in lacks FilterQuery");
        // The lists are read at the first call: a listed name must then be
        // blocked, or every later comparison would compare nothing.
        FUZZ_CHECK(filter_(u"x.ads.test") == verdict && filter_(u"ok.ads.test") == Forward &&
                       filter_(u"LL.good.ads.test") == Forward,
                   "harness: the plug-in did not load its lists");
    }
    ~ListedPlugin() {
        dlclose(handle_);
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ListedPlugin(const ListedPlugin&) = delete;
    ListedPlugin& operator=(const ListedPlugin&) = delete;

    FilterQueryFunction filter() const { return filter_; }
    std::int32_t verdict() const { return verdict_; }

private:
    void write(std::string_view file, std::string_view text) const {
        std::ofstream out(folder_ / file, std::ios::binary);
        out << text;
        FUZZ_CHECK(out.good(), "harness: cannot write a list");
    }

    std::int32_t verdict_;
    std::filesystem::path folder_;
    void* handle_ = nullptr;
    FilterQueryFunction filter_ = nullptr;
};

// One plug-in per verdict, loaded at the first use and kept for the run.
inline const ListedPlugin& listedPlugin(std::int32_t verdict) {
    static const ListedPlugin blocking(Block);
    static const ListedPlugin replying(BlockReply);
    return verdict == Block ? blocking : replying;
}

}  // namespace corvane::fuzz
