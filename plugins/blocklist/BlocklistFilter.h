#pragma once

#include <corvane/filter.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "AppRules.h"
#include "DomainSet.h"
#include "ListFile.h"

namespace corvane::blocklist {

// The monotonic clock as the kernel updates it once a tick: reading it costs
// a few nanoseconds even where the precise clock needs a system call, and a
// tick is precise enough for a check made once a second.
struct CoarseClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<CoarseClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

// What a blocked name gets unless the block list says otherwise: the reply
// that tells the client at once that the name does not exist, so that no
// program waits out a time-out or asks another server for it.
inline constexpr std::int32_t DefaultVerdict = BlockReply;

// The names the plug-in acts on, and what it answers for a blocked one.
struct FilterLists {
    DomainSet blocked;
    DomainSet exceptions;  // the block list's own "@@" rules
    DomainSet allowed;
    std::int32_t verdict = DefaultVerdict;
    // The rules of each kind that hold for some programs only ("$app").
    AppRules blockedFor;
    AppRules exceptedFor;
    AppRules allowedFor;

    bool hasAppRules() const {
        return !blockedFor.empty() || !exceptedFor.empty() || !allowedFor.empty();
    }
};

// A query whose program is not known: rules for programs never apply to it.
class UnknownProgram final : public QueryProgram {
public:
    std::optional<std::u16string_view> program() override { return std::nullopt; }
};

// The verdict for one query name: Forward when the name or a parent domain is
// allowed or excepted, else the lists' verdict when the name or a parent is
// blocked, else Forward. A rule for some programs counts like the others
// for a query from one of them; the query's program is asked for only when
// such a rule covers the name.
std::int32_t decide(const FilterLists& lists, std::u16string_view name, QueryProgram& program);
inline std::int32_t decide(const FilterLists& lists, std::u16string_view name) {
    UnknownProgram unknown;
    return decide(lists, name, unknown);
}

// Where the plug-in says how each list file was read (see LoadReport.h):
// standard error in the plug-in, a recorder in tests.
using ReportSink = std::function<void(std::string_view line)>;
void reportToStandardError(std::string_view line);

// The two list files of one folder, kept loaded and fresh:
//   blocklist.txt   names to block, the "@verdict" directive, and "@@"
//                   exceptions, which are never blocked
//   allowlist.txt   names never to block
// Either may hold rules for some programs only ("$app").
// A missing file is an empty list. The files are read on the first query and
// read again when one of them is found changed (inode, size or modification
// time); that check runs at most once per recheck interval, so a quiet list
// costs two stat calls a second and nothing per query. A file is read into
// new sets beside those in force, which it replaces only once read to its
// end: a file that cannot be read leaves the names it had. Every reading of
// a file is reported, and a file that cannot be read once for each new
// reason or version, not at every check.
class BlocklistFilter {
public:
    using Clock = CoarseClock;

    static constexpr std::string_view BlockListFile = "blocklist.txt";
    static constexpr std::string_view AllowListFile = "allowlist.txt";

    explicit BlocklistFilter(std::string folder, ReportSink report = reportToStandardError,
                             Clock::duration recheckInterval = std::chrono::seconds(1));

    // The verdict for name, after reloading the files if they changed.
    // now is the caller's reading of Clock, so tests can step time.
    std::int32_t query(std::u16string_view name, Clock::time_point now);
    // The same, for a query whose program can be asked for.
    std::int32_t query(std::u16string_view name, Clock::time_point now, QueryProgram& program);

    const FilterLists& lists() const { return lists_; }

private:
    struct ListFile {
        std::string path;
        FileStamp stamp;
        bool loaded = false;
        // The failure said last, so that a file that stays unreadable is
        // not reported again at every check; 0 once the file reads.
        int failure = 0;
        FileStamp failedStamp;
    };

    void refresh();
    void reload(ListFile& file, ListKind kind, const FileStamp& current);
    void reportFailure(ListFile& file, int error, const FileStamp& current);

    ListFile blockList_;
    ListFile allowList_;
    ReportSink report_;
    Clock::duration recheckInterval_;
    Clock::time_point lastCheck_;
    bool checked_ = false;
    FilterLists lists_;
};

}  // namespace corvane::blocklist
