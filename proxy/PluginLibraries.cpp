#include "proxy/PluginLibraries.h"

#include <dlfcn.h>

#include <iterator>
#include <limits>

#include "log/Utf8.h"

namespace corvane {

bool toPlatformText(std::u16string_view text, std::string& out) {
    out.clear();
    // The platform reads names up to the first zero; passing one on would
    // silently look up a shorter name than the caller asked for.
    if (text.find(u'\0') != std::u16string_view::npos) {
        return false;
    }
    return appendExactUtf8(text, out);
}

void PluginLibraries::Unloader::operator()(void* library) const {
    dlclose(library);
}

LibraryHandle PluginLibraries::openLibrary(std::u16string_view fileName) {
    std::string path;
    // An empty name would make dlopen hand back the program itself.
    if (fileName.empty() || !toPlatformText(fileName, path)) {
        return 0;
    }
    // Handles count up and are never reused while this object lives, so a
    // handle kept after closeLibrary cannot reach a library opened later.
    if (lastHandle_ == std::numeric_limits<LibraryHandle>::max()) {
        return 0;
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return 0;
    }
    const LibraryHandle handle = ++lastHandle_;
    libraries_.emplace(handle, LoadedLibrary(library));
    return handle;
}

bool PluginLibraries::isLibraryLoaded(LibraryHandle handle) const {
    return libraries_.find(handle) != libraries_.end();
}

LibraryFunction PluginLibraries::findFunction(LibraryHandle handle,
                                              std::u16string_view functionName) const {
    const auto found = libraries_.find(handle);
    if (found == libraries_.end()) {
        return nullptr;
    }
    std::string symbol;
    if (functionName.empty() || !toPlatformText(functionName, symbol) ||
        symbol.size() > MaxFunctionNameLength) {
        return nullptr;
    }
    void* address = dlsym(found->second.get(), symbol.c_str());
    // dlsym yields an object pointer; the platform guarantees that it converts
    // to the function pointer the export really is.
    return reinterpret_cast<LibraryFunction>(address);
}

void PluginLibraries::closeLibrary(LibraryHandle handle) {
    libraries_.erase(handle);
}

void PluginLibraries::closeAllLibraries() {
    // Newest first, so a library opened after another that it may rely on is
    // gone before that one goes.
    while (!libraries_.empty()) {
        libraries_.erase(std::prev(libraries_.end()));
    }
}

}  // namespace corvane
