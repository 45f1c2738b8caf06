#include "ui/CaseFold.h"

#include <gtest/gtest.h>

#include <QChar>

namespace corvane {
namespace {

// The dialog layer folds case without Qt; documents must still match the way
// they did when Qt folded them, unit for unit.
TEST(CaseFold, AgreesWithQtForEveryCodeUnit) {
    int differing = 0;
    for (char32_t unit = 0; unit <= 0xFFFF; ++unit) {
        const auto c = static_cast<char16_t>(unit);
        if (foldCase(c) != QChar::toCaseFolded(c)) {
            ADD_FAILURE() << "U+" << std::hex << static_cast<unsigned>(unit);
            if (++differing == 20) {
                return;
            }
        }
    }
}

}  // namespace
}  // namespace corvane
