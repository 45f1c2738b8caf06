#include "proxy/PluginLibraries.h"

#include <corvane/filter.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <string>

namespace corvane {
namespace {

std::u16string utf16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// Asks the platform, without loading anything, whether the library is still
// mapped into the process.
bool platformHasLoaded(const char* path) {
    void* probe = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
    if (probe == nullptr) {
        return false;
    }
    dlclose(probe);
    return true;
}

FilterQueryFunction findFilter(const PluginLibraries& libraries, LibraryHandle handle) {
    return reinterpret_cast<FilterQueryFunction>(
        libraries.findFunction(handle, utf16(CORVANE_FILTER_FUNCTION_NAME)));
}

struct VerdictCase {
    const char* library;
    const char16_t* name;
    std::int32_t verdict;
};

void PrintTo(const VerdictCase& row, std::ostream* out) {
    *out << std::filesystem::path(row.library).filename() << " answers " << row.verdict;
}

class TestFilterVerdict : public testing::TestWithParam<VerdictCase> {};

TEST_P(TestFilterVerdict, AnswersThroughTheLoadedExport) {
    PluginLibraries libraries;
    const LibraryHandle handle = libraries.openLibrary(utf16(GetParam().library));
    ASSERT_NE(handle, 0);
    EXPECT_TRUE(libraries.isLibraryLoaded(handle));
    const FilterQueryFunction filter = findFilter(libraries, handle);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter(GetParam().name), GetParam().verdict);
    libraries.closeLibrary(handle);
    EXPECT_FALSE(libraries.isLibraryLoaded(handle));
    EXPECT_FALSE(platformHasLoaded(GetParam().library));
}

INSTANTIATE_TEST_SUITE_P(
    Plugins, TestFilterVerdict,
    testing::Values(VerdictCase{TEST_FILTER_BLOCK_ONE, u"blocked.example", Block},
                    VerdictCase{TEST_FILTER_BLOCK_ONE, u"other.example", Forward},
                    VerdictCase{TEST_FILTER_BLOCK_ONE, u"blocked.example.org", Forward},
                    VerdictCase{TEST_FILTER_BLOCK_ONE, u"blocked.exampl", Forward},
                    VerdictCase{TEST_FILTER_REPLY, u"any.example", BlockReply},
                    VerdictCase{TEST_FILTER_MINUS5, u"any.example", -5},
                    VerdictCase{TEST_FILTER_SEVEN, u"any.example", 7}));

TEST(PluginLibraries, BareNameIsLookedForAlongTheSearchOrder) {
    // The test program, like corvane, carries RUNPATH $ORIGIN, and the test
    // plug-ins are built beside it.
#ifdef __SANITIZE_ADDRESS__
    // AddressSanitizer wraps dlopen, so the loader takes the sanitizer's
    // runtime for the caller and consults its RUNPATH instead of ours.
    GTEST_SKIP() << "RUNPATH is not honoured for dlopen under AddressSanitizer";
#endif
    PluginLibraries libraries;
    const std::string bare = std::filesystem::path(TEST_FILTER_REPLY).filename().string();
    const LibraryHandle handle = libraries.openLibrary(utf16(bare));
    ASSERT_NE(handle, 0);
    const FilterQueryFunction filter = findFilter(libraries, handle);
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(filter(u"any.example"), BlockReply);
}

TEST(PluginLibraries, OpenFailsWithoutLoadingAnything) {
    PluginLibraries libraries;
    EXPECT_EQ(libraries.openLibrary(u"/nonexistent-corvane-dir/Filter.DLL"), 0);
    EXPECT_EQ(libraries.openLibrary(u"corvane-no-such-library.so"), 0);
    // dlopen of an empty name would hand back the program itself.
    EXPECT_EQ(libraries.openLibrary(u""), 0);
    // A zero inside the name must not shorten it to a path that exists.
    std::u16string withZero = utf16(TEST_FILTER_REPLY);
    withZero += u'\0';
    withZero += u"junk";
    EXPECT_EQ(libraries.openLibrary(withZero), 0);
    std::u16string loneSurrogate = utf16(TEST_FILTER_REPLY);
    loneSurrogate += char16_t{0xD800};
    EXPECT_EQ(libraries.openLibrary(loneSurrogate), 0);
    EXPECT_FALSE(libraries.isLibraryLoaded(0));
    EXPECT_EQ(libraries.findFunction(0, u"FilterQuery"), nullptr);
    EXPECT_FALSE(platformHasLoaded(TEST_FILTER_REPLY));
}

TEST(PluginLibraries, LibraryWithoutTheExportStaysLoadedUntilClosed) {
    PluginLibraries libraries;
    const LibraryHandle handle = libraries.openLibrary(utf16(TEST_FILTER_NO_EXPORT));
    ASSERT_NE(handle, 0);
    EXPECT_EQ(findFilter(libraries, handle), nullptr);
    // The lookup is exact: the library does export the name in other case.
    EXPECT_NE(libraries.findFunction(handle, u"filterQuery"), nullptr);
    EXPECT_TRUE(libraries.isLibraryLoaded(handle));
    EXPECT_TRUE(platformHasLoaded(TEST_FILTER_NO_EXPORT));
    libraries.closeLibrary(handle);
    EXPECT_FALSE(libraries.isLibraryLoaded(handle));
    EXPECT_FALSE(platformHasLoaded(TEST_FILTER_NO_EXPORT));
}

TEST(PluginLibraries, FunctionNamesBeyondTheLimitFailSafely) {
    PluginLibraries libraries;
    const LibraryHandle handle = libraries.openLibrary(utf16(TEST_FILTER_LONG_EXPORT));
    ASSERT_NE(handle, 0);
    const std::size_t limit = PluginLibraries::MaxFunctionNameLength;
    EXPECT_NE(libraries.findFunction(handle, std::u16string(limit, u'x')), nullptr);
    // The library exports this one too; the loader must not look it up.
    EXPECT_EQ(libraries.findFunction(handle, std::u16string(limit + 1, u'x')), nullptr);
    // Cutting a long name down to the limit would find the first export.
    EXPECT_EQ(libraries.findFunction(handle, std::u16string(100000, u'x')), nullptr);
    std::u16string zeroInside(limit, u'x');
    zeroInside += u'\0';
    EXPECT_EQ(libraries.findFunction(handle, zeroInside), nullptr);
    // The limit counts 8-bit characters: 130 two-byte characters are too many.
    EXPECT_EQ(libraries.findFunction(handle, std::u16string(130, u'\u00E9')), nullptr);
    EXPECT_EQ(libraries.findFunction(handle, u""), nullptr);
    EXPECT_TRUE(libraries.isLibraryLoaded(handle));
}

TEST(PluginLibraries, HandlesAreNeverReusedAndStaleOnesDoNothing) {
    PluginLibraries libraries;
    const LibraryHandle first = libraries.openLibrary(utf16(TEST_FILTER_REPLY));
    ASSERT_NE(first, 0);
    libraries.closeLibrary(first);
    libraries.closeLibrary(first);
    const LibraryHandle second = libraries.openLibrary(utf16(TEST_FILTER_SEVEN));
    ASSERT_NE(second, 0);
    EXPECT_NE(second, first);
    EXPECT_FALSE(libraries.isLibraryLoaded(first));
    EXPECT_EQ(findFilter(libraries, first), nullptr);
    EXPECT_EQ(findFilter(libraries, second)(u"x"), 7);
}

TEST(PluginLibraries, TwoHandlesOnOneLibraryAreClosedIndependently) {
    PluginLibraries libraries;
    const LibraryHandle first = libraries.openLibrary(utf16(TEST_FILTER_REPLY));
    const LibraryHandle second = libraries.openLibrary(utf16(TEST_FILTER_REPLY));
    ASSERT_NE(first, 0);
    ASSERT_NE(second, 0);
    EXPECT_NE(first, second);
    libraries.closeLibrary(first);
    EXPECT_TRUE(platformHasLoaded(TEST_FILTER_REPLY));
    EXPECT_EQ(findFilter(libraries, second)(u"x"), BlockReply);
    libraries.closeLibrary(second);
    EXPECT_FALSE(platformHasLoaded(TEST_FILTER_REPLY));
}

TEST(PluginLibraries, CloseAllAndTheOwnersEndUnloadEverything) {
    {
        PluginLibraries libraries;
        const LibraryHandle a = libraries.openLibrary(utf16(TEST_FILTER_REPLY));
        const LibraryHandle b = libraries.openLibrary(utf16(TEST_FILTER_SEVEN));
        const LibraryHandle c = libraries.openLibrary(utf16(TEST_FILTER_NO_EXPORT));
        libraries.closeAllLibraries();
        for (const LibraryHandle handle : {a, b, c}) {
            EXPECT_FALSE(libraries.isLibraryLoaded(handle));
        }
        EXPECT_FALSE(platformHasLoaded(TEST_FILTER_REPLY));
        EXPECT_FALSE(platformHasLoaded(TEST_FILTER_SEVEN));
        EXPECT_FALSE(platformHasLoaded(TEST_FILTER_NO_EXPORT));
        // Still usable afterwards.
        EXPECT_NE(libraries.openLibrary(utf16(TEST_FILTER_MINUS5)), 0);
        EXPECT_TRUE(platformHasLoaded(TEST_FILTER_MINUS5));
    }
    EXPECT_FALSE(platformHasLoaded(TEST_FILTER_MINUS5));
}

struct TextCase {
    std::u16string text;
    bool converts;
    std::string bytes;
};

class PlatformText : public testing::TestWithParam<TextCase> {};

TEST_P(PlatformText, ConvertsToUtf8OrRefuses) {
    std::string out;
    EXPECT_EQ(toPlatformText(GetParam().text, out), GetParam().converts);
    if (GetParam().converts) {
        EXPECT_EQ(out, GetParam().bytes);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PlatformText,
    testing::Values(TextCase{u"Filter.DLL", true, "Filter.DLL"},
                    TextCase{u"\u00E9", true, "\xC3\xA9"},
                    TextCase{u"\u07FF\u0800", true, "\xDF\xBF\xE0\xA0\x80"},
                    TextCase{u"\uFFFF", true, "\xEF\xBF\xBF"},
                    TextCase{u"\U0001F600", true, "\xF0\x9F\x98\x80"},
                    TextCase{std::u16string{char16_t{0xD83D}}, false, ""},
                    TextCase{std::u16string{char16_t{0xDE00}, u'a'}, false, ""},
                    TextCase{std::u16string{char16_t{0xD83D}, u'a'}, false, ""},
                    TextCase{std::u16string{u'a', u'\0', u'b'}, false, ""}));

}  // namespace
}  // namespace corvane
