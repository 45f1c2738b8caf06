// What attribution reads from outside: the kernel's socket lookup reply, and
// the texts of a process's /proc entries, parts of which (its comm, its
// executable's name) the process chooses itself. Every reader takes any
// bytes; a name a program chose cannot forge the fields after it, and the
// description the window shows holds no line break or reordering mark.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "attribution/AskerDescription.h"
#include "attribution/DiagMessage.h"
#include "attribution/ProcText.h"

namespace {

using namespace corvane;

class NoNames final : public UserNames {
public:
    std::u16string name;
    std::u16string_view userName(std::uint32_t) override { return name; }
};

std::uint64_t startTimeFrom(std::string_view bytes) {
    std::uint64_t value = 0;
    for (const char c : bytes.substr(0, 8)) {
        value = (value << 8) | static_cast<unsigned char>(c);
    }
    return value;
}

// Input: the netlink reply as it is; and, split at the first 0 byte, a comm
// and an executable link, the first eight bytes of the link also serving as
// a start time.
void checkTexts(std::string_view input) {
    const std::size_t split = input.find('\0');
    const std::string_view comm = input.substr(0, split);
    const std::string_view link =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    const std::uint64_t startTime = startTimeFrom(link);
    const std::string stat = "4242 (" + std::string(comm) + ") R 1 2 3 4 -1 5 6 7 8 9 10 11 12 " +
                             "-13 20 0 1 0 " + std::to_string(startTime) + " 14 15 16\n";
    FUZZ_CHECK(startTimeFromStat(stat) == startTime, "a comm moved the start time");
    (void)startTimeFromStat(input);

    const std::string program = programName(link, comm);
    const std::string_view fromLink = executableFileName(link);
    FUZZ_CHECK(fromLink.find('/') == std::string_view::npos, "a path left in the file name");
    FUZZ_CHECK(program.empty() == (fromLink.empty() && commandName(comm).empty()),
               "a name lost or made up");

    NoNames users;
    users.name = programText(comm);
    const Asker asker{AskerState::Process, 4242, 1000, program, true};
    for (const char16_t c : describeAsker(asker, ClientKey{}, users)) {
        FUZZ_CHECK(c >= 0x20 && (c < 0x7F || c > 0x9F), "a control character shown");
        FUZZ_CHECK(!(c >= 0x202A && c <= 0x202E) && !(c >= 0x2066 && c <= 0x2069) && c != 0x2028 &&
                       c != 0x2029 && c != 0x200E && c != 0x200F,
                   "a reordering or line mark shown");
    }
}

void checkReply(std::span<const std::uint8_t> bytes) {
    const ClientEndpoint endpoint{ClientKey{IpProtocol::Udp, 0x0100007F, 5353}, 0x0100007F, 53};
    for (const std::uint32_t sequence : {0u, 1u, 5u}) {
        const DiagReply reply = readDiagReply(bytes, sequence, endpoint);
        if (reply.result == SocketLookup::Found) {
            FUZZ_CHECK(reply.answersRequest, "found without answering");
            FUZZ_CHECK(reply.record.inode != 0, "a socket without an inode");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    checkReply(std::span<const std::uint8_t>(data, size));
    checkTexts(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
