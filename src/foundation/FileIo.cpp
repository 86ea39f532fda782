#include "FileIo.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr size_t kCopyBlockSize = 65500;

} // namespace

TFileDescriptor::~TFileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int TFileDescriptor::Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0 ? 0 : errno;
}

int WriteFully(int fd, const void* buffer, size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(fd, in, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        in += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int CopyFileBlocks(const std::string& source, const std::string& destination) {
    TFileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.IsOpen()) return 1;
    TFileDescriptor out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!out.IsOpen()) return 1;
    static thread_local char block[kCopyBlockSize];
    for (;;) {
        const ssize_t n = ::read(in.Get(), block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 1;
        if (n == 0) break;
        if (WriteFully(out.Get(), block, static_cast<size_t>(n)) != 0) return 1;
    }
    return out.Close() == 0 ? 0 : 1;
}
