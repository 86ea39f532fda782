// Plain POSIX file helpers shared by the layers that write files byte for byte.
#pragma once

#include <cstddef>
#include <string>

// Closes the descriptor when the scope ends, whatever happens in between.
class TFileDescriptor {
  public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor();
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    // 0, or the errno of a failed close (a delayed write error shows up here).
    int Close();

  private:
    int fd_;
};

// Writes everything, resuming after interruptions; 0 or errno.
int WriteFully(int fd, const void* buffer, size_t size);
// Byte copy (the destination is created 0644 less the umask); 0 on success, 1 on any failure.
// Never raises.
int CopyFileBlocks(const std::string& source, const std::string& destination);
