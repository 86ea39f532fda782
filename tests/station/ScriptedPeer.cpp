#include "ScriptedPeer.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

ScriptedPeer::ScriptedPeer(Script script) : script_(std::move(script)) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    path_ = ::ptsname(master_);
    // Raw from the start, so that nothing sent before the PC side configures the line is altered.
    const int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    thread_ = std::thread([this] { Serve(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    thread_.join();
    ::close(master_);
}

void ScriptedPeer::Inject(const halvex::TArrayByte& bytes) {
    if (::write(master_, bytes.data(), bytes.size()) < 0) throw std::runtime_error("inject failed");
}

std::vector<halvex::TArrayByte> ScriptedPeer::Orders() const {
    std::lock_guard guard(mutex_);
    return orders_;
}

void ScriptedPeer::Serve() {
    halvex::TArrayByte pending;
    while (!stop_) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) {
            if (p.revents & POLLHUP) ::usleep(5000); // no PC side open yet
            continue;
        }
        uint8_t buffer[512];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n <= 0) continue;
        pending.insert(pending.end(), buffer, buffer + n);
        // Whole frames only; anything that does not start with an order start byte is dropped.
        while (!pending.empty()) {
            if (pending[0] != halvex::OrderStartByte) {
                pending.erase(pending.begin());
                continue;
            }
            if (pending.size() < 2 || pending.size() < size_t(pending[1]) + 2) break;
            const size_t size = size_t(pending[1]) + 2;
            halvex::TArrayByte order(pending.begin() + 2, pending.begin() + size - 1);
            pending.erase(pending.begin(), pending.begin() + size);
            {
                std::lock_guard guard(mutex_);
                orders_.push_back(order);
            }
            const halvex::TArrayByte reply = script_(order);
            if (!reply.empty() && ::write(master_, reply.data(), reply.size()) < 0) return;
        }
    }
}
