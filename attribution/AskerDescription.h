#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"

namespace corvane {

// The login names of users, for the description. Implemented on the system's
// user database (attribution/SystemUserNames) and by fakes in tests.
class UserNames {
public:
    virtual ~UserNames() = default;
    // The login name of uid; empty when the system has none.
    virtual std::u16string_view userName(std::uint32_t uid) = 0;
};

// The program's name as 16-bit text, as plug-ins and the window get it: its
// bytes read as UTF-8, where each byte that is no part of a valid sequence
// becomes U+FFFD.
std::u16string programText(std::string_view program);

// Who asked, as one line of 16-bit text for the window (the log view is
// 16-bit text, as every log line is):
//   Process  "firefox-esr (pid 2412, user alice), UDP 127.0.0.1:51234"
//            ("uid 1001" in place of "user ..." when the user has no name)
//   Owner    "uid 1000, UDP 127.0.0.1:5353"
//   Remote   "UDP 192.0.2.7:40000"
//   Unknown  "unknown, UDP 127.0.0.1:51234"
// A program or user name is whatever its owner chose, so control characters
// (a newline would forge a second line) and the marks that reorder text
// right-to-left are shown as U+FFFD; everything else is kept.
std::u16string describeAsker(const Asker& asker, const ClientKey& client, UserNames& users);

}  // namespace corvane
