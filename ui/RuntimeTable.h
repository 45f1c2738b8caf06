#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace corvane {

// The runtime constant table that dialog documents may refer to by name (IDs,
// sizes, flags) and the runtime procedures that event attributes name. This
// program declares none, so every lookup fails; the dialog layer still asks,
// which keeps its messages ("... not declared as runtime", "... not a runtime
// procedure") exactly where a document would get them.
inline std::optional<std::int32_t> runtimeConstant(std::u16string_view /*name*/) {
    return std::nullopt;
}

inline bool isRuntimeProcedure(std::u16string_view /*name*/) {
    return false;
}

}  // namespace corvane
