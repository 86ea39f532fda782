// A scripted station on the master side of a real pseudo-terminal: it reads order frames and
// writes whatever raw bytes the script returns, so that malformed answers can be produced exactly.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Protocol.h"

class ScriptedPeer {
  public:
    // Given an order's payload (code first), the raw bytes to send back (empty: silence).
    using Script = std::function<halvex::TArrayByte(const halvex::TArrayByte& order)>;

    explicit ScriptedPeer(Script script);
    ~ScriptedPeer();

    const std::string& DevicePath() const { return path_; }
    // Writes raw bytes on the line at once, outside any exchange.
    void Inject(const halvex::TArrayByte& bytes);
    std::vector<halvex::TArrayByte> Orders() const;

  private:
    void Serve();

    Script script_;
    int master_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<halvex::TArrayByte> orders_;
    std::thread thread_;
};

// A correct answer frame around a payload.
inline halvex::TArrayByte Answer(const halvex::TArrayByte& payload) {
    return halvex::BuildAnswerFrame(payload);
}
