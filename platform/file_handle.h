#pragma once
// An open file descriptor that is closed when it goes out of scope, on every
// path out of the code that opened it.
#include <unistd.h>

#include <utility>

class FileHandle {
public:
    explicit FileHandle(int fd = -1) : fd_(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fd_, -1));
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    // Closes the descriptor held (a failed close is not reported) and takes fd.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }

    // Gives up the descriptor without closing it.
    int release() { return std::exchange(fd_, -1); }

    // Closes now and tells whether the close worked: for a file just written,
    // a failed close can mean its data did not reach the disk.
    bool close() { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_;
};
