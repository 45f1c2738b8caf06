#pragma once

namespace corvane {

// Owns one file descriptor and closes it when it goes out of scope. Move-only,
// so a socket has exactly one owner: the listener or link record that holds it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }

    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    explicit operator bool() const { return valid(); }

    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closes the held descriptor, if any, and takes fd in its place.
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

}  // namespace corvane
