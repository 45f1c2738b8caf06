// Measures the blocklist plug-in with a list of the size users install:
// generates the list (1,000,000 domains unless a count is given), loads it
// from a file as the plug-in does, and times lookups of listed names, unlisted
// names and deep subdomains. Prints the figures; asserts nothing about speed.
//
//   blocklist_bench [domain-count]
#include <corvane/filter.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BlocklistFilter.h"
#include "ListParser.h"

namespace {

using corvane::blocklist::BlocklistFilter;
using Clock = std::chrono::steady_clock;

// A small fixed-seed generator, so every run measures the same list.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

private:
    std::uint64_t state_;
};

std::string label(Random& random, std::size_t minLength, std::size_t maxLength) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
    const std::size_t length = minLength + random.below(maxLength - minLength + 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        // No '-' at either end, as in real names.
        const std::size_t pool = (i == 0 || i + 1 == length) ? 36 : 37;
        text.push_back(letters[random.below(pool)]);
    }
    return text;
}

// Names shaped like those of real ad and tracker lists: one to three labels
// under a common top-level domain.
std::string domain(Random& random, const char* tld) {
    std::string name = label(random, 3, 12);
    for (std::size_t extra = random.below(3); extra > 0; --extra) {
        name = label(random, 2, 10) + "." + name;
    }
    return name + "." + tld;
}

std::u16string queryText(const std::string& name) {
    return std::u16string(name.begin(), name.end());
}

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

}  // namespace

int main(int argc, char** argv) {
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

    // The list: mostly hosts lines, some plain names, a comment now and then,
    // CRLF line ends on a part of it, as lists merged from several sources are.
    static const char* const tlds[] = {"com", "net", "org", "io", "info", "xyz", "de", "ru"};
    Random random(20240601);
    std::vector<std::string> listed;
    listed.reserve(count);
    std::string text;
    text.reserve(count * 32);
    text += "# generated benchmark list\n@verdict Block\n";
    for (std::size_t i = 0; i < count; ++i) {
        listed.push_back(domain(random, tlds[random.below(8)]));
        if (i % 1000 == 0) {
            text += "# section\n";
        }
        text += (i % 10 < 7) ? "0.0.0.0 " + listed.back() : listed.back();
        text += (i % 4 == 0) ? "\r\n" : "\n";
    }
    {
        std::ofstream out(folder / BlocklistFilter::BlockListFile, std::ios::binary);
        out << text;
        std::ofstream allow(folder / BlocklistFilter::AllowListFile, std::ios::binary);
        for (std::size_t i = 0; i < 1000; ++i) {
            allow << listed[random.below(listed.size())] << '\n';
        }
    }
    std::printf("list: %zu domains, %.1f MB of text\n", count, text.size() / 1e6);

    // Parsing alone, from memory.
    {
        corvane::blocklist::DomainSet::Builder builder;
        corvane::blocklist::DomainSet::Builder exceptions;
        const Stopwatch watch;
        const auto summary = corvane::blocklist::parseList(
            text, corvane::blocklist::ListKind::Block, builder, exceptions);
        const auto names = builder.build();
        const Timing took = watch.elapsed();
        std::printf(
            "parse from memory: %.3f s wall, %.3f s processor (%zu names, %zu distinct, "
            "%zu lines skipped)\n",
            took.wall, took.processor, summary.names, names.size(), summary.skippedLines);
    }
    text.clear();
    text.shrink_to_fit();

    // Loading as the plug-in does on its first call: read both files, parse,
    // build the sets. Best of three.
    Timing bestLoad{1e9, 1e9};
    for (int attempt = 0; attempt < 3; ++attempt) {
        BlocklistFilter fresh(folder.string());
        const Stopwatch watch;
        fresh.query(u"warm.up", BlocklistFilter::Clock::now());
        const Timing took = watch.elapsed();
        bestLoad = {std::min(bestLoad.wall, took.wall),
                    std::min(bestLoad.processor, took.processor)};
    }
    BlocklistFilter filter(folder.string());
    filter.query(u"warm.up", BlocklistFilter::Clock::now());
    const auto& lists = filter.lists();
    std::printf("load from file (first query), best of 3: %.3f s wall, %.3f s processor\n",
                bestLoad.wall, bestLoad.processor);
    std::printf("memory: %.1f MB in the block set (%.1f bytes per domain)\n",
                lists.blocked.memoryBytes() / 1e6,
                static_cast<double>(lists.blocked.memoryBytes()) / lists.blocked.size());

    // Query sets of 100,000 names each.
    constexpr std::size_t querySetSize = 100000;
    std::vector<std::u16string> hits, misses, deepHits, deepMisses;
    for (std::size_t i = 0; i < querySetSize; ++i) {
        const std::string& name = listed[random.below(listed.size())];
        hits.push_back(queryText(name));
        // Unlisted top-level domain: certain misses with the same shape.
        misses.push_back(queryText(domain(random, "example")));
        deepHits.push_back(queryText("a1.b2.c3.d4.e5.f6.cdn." + name));
        deepMisses.push_back(queryText("a1.b2.c3.d4.e5.f6.cdn." + domain(random, "example")));
    }
    struct Row {
        const char* title;
        const std::vector<std::u16string>* names;
    };
    const Row rows[] = {{"listed name", &hits},
                        {"unlisted name", &misses},
                        {"subdomain 7 labels below a listed name", &deepHits},
                        {"unlisted name 7 labels deep", &deepMisses}};
    std::printf(
        "lookups in ns per call, wall/processor (decide: the lists alone; query: as\n"
        "FilterQuery runs it, with the clock read for the change check):\n");
    for (const Row& row : rows) {
        std::size_t blockedByDecide = 0;
        std::size_t blockedByQuery = 0;
        const Timing decideNs = timeLookups(
            *row.names, [&](const std::u16string& name) { return decide(lists, name); },
            blockedByDecide);
        const Timing queryNs = timeLookups(
            *row.names,
            [&](const std::u16string& name) {
                return filter.query(name, BlocklistFilter::Clock::now());
            },
            blockedByQuery);
        std::printf("  %-40s decide %5.0f/%5.0f  query %5.0f/%5.0f  (%zu of %zu blocked)\n",
                    row.title, decideNs.wall, decideNs.processor, queryNs.wall, queryNs.processor,
                    blockedByDecide, row.names->size());
        if (blockedByDecide != blockedByQuery) {
            std::printf("  ! decide and query disagree\n");
        }
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident set of the benchmark: %.0f MB\n", usage.ru_maxrss / 1024.0);
    std::filesystem::remove_all(folder);
    return 0;
}
