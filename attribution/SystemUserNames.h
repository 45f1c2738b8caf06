#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "attribution/AskerDescription.h"

namespace corvane {

// Login names from the system's user database (getpwuid_r), each looked up
// once and kept: a description is made for every line the window shows, and
// the database may sit behind a slow service. The first lookup for a uid
// can wait for that service; the description is best made where a wait
// does not hold up the loop (when the window shows it).
class SystemUserNames final : public UserNames {
public:
    // The view stays valid until the next call.
    std::u16string_view userName(std::uint32_t uid) override;

private:
    std::unordered_map<std::uint32_t, std::u16string> names_;
};

}  // namespace corvane
