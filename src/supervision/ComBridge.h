// Turns the station threads' reports into queued calls on the main thread, where the Supervisor
// lives.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <QObject>
#include <string>
#include <vector>

#include "Supervisor.h"
#include "ThreadCommunicate.h"

// Never deleted while a station thread may still report (see ~Supervisor).
class TQtComBridge : public QObject, public TComListener, public TCompletionDispatcher {
  public:
    explicit TQtComBridge(Supervisor* owner) : owner_(owner) {}
    void Detach() { owner_ = nullptr; }

    void ComError(const std::string& text) override {
        Queue([this, text] {
            if (owner_) owner_->OnComError(text);
        });
    }
    void ComVersion(const std::string& version, std::optional<int32_t> memoryAddress) override {
        Queue([this, version, memoryAddress] {
            if (owner_) owner_->OnComVersion(version, memoryAddress);
        });
    }
    void ComEepromProgress(uint32_t done, uint32_t total) override {
        Queue([this, done, total] {
            if (owner_) owner_->OnComEepromProgress(done, total);
        });
    }
    void ComEepromRecords(std::vector<TcapteursInfos> records) override {
        Queue([this, records = std::move(records)]() mutable {
            if (owner_) owner_->OnComEepromRecords(std::move(records));
        });
    }
    void Dispatch(std::function<void()> handler) override {
        // Once the owner is gone the handler (which refers to it) is dropped; the thread leaks.
        Queue([this, handler = std::move(handler)] {
            if (owner_) handler();
        });
    }

  private:
    // Qt's event queue is invisible to ThreadSanitizer; posting under this lock, and taking it again
    // before the call runs, makes visible that what the worker wrote before posting happens before
    // the main thread's call.
    static std::mutex& HandOverLock() {
        static std::mutex lock;
        return lock;
    }
    template <typename F> void Queue(F&& f) {
        std::lock_guard guard(HandOverLock());
        QMetaObject::invokeMethod(
            this,
            [f = std::forward<F>(f)]() mutable {
                { std::lock_guard handedOver(HandOverLock()); }
                f();
            },
            Qt::QueuedConnection);
    }
    Supervisor* owner_;
};

