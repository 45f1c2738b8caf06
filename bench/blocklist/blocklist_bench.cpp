// Measures the blocklist plug-in with lists of the size users install:
// generates 1,000,000 domains (unless a count is given), writes them as a
// hosts-style list and as an adblock-style list, and for each loads the list
// from its file as the plug-in does, measures the memory the lists add and
// times lookups of listed names, unlisted names and deep subdomains. Prints
// the figures; asserts nothing about speed.
//
//   blocklist_bench [domain-count]
//   blocklist_bench --memory FOLDER    (run by the first form: the memory
//                                       figures of the lists in FOLDER)
#include <corvane/filter.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "BlocklistFilter.h"
#include "ListGenerator.h"
#include "ListParser.h"

namespace {

using corvane::bench::ListFormat;
using corvane::blocklist::BlocklistFilter;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Processor time of this thread: on a machine busy with other work it shows
// the cost of the code itself, where the wall clock also counts waiting.
double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct Timing {
    double wall;
    double processor;
};

class Stopwatch {
public:
    Timing elapsed() const { return {secondsSince(wallStart_), threadSeconds() - cpuStart_}; }

private:
    Clock::time_point wallStart_ = Clock::now();
    double cpuStart_ = threadSeconds();
};

// One field of /proc/self/status, in MB.
double statusMegabytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        double kilobytes = 0;
        if (key == field && status >> kilobytes) {
            return kilobytes / 1024.0;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

// Starts the process's peak resident set afresh from what is resident now.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5\n";
}

// Resident memory the block list adds: steady after the first load, and at
// the peak of that load and of a reload of the same file. Run in a process
// of its own, started afresh, so that memory the allocator kept from earlier
// work does not hide what the lists take.
void measureMemory(const std::filesystem::path& folder) {
    const double base = statusMegabytes("VmRSS:");
    resetPeak();
    auto filter = std::make_unique<BlocklistFilter>(folder.string());
    BlocklistFilter::Clock::time_point now{};
    filter->query(u"warm.up", now);
    const double loadPeak = statusMegabytes("VmHWM:") - base;
    const double steady = statusMegabytes("VmRSS:") - base;
    // Another modification time makes the next check read the file again.
    const std::filesystem::path list = folder / BlocklistFilter::BlockListFile;
    const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 0}};
    utimensat(AT_FDCWD, list.c_str(), times, 0);
    resetPeak();
    filter->query(u"warm.up", now + std::chrono::seconds(2));
    const double reloadPeak = statusMegabytes("VmHWM:") - base;
    const auto& blocked = filter->lists().blocked;
    std::printf(
        "  memory: %.1f MB in the block set (%.1f bytes per domain); resident added: %.1f MB "
        "steady, %.1f MB at the peak of the load, %.1f MB at the peak of a reload\n",
        static_cast<double>(blocked.memoryBytes()) / 1e6,
        static_cast<double>(blocked.memoryBytes()) / static_cast<double>(blocked.size()), steady,
        loadPeak, reloadPeak);
}

void measureMemoryInFreshProcess(const std::filesystem::path& folder) {
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        execl("/proc/self/exe", "blocklist_bench", "--memory", folder.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || status != 0) {
        std::printf("  ! the memory measurement failed\n");
    }
}

void measureParse(const std::string& text) {
    corvane::blocklist::DomainSet::Builder names;
    corvane::blocklist::DomainSet::Builder exceptions;
    const Stopwatch watch;
    const auto summary =
        corvane::blocklist::parseList(text, corvane::blocklist::ListKind::Block, names, exceptions);
    const auto set = names.build();
    const Timing took = watch.elapsed();
    std::printf(
        "  parse from memory: %.3f s wall, %.3f s processor (%zu names, %zu distinct, "
        "%zu exceptions, %zu lines skipped)\n",
        took.wall, took.processor, summary.names, set.size(), summary.exceptions,
        summary.skippedLines);
}

// Loading as the plug-in does on its first call: read both files, parse,
// build the sets. Best of three.
void measureLoad(const std::filesystem::path& folder) {
    Timing best{1e9, 1e9};
    for (int attempt = 0; attempt < 3; ++attempt) {
        BlocklistFilter fresh(folder.string());
        const Stopwatch watch;
        fresh.query(u"warm.up", BlocklistFilter::Clock::now());
        const Timing took = watch.elapsed();
        best = {std::min(best.wall, took.wall), std::min(best.processor, took.processor)};
    }
    std::printf("  load from file (first query), best of 3: %.3f s wall, %.3f s processor\n",
                best.wall, best.processor);
}

// Times lookups of every name, repeated until about a million calls, and
// returns nanoseconds per call; blocked counts the non-Forward verdicts of
// one round.
template <typename Lookup>
Timing timeLookups(const std::vector<std::u16string>& names, Lookup lookup, std::size_t& blocked) {
    const std::size_t rounds = std::max<std::size_t>(1, 1000000 / names.size());
    blocked = 0;
    const Stopwatch watch;
    for (std::size_t round = 0; round < rounds; ++round) {
        for (const std::u16string& name : names) {
            blocked += lookup(name) != Forward ? 1 : 0;
        }
    }
    const Timing total = watch.elapsed();
    blocked /= rounds;
    const double calls = static_cast<double>(rounds * names.size());
    return {total.wall * 1e9 / calls, total.processor * 1e9 / calls};
}

struct QuerySet {
    const char* title;
    std::vector<std::u16string> names;
};

std::u16string queryText(const std::string& name) {
    return std::u16string(name.begin(), name.end());
}

// 100,000 names of each kind.
std::vector<QuerySet> querySets(corvane::bench::Random& random,
                                const std::vector<std::string>& listed) {
    std::vector<QuerySet> sets = {{"listed name", {}},
                                  {"unlisted name", {}},
                                  {"subdomain 7 labels below a listed name", {}},
                                  {"unlisted name 7 labels deep", {}}};
    for (std::size_t i = 0; i < 100000; ++i) {
        const std::string& name = listed[random.below(listed.size())];
        sets[0].names.push_back(queryText(name));
        // Unlisted top-level domain: certain misses with the same shape.
        sets[1].names.push_back(queryText(corvane::bench::randomDomain(random, "example")));
        sets[2].names.push_back(queryText("a1.b2.c3.d4.e5.f6.cdn." + name));
        sets[3].names.push_back(
            queryText("a1.b2.c3.d4.e5.f6.cdn." + corvane::bench::randomDomain(random, "example")));
    }
    return sets;
}

void measureLookups(const std::filesystem::path& folder, const std::vector<QuerySet>& sets) {
    BlocklistFilter filter(folder.string());
    filter.query(u"warm.up", BlocklistFilter::Clock::now());
    std::printf(
        "  lookups in ns per call, wall/processor (decide: the lists alone; query: as\n"
        "  FilterQuery runs it, with the clock read for the change check):\n");
    for (const QuerySet& set : sets) {
        std::size_t blockedByDecide = 0;
        std::size_t blockedByQuery = 0;
        const Timing decideNs = timeLookups(
            set.names, [&](const std::u16string& name) { return decide(filter.lists(), name); },
            blockedByDecide);
        const Timing queryNs = timeLookups(
            set.names,
            [&](const std::u16string& name) {
                return filter.query(name, BlocklistFilter::Clock::now());
            },
            blockedByQuery);
        std::printf("    %-40s decide %5.0f/%5.0f  query %5.0f/%5.0f  (%zu of %zu blocked)\n",
                    set.title, decideNs.wall, decideNs.processor, queryNs.wall, queryNs.processor,
                    blockedByDecide, set.names.size());
        if (blockedByDecide != blockedByQuery) {
            std::printf("    ! decide and query disagree\n");
        }
    }
}

void writeFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "--memory") {
        measureMemory(argv[2]);
        return 0;
    }
    const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1000000;
    if (count == 0) {
        std::fprintf(stderr, "usage: blocklist_bench [domain-count]\n");
        return 2;
    }
    std::string folderName = (std::filesystem::temp_directory_path() / "corvane-bench-XXXXXX");
    if (mkdtemp(folderName.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::filesystem::path folder = folderName;

    corvane::bench::Random random(20240601);
    const std::vector<std::string> listed = corvane::bench::listedDomains(random, count);
    std::string allowText;
    for (std::size_t i = 0; i < 1000; ++i) {
        allowText += listed[random.below(listed.size())] + '\n';
    }
    const std::vector<QuerySet> sets = querySets(random, listed);
    for (const ListFormat format : {ListFormat::Hosts, ListFormat::Adblock}) {
        const std::filesystem::path lists = folder / corvane::bench::formatName(format);
        std::filesystem::create_directory(lists);
        writeFile(lists / BlocklistFilter::AllowListFile, allowText);
        {
            const std::string text = corvane::bench::listText(listed, format);
            writeFile(lists / BlocklistFilter::BlockListFile, text);
            std::printf("%s list: %zu domains, %.1f MB of text\n",
                        corvane::bench::formatName(format), count,
                        static_cast<double>(text.size()) / 1e6);
            measureParse(text);
        }
        measureMemoryInFreshProcess(lists);
        measureLoad(lists);
        measureLookups(lists, sets);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
