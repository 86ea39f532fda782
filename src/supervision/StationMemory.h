// The station memory: downloaded into the history at start-up and after a resume, and emptied (by
// setting the station clock) only once every record it held is stored and saved, so that a failed
// download or save never loses what the station recorded while nobody polled it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "CycleHost.h"
#include "HistoryStore.h"

class TStationLinkHolder;
class TStatusModel;

class TStationMemory {
  public:
    // failed: the download or its save failed (the start-up is to be retried); clockSet: the list
    // that set the station clock has ended.
    TStationMemory(TCycleHost& host, THistoryStore& history, TStatusModel& status,
                   std::function<void(const std::string& error)> failed,
                   std::function<void(TThread_Communicate&)> clockSet)
        : host_(host), history_(history), status_(status), failed_(std::move(failed)),
          clockSet_(std::move(clockSet)) {}

    // A list that reads the memory (version, download...); its records come through Store.
    void StartDownload(std::vector<Tcommand> commands);
    // Records handed over by the download, on the main thread.
    void Store(const std::vector<TcapteursInfos>& records);
    // The station clock is set (emptying the station memory) only when every record it held is
    // stored and saved, and no list holds the line; false (logged) otherwise.
    bool SetClockIfStored(TStationLinkHolder& link);
    bool Stored() const { return stored_; }
    // The station records again what nobody reads (its link was lost).
    void RecordsUnread() { stored_ = false; }

  private:
    void OnDownloaded(TThread_Communicate& thread);
    void TakeLightOfLastRecord(const TcapteursInfos& last);

    TCycleHost& host_;
    THistoryStore& history_;
    TStatusModel& status_;
    std::function<void(const std::string&)> failed_;
    std::function<void(TThread_Communicate&)> clockSet_;
    bool stored_ = false;
    TAppendTally tally_;
};
