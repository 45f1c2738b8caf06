#include "ListParser.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <string>

namespace corvane::blocklist {
namespace {

// The standard library's find_first_of asks memchr about each byte of a
// line in turn; over a million lines that was a fifth of the load.
bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// Where the next token of text starts at or after position, and where it
// ends; start == end == text.size() when there is none.
struct Span {
    std::size_t start;
    std::size_t end;
};

Span nextToken(std::string_view text, std::size_t position) {
    while (position < text.size() && isWhitespace(text[position])) {
        ++position;
    }
    std::size_t end = position;
    while (end < text.size() && !isWhitespace(text[end])) {
        ++end;
    }
    return {position, end};
}

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
    bool colon = false;
    bool other = false;
    for (const char c : token) {
        colon = colon || c == ':';
        other = other || ((c < '0' || c > '9') && c != '.');
    }
    if (!colon && other) {
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
    static constexpr std::array<std::string_view, 11> Names = {
        "localhost",     "localhost.localdomain", "local",        "broadcasthost",
        "ip6-localhost", "ip6-loopback",          "ip6-localnet", "ip6-mcastprefix",
        "ip6-allnodes",  "ip6-allrouters",        "ip6-allhosts"};
    for (std::string_view own : Names) {
        if (equalsIgnoringCase(name, own)) {
            return true;
        }
    }
    return false;
}

// What a byte may be in a name, looked up once per byte of every name read.
enum ByteClass : unsigned char { NotInNames = 0, InNames = 1, Digit = 2 };

constexpr std::array<unsigned char, 256> ByteClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        const bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
        const bool digit = byte >= '0' && byte <= '9';
        if (letter || digit || byte == '-' || byte == '_' || byte >= 0x80) {
            classes[byte] = digit ? InNames | Digit : InNames;
        }
    }
    return classes;
}();

struct Tokens {
    std::array<std::string_view, 2> first;  // the first two tokens
    std::size_t count = 0;
    std::string_view rest;  // everything after the first token
};

Tokens splitLine(std::string_view line) {
    Tokens tokens;
    for (Span token = nextToken(line, 0); token.start < line.size();
         token = nextToken(line, token.end)) {
        if (tokens.count < tokens.first.size()) {
            tokens.first[tokens.count] = line.substr(token.start, token.end - token.start);
        }
        if (tokens.count == 0) {
            tokens.rest = line.substr(token.end);
        }
        ++tokens.count;
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

// An element-hiding rule ("example.com##.ad", "#@#", "#?#", "#$#" and
// their kin) styles pages; it says nothing about the name before it, which
// would otherwise survive as a plain domain once the '#' cut the rest off.
// A '#' after whitespace or at the start still begins a comment.
bool startsElementHiding(std::string_view line, std::size_t hash) {
    if (hash == 0 || isWhitespace(line[hash - 1])) {
        return false;
    }
    const std::size_t marker = line.find_first_not_of("@?$%", hash + 1);
    return marker != std::string_view::npos && marker - hash <= 3 && line[marker] == '#';
}

// "[Adblock Plus 2.0]" and the like name the syntax, nothing to block.
bool isHeader(std::string_view line) {
    const Span first = nextToken(line, 0);
    std::size_t last = line.size();
    while (last > first.start && isWhitespace(line[last - 1])) {
        --last;
    }
    return first.start < line.size() && line[first.start] == '[' && line[last - 1] == ']';
}

// The name of "||name^", the one adblock-style rule that is about a name and
// all its subdomains; empty for any other rule. A closing "|" anchors the
// rule at the end of the address, which for a whole name adds nothing.
std::string_view ruleName(std::string_view rule) {
    if (rule.ends_with("^|")) {
        rule.remove_suffix(1);
    }
    if (rule.size() < 4 || !rule.starts_with("||") || rule.back() != '^') {
        return {};
    }
    return usableName(rule.substr(2, rule.size() - 3));
}

}  // namespace

std::string_view usableName(std::string_view token) {
    if (token.size() >= 2 && token[0] == '*' && token[1] == '.') {
        token.remove_prefix(2);
    }
    if (!token.empty() && token.back() == '.') {
        token.remove_suffix(1);
    }
    if (token.empty() || token.size() > MaxNameLength) {
        return {};
    }
    std::size_t labelLength = 0;
    bool digitsOnly = true;
    for (const char c : token) {
        const unsigned char byteClass = ByteClasses[static_cast<unsigned char>(c)];
        if (c == '.') {
            if (labelLength == 0) {
                return {};
            }
            labelLength = 0;
        } else if ((byteClass & InNames) == 0 || ++labelLength > 63) {
            return {};
        }
        digitsOnly = digitsOnly && (c == '.' || (byteClass & Digit) != 0);
    }
    // Only digits and dots can make an address a name could be taken for.
    if (labelLength == 0 || (digitsOnly && isAddress(token))) {
        return {};
    }
    return token;
}

ListReader::ListReader(ListKind kind, DomainSet::Builder& names, DomainSet::Builder& exceptions,
                       AppRules* appNames, AppRules* appExceptions)
    : kind_(kind),
      names_(names),
      exceptions_(exceptions),
      appNames_(appNames),
      appExceptions_(appExceptions) {}

void ListReader::feed(std::string_view piece) {
    if (!partial_.empty()) {
        const std::size_t newline = piece.find('\n');
        partial_.append(piece.substr(0, newline));
        if (newline == std::string_view::npos) {
            return;
        }
        readLine(partial_);
        partial_.clear();
        piece.remove_prefix(newline + 1);
    }
    for (std::size_t newline = piece.find('\n'); newline != std::string_view::npos;
         newline = piece.find('\n')) {
        readLine(piece.substr(0, newline));
        piece.remove_prefix(newline + 1);
    }
    partial_.assign(piece);
}

ParseSummary ListReader::finish() {
    if (!partial_.empty()) {
        readLine(partial_);
        partial_.clear();
    }
    return summary_;
}

void ListReader::readLine(std::string_view line) {
    // Editors on some systems save UTF-8 with a byte order mark, which would
    // otherwise make the first name unusable.
    constexpr std::string_view ByteOrderMark = "\xEF\xBB\xBF";
    if (summary_.lines == 0 && line.starts_with(ByteOrderMark)) {
        line.remove_prefix(ByteOrderMark.size());
    }
    ++summary_.lines;
    readContent(line);
}

void ListReader::skip() {
    if (summary_.skippedLines++ == 0) {
        summary_.firstSkipped = summary_.lines;
    }
}

void ListReader::readContent(std::string_view line) {
    const std::size_t hash = line.find('#');
    if (hash != std::string_view::npos) {
        if (startsElementHiding(line, hash)) {
            skip();
            return;
        }
        line = line.substr(0, hash);
    }
    const Tokens tokens = splitLine(line);
    if (tokens.count == 0 || tokens.first[0].front() == '!' || isHeader(line)) {
        return;
    }
    const std::string_view head = tokens.first[0];
    if (head.starts_with("@@")) {
        readRule(head.substr(2), tokens.count, exceptions_, summary_.exceptions);
    } else if (head.starts_with("||")) {
        readRule(head, tokens.count, names_, summary_.names);
    } else if (head.front() == '@') {
        readDirective(head, tokens.count, tokens.first[1]);
    } else if (isAddress(head)) {
        readHostsLine(tokens.count, tokens.rest);
    } else {
        const std::string_view name = tokens.count == 1 ? usableName(head) : std::string_view{};
        if (!name.empty() && names_.add(name)) {
            ++summary_.names;
        } else {
            skip();
        }
    }
}

void ListReader::readRule(std::string_view rule, std::size_t tokens, DomainSet::Builder& into,
                          std::size_t& count) {
    if (readAppRule(rule, tokens, &into == &names_ ? appNames_ : appExceptions_)) {
        return;
    }
    const std::string_view name = tokens == 1 ? ruleName(rule) : std::string_view{};
    if (!name.empty() && into.add(name)) {
        ++count;
    } else {
        skip();
    }
}

bool ListReader::readAppRule(std::string_view rule, std::size_t tokens, AppRules* into) {
    const std::size_t options = rule.find('$');
    if (into == nullptr || tokens != 1 || options == std::string_view::npos) {
        return false;
    }
    std::optional<AppPrograms> programs = readAppOption(rule.substr(options + 1));
    const std::string_view name = programs ? ruleName(rule.substr(0, options)) : std::string_view{};
    if (name.empty() || !into->add(name, std::move(*programs))) {
        return false;
    }
    ++summary_.appRules;
    return true;
}

void ListReader::readDirective(std::string_view head, std::size_t tokens, std::string_view value) {
    const auto verdict =
        tokens == 2 && kind_ == ListKind::Block && equalsIgnoringCase(head, "@verdict")
            ? verdictNamed(value)
            : std::nullopt;
    if (verdict) {
        summary_.verdict = verdict;
    } else {
        skip();
    }
}

// Every name after the address counts; a bad one is skipped without losing
// its neighbours.
void ListReader::readHostsLine(std::size_t tokens, std::string_view rest) {
    bool allTaken = tokens >= 2;
    for (Span token = nextToken(rest, 0); token.start < rest.size();
         token = nextToken(rest, token.end)) {
        const std::string_view name = usableName(rest.substr(token.start, token.end - token.start));
        if (!name.empty() && !isOwnHostName(name) && names_.add(name)) {
            ++summary_.names;
        } else {
            allTaken = false;
        }
    }
    if (!allTaken) {
        skip();
    }
}

ParseSummary parseList(std::string_view text, ListKind kind, DomainSet::Builder& names,
                       DomainSet::Builder& exceptions) {
    ListReader reader(kind, names, exceptions);
    reader.feed(text);
    return reader.finish();
}

}  // namespace corvane::blocklist
