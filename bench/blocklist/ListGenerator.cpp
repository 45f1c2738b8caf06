#include "ListGenerator.h"

namespace corvane::bench {
namespace {

std::string label(Random& random, std::size_t minLength, std::size_t maxLength) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
    const std::size_t length = minLength + random.below(maxLength - minLength + 1);
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        // No '-' at either end, as in real names.
        const std::size_t pool = (i == 0 || i + 1 == length) ? 36 : 37;
        text.push_back(Letters[random.below(pool)]);
    }
    return text;
}

void appendHostsLine(std::string& text, const std::string& name, std::size_t i) {
    if (i % 1000 == 0) {
        text += "# section\n";
    }
    text += (i % 10 < 7) ? "0.0.0.0 " + name : name;
    text += (i % 4 == 0) ? "\r\n" : "\n";
}

void appendAdblockLine(std::string& text, const std::string& name, std::size_t i) {
    if (i % 1000 == 0) {
        text += "! section\n";
    }
    if (i % 500 == 7) {
        text += "@@||ok." + name + "^\n";
    } else if (i % 500 == 9) {
        text += "||" + name + "^$third-party\n";
    }
    text += "||" + name + "^\n";
}

}  // namespace

std::uint64_t Random::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

std::string randomDomain(Random& random, const char* tld) {
    std::string name = label(random, 3, 12);
    for (std::size_t extra = random.below(3); extra > 0; --extra) {
        name = label(random, 2, 10) + "." + name;
    }
    return name + "." + tld;
}

std::vector<std::string> listedDomains(Random& random, std::size_t count) {
    static const char* const Tlds[] = {"com", "net", "org", "io", "info", "xyz", "de", "ru"};
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        names.push_back(randomDomain(random, Tlds[random.below(8)]));
    }
    return names;
}

const char* formatName(ListFormat format) {
    return format == ListFormat::Hosts ? "hosts" : "adblock";
}

std::string listText(const std::vector<std::string>& names, ListFormat format) {
    std::string text;
    text.reserve(names.size() * 32);
    text += format == ListFormat::Hosts
                ? "# generated benchmark list\n@verdict Block\n"
                : "[Adblock Plus 2.0]\n! Title: generated benchmark list\n@verdict Block\n";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (format == ListFormat::Hosts) {
            appendHostsLine(text, names[i], i);
        } else {
            appendAdblockLine(text, names[i], i);
        }
    }
    return text;
}

}  // namespace corvane::bench
