#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace corvane::blocklist {

// Zero-filled memory straight from the kernel, for the big parts of a domain
// set. A lookup in a million-name set touches a few random places in tens of
// megabytes, and with 4 KiB pages nearly each of them also misses the TLB,
// whose page walk costs as much again (more in a virtual machine). A buffer
// asked for as large is therefore placed on 2 MiB boundaries and offered to
// the kernel for huge pages, which then map it a 2 MiB page at a time. A
// small one is left to small pages: a huge page is resident as a whole once
// touched, and a short list should cost only what it fills.
//
// Pages never written stay unbacked either way, so the zeroes cost nothing.
class PageBuffer {
public:
    static constexpr std::size_t HugePageBytes = std::size_t{2} << 20;

    PageBuffer() = default;
    // Throws std::bad_alloc when the memory cannot be had, as new does.
    PageBuffer(std::size_t bytes, bool large);
    PageBuffer(PageBuffer&& other) noexcept
        : data_(std::exchange(other.data_, nullptr)), mapped_(std::exchange(other.mapped_, 0)) {}
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;
    ~PageBuffer();

    char* data() const { return data_; }
    // The bytes mapped, the size asked for rounded up to whole pages.
    std::size_t mapped() const { return mapped_; }

private:
    char* data_ = nullptr;
    std::size_t mapped_ = 0;
};

// A fixed number of zero-filled values of a plain type in a PageBuffer, huge
// pages and all once it spans one.
template <typename T>
class PageArray {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>,
                  "the values are the buffer's zero bytes, never constructed or destroyed");

public:
    PageArray() = default;
    explicit PageArray(std::size_t count)
        : buffer_(count * sizeof(T), count * sizeof(T) >= PageBuffer::HugePageBytes),
          count_(count) {}
    PageArray(PageArray&& other) noexcept
        : buffer_(std::move(other.buffer_)), count_(std::exchange(other.count_, 0)) {}
    PageArray& operator=(PageArray&& other) noexcept {
        buffer_ = std::move(other.buffer_);
        count_ = std::exchange(other.count_, 0);
        return *this;
    }

    std::size_t size() const { return count_; }
    std::size_t bytes() const { return buffer_.mapped(); }
    T& operator[](std::size_t i) { return reinterpret_cast<T*>(buffer_.data())[i]; }
    const T& operator[](std::size_t i) const {
        return reinterpret_cast<const T*>(buffer_.data())[i];
    }

private:
    PageBuffer buffer_;
    std::size_t count_ = 0;
};

}  // namespace corvane::blocklist
