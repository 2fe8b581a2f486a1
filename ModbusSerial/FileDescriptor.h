#pragma once

#include <utility>

// Owns one POSIX file descriptor; -1 means none. Move-only.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : fd_(fd) {}
    ~FileDescriptor() { reset(); }

    FileDescriptor(FileDescriptor&& other) noexcept
        : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool isOpen() const { return fd_ >= 0; }

    // Gives up ownership without closing.
    int release() { return std::exchange(fd_, -1); }

    // Closes the held descriptor, never retrying on EINTR: on Linux the descriptor is gone even
    // then, and a retry could close one another thread has just been given.
    void reset(int fd = -1) noexcept;

private:
    int fd_ = -1;
};
