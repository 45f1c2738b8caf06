#include "BlocklistFilter.h"

#include <corvane/filter.h>
#include <time.h>

#include <cstdio>
#include <utility>

#include "ListParser.h"
#include "LoadReport.h"
#include "QueryName.h"

namespace corvane::blocklist {
namespace {

std::string joinPath(const std::string& folder, std::string_view file) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') {
        path += '/';
    }
    path += file;
    return path;
}

}  // namespace

CoarseClock::time_point CoarseClock::now() noexcept {
    timespec reading{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &reading);
    return time_point(std::chrono::seconds(reading.tv_sec) +
                      std::chrono::nanoseconds(reading.tv_nsec));
}

std::int32_t decide(const FilterLists& lists, std::u16string_view name, QueryProgram& program) {
    // Most names are not blocked: the block list is asked first, and the
    // name is taken apart only when there is one, once for all the sets.
    if (lists.blocked.size() == 0 && lists.blockedFor.empty()) {
        return Forward;
    }
    const QueryName query(name);
    if (!lists.blocked.containsSelfOrParent(query) && !lists.blockedFor.apply(query, program)) {
        return Forward;
    }
    if (lists.allowed.containsSelfOrParent(query) || lists.exceptions.containsSelfOrParent(query) ||
        lists.exceptedFor.apply(query, program) || lists.allowedFor.apply(query, program)) {
        return Forward;
    }
    return lists.verdict;
}

void reportToStandardError(std::string_view line) {
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

BlocklistFilter::BlocklistFilter(std::string folder, ReportSink report,
                                 Clock::duration recheckInterval)
    : report_(std::move(report)), recheckInterval_(recheckInterval) {
    blockList_.path = joinPath(folder, BlockListFile);
    allowList_.path = joinPath(folder, AllowListFile);
}

std::int32_t BlocklistFilter::query(std::u16string_view name, Clock::time_point now) {
    UnknownProgram unknown;
    return query(name, now, unknown);
}

std::int32_t BlocklistFilter::query(std::u16string_view name, Clock::time_point now,
                                    QueryProgram& program) {
    if (!checked_ || now - lastCheck_ >= recheckInterval_) {
        checked_ = true;
        lastCheck_ = now;
        refresh();
    }
    return decide(lists_, name, program);
}

void BlocklistFilter::refresh() {
    // A file that cannot be read now (no permission, a folder in its place)
    // keeps the names loaded before and is tried again at the next check.
    for (ListFile* file : {&blockList_, &allowList_}) {
        FileStamp current;
        if (const int error = stampOf(file->path, current); error != 0) {
            reportFailure(*file, error, current);
            continue;
        }
        if (file->loaded && current == file->stamp) {
            file->failure = 0;
            continue;
        }
        reload(*file, file == &blockList_ ? ListKind::Block : ListKind::Allow, current);
    }
}

void BlocklistFilter::reload(ListFile& file, ListKind kind, const FileStamp& current) {
    // The allow list's "@@" rules allow, like the rest of it.
    DomainSet::Builder names;
    DomainSet::Builder exceptions;
    AppRules appNames;
    AppRules appExceptions;
    const bool block = kind == ListKind::Block;
    ListReader reader(kind, names, block ? exceptions : names, &appNames,
                      block ? &appExceptions : &appNames);
    FileStamp stamp;
    if (const int error = readListFile(file.path, reader, stamp); error != 0) {
        reportFailure(file, error, current);
        return;
    }
    const ParseSummary summary = reader.finish();
    // Each new set is indexed while the old one still answers, then takes
    // its place: at most two of a kind are ever held.
    if (block) {
        lists_.blocked = names.build();
        lists_.exceptions = exceptions.build();
        lists_.verdict = summary.verdict.value_or(DefaultVerdict);
        lists_.blockedFor = std::move(appNames);
        lists_.exceptedFor = std::move(appExceptions);
    } else {
        lists_.allowed = names.build();
        lists_.allowedFor = std::move(appNames);
    }
    file.stamp = stamp;
    file.loaded = true;
    file.failure = 0;
    report_(stamp.exists ? readReport(file.path, summary, kind == ListKind::Block)
                         : missingReport(file.path));
}

void BlocklistFilter::reportFailure(ListFile& file, int error, const FileStamp& current) {
    if (file.failure == error && file.failedStamp == current) {
        return;
    }
    file.failure = error;
    file.failedStamp = current;
    report_(unreadableReport(file.path, error, file.loaded && file.stamp.exists));
}

}  // namespace corvane::blocklist
