#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "QueryName.h"

namespace corvane::blocklist {

// The programs a rule is for, from its "$app" option (the syntax of AdGuard's
// filtering rules): "app=a|b" for a or b only, "app=~a" for every program
// but a; names compared exactly with the program's name as the host gives it
// (the file name of its executable).
struct AppPrograms {
    std::vector<std::u16string> only;    // empty: any program not excepted
    std::vector<std::u16string> except;  // the "~" ones

    bool covers(std::u16string_view program) const;
};

// Reads the options after a rule's '$': exactly one option, "app=" and one
// or more names joined by '|', each maybe after '~'. None for anything else:
// another option beside or instead of it, an empty name, a name that is not
// valid UTF-8, and one that other tools read as a pattern ('*', or a
// regular expression between slashes), which here would silently match
// nothing.
std::optional<AppPrograms> readAppOption(std::string_view options);

// Where a query's program comes from, for a rule that needs it: asked only
// when a rule for some programs covers the query's name, once by each set
// of such rules (blocks, exceptions, allowed), so an implementation that
// asks the host answers later calls from its first.
class QueryProgram {
public:
    // The program's name; none when it is not known (another machine, a
    // process that could not be read), and rules for programs then never
    // apply.
    virtual std::optional<std::u16string_view> program() = 0;

protected:
    ~QueryProgram() = default;
};

// The rules of one kind (blocks, or exceptions) that hold for some programs
// only: few beside a list's names, kept in a table of their own keyed by
// the name's hash as QueryName makes it, so that a list without them costs
// nothing more and a query under no such name never asks for its program.
class AppRules {
public:
    // Adds a rule for name (already valid, any case) and its subdomains.
    // False when memory ran out.
    bool add(std::string_view name, AppPrograms programs);

    // True when a rule for name or one of its parents covers the query's
    // program; the program is asked for only when such a rule exists.
    bool apply(const QueryName& name, QueryProgram& program) const;

    bool empty() const { return rules_.empty(); }
    std::size_t size() const { return rules_.size(); }

private:
    struct Rule {
        std::string name;  // A-Z folded, as the name sets fold
        AppPrograms programs;
    };

    std::unordered_multimap<std::uint64_t, Rule> rules_;
};

}  // namespace corvane::blocklist
