#include "ListParser.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <string>

namespace corvane::blocklist {
namespace {

constexpr std::string_view whitespace = " \t\r\v\f";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

bool isAddress(std::string_view token) {
    // Link-local entries carry a zone ("fe80::1%lo0"); the zone is not part
    // of the address.
    token = token.substr(0, token.find('%'));
    if (token.empty() || token.size() > 45) {
        return false;
    }
    // Most tokens are domain names; spare them the conversion below.
    if (token.find(':') == std::string_view::npos &&
        token.find_first_not_of("0123456789.") != std::string_view::npos) {
        return false;
    }
    const std::string text(token);
    std::array<unsigned char, 16> address;
    return inet_pton(AF_INET, text.c_str(), address.data()) == 1 ||
           inet_pton(AF_INET6, text.c_str(), address.data()) == 1;
}

// Names every hosts file maps for the machine itself. Taken literally they
// would block "localhost" and, through the subdomain rule, all of ".local".
bool isOwnHostName(std::string_view name) {
    static constexpr std::array<std::string_view, 11> names = {
        "localhost",     "localhost.localdomain", "local",        "broadcasthost",
        "ip6-localhost", "ip6-loopback",          "ip6-localnet", "ip6-mcastprefix",
        "ip6-allnodes",  "ip6-allrouters",        "ip6-allhosts"};
    for (std::string_view own : names) {
        if (equalsIgnoringCase(name, own)) {
            return true;
        }
    }
    return false;
}

bool isNameByte(unsigned char byte) {
    return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
           (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte >= 0x80;
}

struct Tokens {
    std::array<std::string_view, 2> first;  // the first two tokens
    std::size_t count = 0;
    std::string_view rest;  // everything after the first token
};

Tokens splitLine(std::string_view line) {
    Tokens tokens;
    std::size_t position = 0;
    while (true) {
        const std::size_t start = line.find_first_not_of(whitespace, position);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(whitespace, start), line.size());
        if (tokens.count < tokens.first.size()) {
            tokens.first[tokens.count] = line.substr(start, end - start);
        }
        if (tokens.count == 0) {
            tokens.rest = line.substr(end);
        }
        ++tokens.count;
        position = end;
    }
    return tokens;
}

std::optional<std::int32_t> verdictNamed(std::string_view value) {
    if (equalsIgnoringCase(value, "Block")) {
        return Block;
    }
    if (equalsIgnoringCase(value, "BlockReply")) {
        return BlockReply;
    }
    return std::nullopt;
}

}  // namespace

std::string_view usableName(std::string_view token) {
    if (token.size() >= 2 && token[0] == '*' && token[1] == '.') {
        token.remove_prefix(2);
    }
    if (!token.empty() && token.back() == '.') {
        token.remove_suffix(1);
    }
    if (token.empty() || token.size() > DomainSet::maxNameLength || isAddress(token)) {
        return {};
    }
    std::size_t labelLength = 0;
    for (const char c : token) {
        if (c == '.') {
            if (labelLength == 0) {
                return {};
            }
            labelLength = 0;
        } else if (!isNameByte(static_cast<unsigned char>(c)) || ++labelLength > 63) {
            return {};
        }
    }
    return labelLength == 0 ? std::string_view{} : token;
}

ParseSummary parseList(std::string_view text, ListKind kind, DomainSet& names) {
    ParseSummary summary;
    // One name a line is the common shape; hosts lines with several names
    // only make the set grow once more. A name takes its length byte where
    // the text had a line end or a space, so the text's size bounds the bytes.
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    names.reserve(names.size() + lines + 1, text.size() + 1);
    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        line = line.substr(0, line.find('#'));

        const Tokens tokens = splitLine(line);
        if (tokens.count == 0) {
            continue;
        }
        const std::string_view head = tokens.first[0];
        if (head.front() == '@') {
            const auto verdict =
                tokens.count == 2 && kind == ListKind::Block && equalsIgnoringCase(head, "@verdict")
                    ? verdictNamed(tokens.first[1])
                    : std::nullopt;
            if (verdict) {
                summary.verdict = verdict;
            } else {
                ++summary.skippedLines;
            }
            continue;
        }
        if (isAddress(head)) {
            // A hosts line: every name after the address counts; a bad one is
            // skipped without losing its neighbours.
            bool allTaken = tokens.count >= 2;
            std::string_view rest = tokens.rest;
            while (true) {
                const std::size_t start = rest.find_first_not_of(whitespace);
                if (start == std::string_view::npos) {
                    break;
                }
                const std::size_t end =
                    std::min(rest.find_first_of(whitespace, start), rest.size());
                const std::string_view name = usableName(rest.substr(start, end - start));
                if (!name.empty() && !isOwnHostName(name) && names.add(name)) {
                    ++summary.names;
                } else {
                    allTaken = false;
                }
                rest.remove_prefix(end);
            }
            if (!allTaken) {
                ++summary.skippedLines;
            }
            continue;
        }
        const std::string_view name = tokens.count == 1 ? usableName(head) : std::string_view{};
        if (!name.empty() && names.add(name)) {
            ++summary.names;
        } else {
            ++summary.skippedLines;
        }
    }
    names.shrinkToFit();
    return summary;
}

}  // namespace corvane::blocklist
