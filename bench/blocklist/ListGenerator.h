#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace corvane::bench {

// A small fixed-seed generator, so every run measures the same lists.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

private:
    std::uint64_t state_;
};

// Names shaped like those of real ad and tracker lists: one to three labels
// under tld.
std::string randomDomain(Random& random, const char* tld);

// count names under a handful of common top-level domains.
std::vector<std::string> listedDomains(Random& random, std::size_t count);

// The shapes block lists are published in.
enum class ListFormat { Hosts, Adblock };
const char* formatName(ListFormat format);

// The text of a block list of names in format. Hosts: mostly hosts lines,
// some plain names, a comment now and then, CRLF line ends on a part of it,
// as lists merged from several sources are. Adblock: a header, comments and
// one "||name^" rule a name, with an exception or a rule with options now and
// then, as the published lists have.
std::string listText(const std::vector<std::string>& names, ListFormat format);

}  // namespace corvane::bench
