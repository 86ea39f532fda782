// The services of the monitor in their fixed order: started in it once the start-up has run, told of
// each reading and each change of the station link in it, stopped in the reverse order at close.
// Plain C++, so that the order can be tested without the controller.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Service.h"

class TServiceList {
  public:
    // What the owner does with a service that could not start (one message); the others run on.
    using TStartFailure = std::function<void(const TService& service, const std::string& error)>;

    TServiceList() = default;
    ~TServiceList();
    TServiceList(const TServiceList&) = delete;
    TServiceList& operator=(const TServiceList&) = delete;

    // After the ones already there. A service added once the list runs starts at once.
    void Add(std::unique_ptr<TService> service);
    void StartAll(TStartFailure failed);
    // In the reverse order, each service once, also one whose start failed; later calls do nothing.
    void StopAll();

    // To the services that started, in order. A service that raises is logged and the next one
    // still gets the reading.
    void OnReading(const TcapteursInfos& reading, const TConditions& conditions);
    void OnLinkState(bool lost);

    bool Running() const { return started_ && !stopped_; }
    size_t Size() const { return entries_.size(); }
    // The first service of that name, or none.
    TService* Find(const std::string& name) const;

  private:
    struct TEntry {
        std::unique_ptr<TService> Service;
        bool Running = false;
    };
    void StartOne(TEntry& entry);

    std::vector<TEntry> entries_;
    TStartFailure failed_;
    bool started_ = false, stopped_ = false;
};
