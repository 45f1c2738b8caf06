// The blocklist's rules for some programs ("$app"): list text read into the
// lists, then one query name, from the network and so hostile, decided for
// one program.
//
// The first byte picks the case:
//   even  the rest is "LIST \0 NAME \0 PROGRAM": any list text, any name, any
//         program. Checked: the verdict is Forward or the list's; a query
//         whose program was not asked for is decided as one whose program
//         is unknown; the program is asked for at most once a query.
//   odd   the rest is "NAME \0 PROGRAM": the harness writes the one rule
//         "||NAME^$app=PROGRAM" and asks for NAME and a name under it, from
//         PROGRAM and from another. Checked: when the rule was read, it
//         blocks the name and every name under it for PROGRAM alone.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "BlocklistFilter.h"
#include "FuzzCheck.h"
#include "ListParser.h"

namespace corvane::blocklist {
namespace {

// A program given by the input, counting how often it was asked for.
class InputProgram final : public QueryProgram {
public:
    explicit InputProgram(std::optional<std::u16string> name) : name_(std::move(name)) {}
    std::optional<std::u16string_view> program() override {
        ++asked;
        return name_ ? std::optional<std::u16string_view>(*name_) : std::nullopt;
    }
    int asked = 0;

private:
    std::optional<std::u16string> name_;
};

// Bytes as query text, one character each, as names come off the wire.
std::u16string queryText(std::string_view bytes) {
    std::u16string text;
    for (const char c : bytes) {
        text.push_back(static_cast<unsigned char>(c));
    }
    return text;
}

// UTF-8 read strictly, as a program's name reaches a plug-in; none when it
// is not valid UTF-8 of characters a list can hold.
std::optional<std::u16string> programOf(std::string_view bytes) {
    const std::optional<AppPrograms> read = readAppOption("app=" + std::string(bytes));
    if (!read || read->only.size() != 1 || !read->except.empty()) {
        return std::nullopt;
    }
    return read->only.front();
}

struct Parsed {
    FilterLists lists;
    ParseSummary summary;
};

Parsed parse(std::string_view text) {
    DomainSet::Builder names;
    DomainSet::Builder exceptions;
    Parsed out;
    ListReader reader(ListKind::Block, names, exceptions, &out.lists.blockedFor,
                      &out.lists.exceptedFor);
    reader.feed(text);
    out.summary = reader.finish();
    out.lists.blocked = names.build();
    out.lists.exceptions = exceptions.build();
    out.lists.verdict = out.summary.verdict.value_or(DefaultVerdict);
    return out;
}

std::string_view field(std::string_view& rest) {
    const std::size_t zero = rest.find('\0');
    const std::string_view taken = rest.substr(0, zero);
    rest = zero == std::string_view::npos ? std::string_view{} : rest.substr(zero + 1);
    return taken;
}

void anyList(std::string_view rest) {
    const std::string_view text = field(rest);
    const std::u16string name = queryText(field(rest));
    if (name.empty()) {
        return;
    }
    const Parsed parsed = parse(text);
    InputProgram program(programOf(rest));
    const std::int32_t verdict = decide(parsed.lists, name, program);
    FUZZ_CHECK(verdict == Forward || verdict == parsed.lists.verdict, "a verdict of no list");
    FUZZ_CHECK(program.asked <= 3, "the program asked for more than once a set");
    if (program.asked == 0) {
        FUZZ_CHECK(verdict == decide(parsed.lists, name), "a rule for programs applied unasked");
    }
    FUZZ_CHECK(
        parsed.lists.blockedFor.size() + parsed.lists.exceptedFor.size() == parsed.summary.appRules,
        "rules for programs counted and kept differ");
}

// What would make the harness's rule another line, other tokens, a comment,
// other options or other programs than the one it means.
bool breaksTheRule(std::string_view bytes) {
    // The zero byte included: the array's own terminator is left out.
    static constexpr char Breaking[] = " \t\r\n\v\f#|,$~^\0";
    return bytes.find_first_of(std::string_view(Breaking, sizeof Breaking - 1)) !=
           std::string_view::npos;
}

void oneRule(std::string_view rest) {
    const std::string_view name = field(rest);
    const std::string_view programBytes = rest;
    if (breaksTheRule(name) || breaksTheRule(programBytes)) {
        return;
    }
    const Parsed parsed = parse("||" + std::string(name) + "^$app=" + std::string(programBytes));
    if (parsed.summary.appRules == 0) {
        return;
    }
    const std::optional<std::u16string> program = programOf(programBytes);
    FUZZ_CHECK(program.has_value(), "a rule read for a program that cannot be named");
    // The name as the rule is about it ("*." and a final dot dropped).
    const std::u16string query = queryText(usableName(name));
    for (const std::u16string& asked : {query, u"sub." + query}) {
        InputProgram same(program);
        FUZZ_CHECK(decide(parsed.lists, asked, same) == DefaultVerdict,
                   "the rule does not block its name for its program");
        InputProgram other(*program + u"x");
        FUZZ_CHECK(decide(parsed.lists, asked, other) == Forward,
                   "the rule blocks its name for another program");
        InputProgram unknown(std::nullopt);
        FUZZ_CHECK(decide(parsed.lists, asked, unknown) == Forward,
                   "the rule blocks its name for a program not known");
    }
}

}  // namespace
}  // namespace corvane::blocklist

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if ((data[0] & 1) == 0) {
        corvane::blocklist::anyList(rest);
    } else {
        corvane::blocklist::oneRule(rest);
    }
    return 0;
}
