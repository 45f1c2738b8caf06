#include "attribution/SystemUserNames.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "ui/DialogText.h"

namespace corvane {

namespace {

// A user database could hand out any number of users; a few hundred names
// are kept, and beyond that the list starts over.
constexpr std::size_t MaxNamesKept = 512;
constexpr std::size_t FirstArea = 1024;
constexpr std::size_t LargestArea = 64 * 1024;

std::u16string lookUpName(std::uint32_t uid) {
    std::vector<char> area(FirstArea);
    for (;;) {
        passwd entry{};
        passwd* found = nullptr;
        const int error =
            ::getpwuid_r(static_cast<uid_t>(uid), &entry, area.data(), area.size(), &found);
        if (error == ERANGE && area.size() < LargestArea) {
            area.resize(area.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr || found->pw_name == nullptr) {
            return {};
        }
        return fromUtf8(found->pw_name);
    }
}

}  // namespace

std::u16string_view SystemUserNames::userName(std::uint32_t uid) {
    const auto known = names_.find(uid);
    if (known != names_.end()) {
        return known->second;
    }
    if (names_.size() >= MaxNamesKept) {
        names_.clear();
    }
    return names_.emplace(uid, lookUpName(uid)).first->second;
}

}  // namespace corvane
