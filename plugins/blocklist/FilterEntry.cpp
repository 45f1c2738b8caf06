// The exported side of the blocklist plug-in: finds the folder the library
// was loaded from and answers FilterQuery from the lists kept there.
#include <corvane/filter.h>
#include <dlfcn.h>

#include <memory>
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

std::int32_t filterName(const char16_t* name) {
    auto& filter = filterInstance();
    if (!filter) {
        std::string folder = ownFolder();
        if (folder.empty()) {
            // Without its folder the plug-in has no lists: it lets all pass.
            return Forward;
        }
        filter = std::make_unique<BlocklistFilter>(std::move(folder));
    }
    return filter->query(std::u16string_view(name), BlocklistFilter::Clock::now());
}

}  // namespace
}  // namespace corvane::blocklist

CORVANE_FILTER_EXPORT int32_t FilterQuery(const char16_t* name) {
    // Nothing may unwind into the host, which is not C++ as far as this
    // contract goes: a failure such as running out of memory while loading a
    // list lets the name through.
    try {
        if (name == nullptr || *name == 0) {
            return Forward;
        }
        return corvane::blocklist::filterName(name);
    } catch (...) {
        return Forward;
    }
}
