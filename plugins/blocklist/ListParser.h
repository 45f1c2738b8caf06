#pragma once

#include <corvane/filter.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "AppRules.h"
#include "DomainSet.h"

namespace corvane::blocklist {

// Which of the plug-in's two files a text comes from. Only the block list may
// carry the verdict directive.
enum class ListKind { Block, Allow };

// What one pass over a list file found.
struct ParseSummary {
    std::size_t lines = 0;         // every line, blank and comment lines included
    std::size_t names = 0;         // names read, duplicates included
    std::size_t exceptions = 0;    // "@@" rules read
    std::size_t skippedLines = 0;  // malformed lines, rules not understood, rejected names
    std::size_t firstSkipped = 0;  // the number of the first of them, counted from 1
    // The verdict set by the last valid "@verdict" line, if any.
    std::optional<std::int32_t> verdict;
    std::size_t appRules = 0;  // "$app" rules read, exceptions included
};

// Reads a list file's text line by line into names. Understood lines:
//   ads.example.com                 a plain domain ("*." and a final "." are
//                                   dropped: the domain covers its subdomains)
//   0.0.0.0 ads.example.com a.b     a hosts-file line: any IPv4 or IPv6 address,
//                                   then one or more names
//   ||ads.example.com^              an adblock-style rule: the same as a plain
//                                   domain; "||ads.example.com^|" too
//   @@||ok.ads.example.com^         an adblock-style exception: goes to the
//                                   exceptions, which a caller lets through
//                                   whatever the names say
//   # text, or text after a '#'     a comment
//   ! text                          an adblock-style comment
//   [Adblock Plus 2.0]              an adblock-style header, ignored
//   @verdict Block | BlockReply     the verdict for blocked names (block list)
//   ||ads.example.com^$app=a|~b     a rule, or with "@@" an exception, for some
//                                   programs only (see readAppOption): kept
//                                   apart, in AppRules, when the reader is
//                                   given them; else skipped like any option
// Blank lines are ignored; CR before the line end, tabs and spaces are
// whitespace; a UTF-8 byte order mark at the start of the text is dropped.
// Anything else is skipped and counted, never fatal: names must be labels of
// 1..63 bytes of letters, digits, '-', '_' or bytes 0x80..0xFF, joined by
// single dots, at most 253 bytes in all; adblock-style rules with options
// ("$..."), paths, wildcards or regular expressions and element-hiding rules
// ("example.com##.ad") are not rules about names. The host names that hosts
// files map for the machine itself (localhost, broadcasthost, ip6-...) are
// not taken from hosts lines.
//
// The text may come in pieces split anywhere, as it is read from a file;
// only the last, unfinished line of a piece is copied.
class ListReader {
public:
    // For the allow list, exceptions may be the same builder as names.
    // Rules for some programs go to appNames and appExceptions, alike.
    ListReader(ListKind kind, DomainSet::Builder& names, DomainSet::Builder& exceptions,
               AppRules* appNames = nullptr, AppRules* appExceptions = nullptr);

    void feed(std::string_view piece);
    // Reads a last line that had no line end; the summary of the whole text.
    ParseSummary finish();

private:
    void readLine(std::string_view line);
    void readContent(std::string_view line);
    void skip();
    void readDirective(std::string_view head, std::size_t tokens, std::string_view value);
    void readHostsLine(std::size_t tokens, std::string_view names);
    void readRule(std::string_view rule, std::size_t tokens, DomainSet::Builder& into,
                  std::size_t& count);
    // A rule for some programs, into its rules: false when it is none.
    bool readAppRule(std::string_view rule, std::size_t tokens, AppRules* into);

    ListKind kind_;
    DomainSet::Builder& names_;
    DomainSet::Builder& exceptions_;
    AppRules* appNames_;
    AppRules* appExceptions_;
    std::string partial_;
    ParseSummary summary_;
};

// The whole text at once.
ParseSummary parseList(std::string_view text, ListKind kind, DomainSet::Builder& names,
                       DomainSet::Builder& exceptions);

// Validates one name as described above and strips "*." and a final dot;
// the empty view when the name is unusable.
std::string_view usableName(std::string_view token);

}  // namespace corvane::blocklist
