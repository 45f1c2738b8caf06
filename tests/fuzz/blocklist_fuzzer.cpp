// Names through the blocklist plug-in's FilterQuery, the built Filter.DLL
// with its lists loaded from files (BlocklistHarness.h).
//
// The first byte sets the scene:
//   bit 0  the rest is UTF-16, two bytes a character, low byte first; else
//          one character per byte, as the program passes a name
//   bit 1  the plug-in whose verdict is BlockReply, else Block
// The text is cut at each NUL character into names, each offered in turn
// (the program never offers an empty one; the plug-in must take it anyway).
// Every verdict must be what an independent reading of the lists says.

#include <corvane/filter.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "BlocklistHarness.h"
#include "FuzzCheck.h"

namespace corvane::fuzz {
namespace {

std::u16string textOf(std::span<const std::uint8_t> bytes, bool wide) {
    std::u16string text;
    if (!wide) {
        text.assign(bytes.begin(), bytes.end());
        return text;
    }
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return text;
}

void run(std::span<const std::uint8_t> input) {
    if (input.empty()) {
        return;
    }
    const bool wide = (input[0] & 0x01) != 0;
    const ListedPlugin& plugin = listedPlugin((input[0] & 0x02) != 0 ? BlockReply : Block);
    const std::u16string text = textOf(input.subspan(1), wide);
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\0', start);
        if (end == std::u16string::npos) {
            end = text.size();
        }
        // Its own heap block, exactly as long as the name and its NUL, so
        // that a read past the end is caught.
        const std::u16string_view name = std::u16string_view(text).substr(start, end - start);
        const std::unique_ptr<char16_t[]> passed(new char16_t[name.size() + 1]);
        std::copy(name.begin(), name.end(), passed.get());
        passed[name.size()] = u'\0';
        FUZZ_CHECK(plugin.filter()(passed.get()) == expectedVerdict(name, plugin.verdict()),
                   "the plug-in's verdict differs from what its lists say");
        start = end + 1;
    }
}

}  // namespace
}  // namespace corvane::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvane::fuzz::run({data, size});
    return 0;
}
