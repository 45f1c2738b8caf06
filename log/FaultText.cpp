#include "log/FaultText.h"

#include <cstring>

#include "log/FaultCodes.h"

namespace corvane {

namespace {

// Appends to a fixed buffer and silently drops what does not fit, keeping room
// for the terminating NUL.
class TextBuffer {
public:
    TextBuffer(char* out, std::size_t capacity) : out_(out), capacity_(capacity) {}

    void put(char c) {
        if (length_ + 1 < capacity_) {
            out_[length_++] = c;
        }
    }
    void put(const char* text) {
        for (; *text != '\0'; ++text) {
            put(*text);
        }
    }
    void putUpper(const char* text) {
        // The descriptions are ASCII, so ASCII upper-casing is the whole job.
        for (; *text != '\0'; ++text) {
            const char c = *text;
            put(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
        }
    }
    void putDecimal(std::uint32_t value) {
        char digits[10];
        std::size_t count = 0;
        do {
            digits[count++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        while (count > 0) {
            put(digits[--count]);
        }
    }
    std::size_t finish() {
        if (capacity_ > 0) {
            out_[length_] = '\0';
        }
        return length_;
    }

private:
    char* out_;
    std::size_t capacity_;
    std::size_t length_ = 0;
};

}  // namespace

std::size_t formatFaultReport(char* out, std::size_t capacity, const char* fileTitle,
                              std::uint32_t line, std::uint32_t code) noexcept {
    TextBuffer text(out, capacity);
    text.put(fileTitle);
    text.put(" [");
    text.putDecimal(line);
    text.put("]\r\n");
    text.putUpper(faultDescription(code));
    text.put("\r\n");
    for (int i = 0; i < 64; ++i) {
        text.put(' ');
    }
    return text.finish();
}

void fileTitleOf(const char* path, char* out, std::size_t capacity) noexcept {
    if (capacity == 0) {
        return;
    }
    const char* name = path;
    for (const char* p = path; *p != '\0'; ++p) {
        if (*p == '/') {
            name = p + 1;
        }
    }
    std::size_t length = std::strlen(name);
    // A leading dot names a hidden file, not an extension.
    const char* dot = std::strrchr(name, '.');
    if (dot != nullptr && dot != name) {
        length = static_cast<std::size_t>(dot - name);
    }
    if (length > capacity - 1) {
        length = capacity - 1;
    }
    std::memcpy(out, name, length);
    out[length] = '\0';
}

}  // namespace corvane
