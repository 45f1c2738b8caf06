#include "AppRules.h"

#include <algorithm>
#include <new>

#include "NameHash.h"

namespace corvane::blocklist {

namespace {

// A valid UTF-8 sequence's code point and length at text[at]; none for an
// invalid one (overlong, a surrogate, past U+10FFFF, cut short).
struct Decoded {
    char32_t point;
    std::size_t length;
};

std::optional<Decoded> decodeAt(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        return Decoded{lead, 1};
    }
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) {
        return std::nullopt;
    }
    char32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        point = (point << 6) | (byte(i) & 0x3F);
    }
    constexpr char32_t Least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (point < Least[length] || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) {
        return std::nullopt;
    }
    return Decoded{point, length};
}

// The program's name as the host's 16-bit text; none unless valid UTF-8.
std::optional<std::u16string> programName(std::string_view text) {
    std::u16string out;
    for (std::size_t at = 0; at < text.size();) {
        const std::optional<Decoded> decoded = decodeAt(text, at);
        if (!decoded) {
            return std::nullopt;
        }
        if (decoded->point >= 0x10000) {
            const char32_t above = decoded->point - 0x10000;
            out += static_cast<char16_t>(0xD800 + (above >> 10));
            out += static_cast<char16_t>(0xDC00 + (above & 0x3FF));
        } else {
            out += static_cast<char16_t>(decoded->point);
        }
        at += decoded->length;
    }
    return out;
}

bool isPattern(std::string_view name) {
    return name.find('*') != std::string_view::npos || name.front() == '/';
}

// The hash of a whole folded name, as QueryName hashes each of its suffixes.
std::uint64_t hashOf(std::string_view folded) {
    std::uint64_t hash = HashSeed;
    for (std::size_t i = folded.size(); i > 0; --i) {
        hash = hashStep(hash, static_cast<unsigned char>(folded[i - 1]));
    }
    return hashFinish(hash);
}

bool sameName(std::string_view folded, std::u16string_view query) {
    return folded.size() == query.size() &&
           std::equal(folded.begin(), folded.end(), query.begin(), [](char a, char16_t b) {
               return b <= 0xFF && static_cast<unsigned char>(a) == foldCase(b);
           });
}

}  // namespace

bool AppPrograms::covers(std::u16string_view program) const {
    if (std::find(except.begin(), except.end(), program) != except.end()) {
        return false;
    }
    return only.empty() || std::find(only.begin(), only.end(), program) != only.end();
}

std::optional<AppPrograms> readAppOption(std::string_view options) {
    constexpr std::string_view App = "app=";
    if (!options.starts_with(App) || options.find(',') != std::string_view::npos) {
        return std::nullopt;
    }
    AppPrograms programs;
    std::string_view rest = options.substr(App.size());
    while (true) {
        const std::size_t bar = rest.find('|');
        std::string_view item = rest.substr(0, bar);
        const bool except = item.starts_with('~');
        if (except) {
            item.remove_prefix(1);
        }
        if (item.empty() || isPattern(item)) {
            return std::nullopt;
        }
        std::optional<std::u16string> name = programName(item);
        if (!name) {
            return std::nullopt;
        }
        (except ? programs.except : programs.only).push_back(std::move(*name));
        if (bar == std::string_view::npos) {
            return programs;
        }
        rest.remove_prefix(bar + 1);
    }
}

bool AppRules::add(std::string_view name, AppPrograms programs) {
    try {
        std::string folded(name);
        for (char& c : folded) {
            c = static_cast<char>(foldCase(static_cast<unsigned char>(c)));
        }
        const std::uint64_t hash = hashOf(folded);
        rules_.emplace(hash, Rule{std::move(folded), std::move(programs)});
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool AppRules::apply(const QueryName& name, QueryProgram& program) const {
    if (rules_.empty()) {
        return false;
    }
    // Asked once, by the first rule whose name covers the query's.
    std::optional<std::optional<std::u16string_view>> asked;
    for (std::size_t k = 0; k < name.suffixCount(); ++k) {
        const auto [first, last] = rules_.equal_range(name.hash(k));
        for (auto it = first; it != last; ++it) {
            if (!sameName(it->second.name, name.suffix(k))) {
                continue;
            }
            if (!asked) {
                asked = program.program();
            }
            if (!*asked) {
                return false;
            }
            if (it->second.programs.covers(**asked)) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace corvane::blocklist
