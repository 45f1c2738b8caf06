#include "proxy/PluginLibraries.h"

#include <dlfcn.h>

#include <iterator>
#include <limits>

namespace corvane {

bool toPlatformText(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == 0) {
            // The platform reads names up to the first zero; passing one on
            // would silently look up a shorter name than the caller asked for.
            return false;
        }
        if (c >= 0xD800 && c <= 0xDFFF) {
            const bool highFollowedByLow = c <= 0xDBFF && i + 1 < text.size() &&
                                           text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
            if (!highFollowedByLow) {
                return false;
            }
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
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
        symbol.size() > maxFunctionNameLength) {
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
