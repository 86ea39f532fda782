#include "ServiceList.h"

#include <exception>

#include "Log.h"

TServiceList::~TServiceList() {
    StopAll();
    while (!entries_.empty())
        entries_.pop_back(); // the last built goes first: it may use what came before
}

void TServiceList::Add(std::unique_ptr<TService> service) {
    if (!service) return;
    entries_.push_back({std::move(service), false});
    if (Running()) StartOne(entries_.back());
}

void TServiceList::StartAll(TStartFailure failed) {
    if (started_) return;
    started_ = true;
    failed_ = std::move(failed);
    for (TEntry& entry : entries_)
        StartOne(entry);
}

void TServiceList::StartOne(TEntry& entry) {
    std::string error;
    try {
        entry.Running = entry.Service->Start(error);
    } catch (const std::exception& e) {
        entry.Running = false;
        error = e.what();
        LogToday("Service " + entry.Service->Name() + " not started -> " + error);
    }
    if (!entry.Running && failed_) failed_(*entry.Service, error);
}

void TServiceList::StopAll() {
    if (!started_ || stopped_) return;
    stopped_ = true;
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        it->Running = false;
        try {
            it->Service->Stop();
        } catch (const std::exception& e) {
            LogToday("Service " + it->Service->Name() + " stop -> " + e.what());
        }
    }
}

void TServiceList::OnReading(const TcapteursInfos& reading, const TConditions& conditions) {
    for (TEntry& entry : entries_) {
        if (!entry.Running) continue;
        try {
            entry.Service->OnReading(reading, conditions);
        } catch (const std::exception& e) {
            LogToday("Service " + entry.Service->Name() + " reading -> " + e.what());
        }
    }
}

void TServiceList::OnLinkState(bool lost) {
    for (TEntry& entry : entries_) {
        if (!entry.Running) continue;
        try {
            entry.Service->OnLinkState(lost);
        } catch (const std::exception& e) {
            LogToday("Service " + entry.Service->Name() + " link -> " + e.what());
        }
    }
}

TService* TServiceList::Find(const std::string& name) const {
    for (const TEntry& entry : entries_)
        if (entry.Service->Name() == name) return entry.Service.get();
    return nullptr;
}
