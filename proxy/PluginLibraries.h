#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// The number naming one library opened through PluginLibraries; 0 names none.
using LibraryHandle = std::int32_t;

// What findFunction returns: the address of an exported function, to be cast
// to its real type by the caller, or nullptr.
using LibraryFunction = void (*)();

// The library layer under the filter plug-in: opens shared libraries, looks
// up their exports and unloads them again. Failures are return values (a 0
// handle, a null address); an operation on a handle that names no open
// library does nothing.
//
// The program owns one object of this class; destroying it, or calling
// closeAllLibraries, unloads whatever is still open, so no library outlives
// its owner. Not thread-safe: the program loads, calls and unloads plug-ins
// on its main thread only.
class PluginLibraries {
public:
    // Longest export name findFunction accepts, in 8-bit characters; the
    // terminating zero comes on top.
    static constexpr std::size_t MaxFunctionNameLength = 259;

    PluginLibraries() = default;
    PluginLibraries(const PluginLibraries&) = delete;
    PluginLibraries& operator=(const PluginLibraries&) = delete;
    ~PluginLibraries() { closeAllLibraries(); }

    // Loads the library fileName (UTF-16, converted to UTF-8 for the
    // platform) with every symbol resolved at once and none shared with other
    // libraries. A bare file name is looked for along the platform's search
    // order: LD_LIBRARY_PATH, then the RUNPATH of the program (this code is
    // linked into the executable, so it is the executable's RUNPATH that
    // counts), then the loader cache and the system folders. Returns a new
    // non-zero handle, or 0 when the name is empty or unconvertible or the
    // platform cannot load the file.
    LibraryHandle openLibrary(std::u16string_view fileName);

    // True while handle names a library opened here and not closed since.
    bool isLibraryLoaded(LibraryHandle handle) const;

    // The address of the function exported as functionName (UTF-16, matched
    // case-sensitively after conversion to UTF-8), or nullptr when the handle
    // is not open, the name is empty, holds a zero character, does not
    // convert, is longer than MaxFunctionNameLength, or is not exported.
    // A failed lookup leaves the library loaded.
    LibraryFunction findFunction(LibraryHandle handle, std::u16string_view functionName) const;

    // Unloads the library and retires its handle; a handle is never reused
    // while this object lives, so a stale handle stays harmless.
    void closeLibrary(LibraryHandle handle);

    // The end-of-program cleanup: unloads every library still open.
    void closeAllLibraries();

private:
    struct Unloader {
        void operator()(void* library) const;
    };
    using LoadedLibrary = std::unique_ptr<void, Unloader>;

    std::map<LibraryHandle, LoadedLibrary> libraries_;
    LibraryHandle lastHandle_ = 0;
};

// UTF-16 to UTF-8 for names handed to the platform. False, with out left
// unspecified, for a zero character or a lone surrogate, which no file or
// symbol name can carry.
bool toPlatformText(std::u16string_view text, std::string& out);

}  // namespace corvane
