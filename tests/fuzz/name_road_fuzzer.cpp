// One query along the whole road a hostile name takes: the question reading
// and handleQuery of the proxy, the real blocklist plug-in (the built
// Filter.DLL with its lists, BlocklistHarness.h) and the real logger, whose
// line goes to a view and to a log file.
//
// The input is the query, in a heap block exactly as long as it. Fuzzing
// makes queries of up to 2048 bytes, the most a datagram brings; the seeds
// of up to the 65,535 bytes of a TCP message are replayed whole. Bit 0 of
// its first byte (the high byte of the ID) picks the plug-in whose verdict
// is BlockReply, else Block. Checked: the names offered are those of the
// query, in order, up to the first verdict other than Forward; each verdict
// is what the lists say; the query goes upstream, is dropped or is answered
// as that verdict says; and the log line is one line that reads back,
// escapes undone, as exactly the message the verdict calls for.

#include <corvane/filter.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

#include "BlocklistHarness.h"
#include "FuzzCheck.h"
#include "ProxyHarness.h"
#include "TrackingNetwork.h"
#include "log/Logger.h"
#include "proxy/QueryPath.h"

namespace corvane::fuzz {
namespace {

constexpr ConnectionId Client = 7;

// The plug-in of the current input, behind a record of each name offered
// and the verdict it gave.
FilterQueryFunction realFilter = nullptr;
std::vector<std::int32_t> verdictsGiven;

std::int32_t recordingFilter(const char16_t* name) {
    offeredNames().emplace_back(name);
    return verdictsGiven.emplace_back(realFilter(name));
}

class LineRecorder final : public LogView {
public:
    void appendLine(std::u16string_view line) override { lines.emplace_back(line); }
    std::vector<std::u16string> lines;
};

// The logger of the run and its file, made afresh every so many inputs so
// that the file stays small over millions of them.
class RoadLog {
public:
    RoadLog() : folder_(freshFolder()) {}
    ~RoadLog() {
        logger_.reset();
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    RoadLog(const RoadLog&) = delete;
    RoadLog& operator=(const RoadLog&) = delete;

    Logger& logger() {
        if (!logger_ || ++uses_ % 4096 == 0) {
            logger_.reset();
            logger_.emplace(clock_, (folder_ / "log.log").string());
            logger_->setView(&view);
        }
        return *logger_;
    }

    LineRecorder view;

private:
    std::filesystem::path folder_;
    test::FakeClock clock_;
    std::optional<Logger> logger_;
    unsigned uses_ = 0;
};

RoadLog& roadLog() {
    static RoadLog log;
    return log;
}

// The message inside a logged line: the time prefix checked and dropped,
// every "\xHH" read back. A raw control character or backslash fails.
std::u16string messageOf(std::u16string_view line) {
    constexpr std::size_t PrefixLength = 11;  // "hh:mm:ss | "
    FUZZ_CHECK(line.size() >= PrefixLength && line.substr(8, 3) == u" | ",
               "a log line without its time prefix");
    auto hexValue = [](char16_t c) -> int {
        if (c >= u'0' && c <= u'9') {
            return c - u'0';
        }
        return c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
    };
    std::u16string message;
    for (std::size_t i = PrefixLength; i < line.size(); ++i) {
        const char16_t c = line[i];
        FUZZ_CHECK(c >= 0x20 && (c < 0x7F || c > 0x9F), "a control character in a log line");
        if (c != u'\\') {
            message.push_back(c);
            continue;
        }
        FUZZ_CHECK(i + 3 < line.size() && line[i + 1] == u'x' && hexValue(line[i + 2]) >= 0 &&
                       hexValue(line[i + 3]) >= 0,
                   "a backslash in a log line that is not an escape");
        message.push_back(
            static_cast<char16_t>(hexValue(line[i + 2]) << 4 | hexValue(line[i + 3])));
        i += 3;
    }
    return message;
}

void run(std::span<const std::uint8_t> input) {
    const std::uint8_t scene = input.empty() ? 0 : input[0];
    const ListedPlugin& plugin = listedPlugin((scene & 0x01) != 0 ? BlockReply : Block);
    realFilter = plugin.filter();
    offeredNames().clear();
    verdictsGiven.clear();
    RoadLog& road = roadLog();
    road.view.lines.clear();

    TrackingNetwork net(UpstreamLink);
    const test::FakeClock clock;
    const ProxyServices services{net, road.logger(), clock, recordingFilter};
    QueriesInFlight q(test::testSeed());
    const std::size_t length = input.size();
    std::unique_ptr<std::uint8_t[]> query(new std::uint8_t[length]);
    if (length != 0) {
        std::memcpy(query.get(), input.data(), length);
    }
    net.receivedFrom(Client);
    handleQuery(q, query.get(), static_cast<std::int32_t>(length), Client, UpstreamLink, services);
    auditTables(q, net);
    if (length < 12) {
        FUZZ_CHECK(net.sent.empty() && road.view.lines.empty(), "a runt query had an effect");
        return;
    }

    // What should have happened.
    const std::vector<std::u16string> names = expectedNames(input);
    std::int32_t verdict = Forward;
    std::size_t offered = 0;
    std::u16string joined;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (verdict == Forward) {
            verdict = expectedVerdict(names[i], plugin.verdict());
            FUZZ_CHECK(i < verdictsGiven.size() && verdictsGiven[i] == verdict,
                       "the plug-in's verdict differs from what its lists say");
            offered = i + 1;
        }
        joined += (i == 0 ? u"" : u", ") + names[i];
    }
    FUZZ_CHECK(offeredNames().size() == offered &&
                   std::equal(offeredNames().begin(), offeredNames().end(), names.begin()),
               "the names offered to the plug-in");
    FUZZ_CHECK(road.view.lines.size() == 1, "one log line per query");
    const std::u16string logged = messageOf(road.view.lines[0]);
    const std::u16string prefix = u"Q  [" + idText(input[0], input[1]) + u"] : ";

    if (verdict == Forward) {
        FUZZ_CHECK(logged == prefix + joined, "the log line of a forwarded query");
        FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == UpstreamLink &&
                       net.sent[0].bytes.size() == length &&
                       std::equal(input.begin() + 2, input.end(), net.sent[0].bytes.begin() + 2),
                   "the query upstream");
        return;
    }
    const std::u16string& name = names[offered - 1];
    FUZZ_CHECK(logged == prefix + (verdict == Block ? u"block (" : u"block-F (") + name + u")",
               "the log line of a blocked query");
    FUZZ_CHECK(!net.isOpen(Client), "a blocked query left its client open");
    if (verdict == Block) {
        FUZZ_CHECK(net.sent.empty(), "a dropped query was sent somewhere");
    } else {
        FUZZ_CHECK(net.sent.size() == 1 && net.sent[0].to == Client &&
                       net.sent[0].bytes.size() >= 12 && net.sent[0].bytes[0] == input[0] &&
                       net.sent[0].bytes[1] == input[1],
                   "the reply to a blocked query");
    }
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::run({data, size});
    return 0;
}
