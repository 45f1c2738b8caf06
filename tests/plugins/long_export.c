/* Exports one function whose name is exactly as long as the loader accepts
 * (LONG_EXPORT_NAME, set by the build) and one a character longer
 * (TOO_LONG_EXPORT_NAME), to pin down the loader's limit. */
#include <corvane/filter.h>

CORVANE_FILTER_EXPORT int32_t LONG_EXPORT_NAME(void);
int32_t LONG_EXPORT_NAME(void) {
    return 259;
}

CORVANE_FILTER_EXPORT int32_t TOO_LONG_EXPORT_NAME(void);
int32_t TOO_LONG_EXPORT_NAME(void) {
    return 260;
}
