// The exported side of the blocklist plug-in: finds the folder the library
// was loaded from and answers FilterQuery and FilterQueryFrom from the lists
// kept there.
#include <corvane/filter.h>
#include <dlfcn.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "BlocklistFilter.h"

namespace corvane::blocklist {
namespace {

// The folder holding this library, from the path the loader recorded for
// it; empty when the loader cannot tell.
std::string ownFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ownFolder), &info) == 0 || info.dli_fname == nullptr) {
        return {};
    }
    const std::string path = info.dli_fname;
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The plug-in's one piece of state, made on the first call (there is no
// initialisation call) and released when the host unloads the library. The
// host calls from one thread, one call at a time, so it needs no lock.
std::unique_ptr<BlocklistFilter>& filterInstance() {
    static std::unique_ptr<BlocklistFilter> instance;
    return instance;
}

// The query's program as the host tells it, asked for once, and only when a
// rule for some programs covers the name.
class HostProgram final : public QueryProgram {
public:
    explicit HostProgram(const CorvaneQueryClient* client) : client_(client) {}

    std::optional<std::u16string_view> program() override {
        if (!asked_) {
            asked_ = true;
            CorvaneAsker asker{sizeof(CorvaneAsker), 0, -1, nullptr};
            if (client_ != nullptr && client_->asker != nullptr &&
                client_->asker(client_, &asker) == 1 && asker.program != nullptr &&
                *asker.program != 0) {
                // Valid until FilterQueryFrom returns, which outlasts this object.
                program_ = std::u16string_view(asker.program);
            }
        }
        return program_;
    }

private:
    const CorvaneQueryClient* client_;
    bool asked_ = false;
    std::optional<std::u16string_view> program_;
};

BlocklistFilter* filter() {
    auto& filter = filterInstance();
    if (!filter) {
        std::string folder = ownFolder();
        if (folder.empty()) {
            // Without its folder the plug-in has no lists: it lets all pass.
            return nullptr;
        }
        filter = std::make_unique<BlocklistFilter>(std::move(folder));
    }
    return filter.get();
}

std::int32_t filterName(const char16_t* name, QueryProgram& program) {
    BlocklistFilter* lists = filter();
    if (lists == nullptr) {
        return Forward;
    }
    return lists->query(std::u16string_view(name), BlocklistFilter::Clock::now(), program);
}

}  // namespace
}  // namespace corvane::blocklist

// Nothing may unwind into the host, which is not C++ as far as this contract
// goes: a failure such as running out of memory while loading a list lets
// the name through.
CORVANE_FILTER_EXPORT int32_t FilterQuery(const char16_t* name) {
    try {
        if (name == nullptr || *name == 0) {
            return Forward;
        }
        corvane::blocklist::UnknownProgram unknown;
        return corvane::blocklist::filterName(name, unknown);
    } catch (...) {
        return Forward;
    }
}

// What a host that knows who asked calls instead: the same lists, and the
// rules for some programs too. The asker is asked for only when such a rule
// covers the name, so lists without them cost nothing more.
CORVANE_FILTER_EXPORT int32_t FilterQueryFrom(const char16_t* name,
                                              const CorvaneQueryClient* client) {
    try {
        if (name == nullptr || *name == 0) {
            return Forward;
        }
        corvane::blocklist::HostProgram program(client);
        return corvane::blocklist::filterName(name, program);
    } catch (...) {
        return Forward;
    }
}
