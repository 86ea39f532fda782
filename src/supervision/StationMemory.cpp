#include "StationMemory.h"

#include <fmt/printf.h>

#include "Log.h"
#include "Records.h"
#include "StationLink.h"
#include "StatusModel.h"

void TStationMemory::StartDownload(std::vector<Tcommand> commands) {
    stored_ = false;
    tally_ = {};
    RequestStationListsStop(false);
    host_.StartList(std::move(commands), [this](TThread_Communicate& t) { OnDownloaded(t); });
}

void TStationMemory::Store(const std::vector<TcapteursInfos>& records) {
    if (!records.empty()) TakeLightOfLastRecord(records.back());
    tally_ += history_.Append(records);
    for (const std::string& problem : history_.TakeProblems())
        host_.ShowMessage(problem);
}

// The downloaded records were decoded in the current reading, one after the other: until the light
// readings give their own, the current reading keeps the light of the last record (the light level
// of the information file and of the one-line files after a start-up).
void TStationMemory::TakeLightOfLastRecord(const TcapteursInfos& last) {
    CurrentCapteursInfos.ValidLight = last.ValidLight;
    CurrentCapteursInfos.Lumex = last.Lumex;
    CurrentCapteursInfos.GainLight = last.GainLight;
    CurrentCapteursInfos.DividLight = last.DividLight;
}

void TStationMemory::OnDownloaded(TThread_Communicate& thread) {
    const std::string error = thread.ErrorText();
    if (tally_.Added + tally_.Copies + tally_.SetAside > 0 || thread.SkippedMemoryRecords() > 0)
        LogToday(fmt::sprintf("EEPROM records stored : %d added, %d copies dropped, %d set aside, %d not decodable",
                              tally_.Added, tally_.Copies, tally_.SetAside,
                              static_cast<int>(thread.SkippedMemoryRecords())));
    status_.EndDownload();       // a download that failed closes its progress window too
    if (!host_.Running()) return; // the closing sequence saves
    std::string saveError;
    try {
        history_.SaveChanged();
    } catch (const std::exception& e) {
        saveError = e.what();
        host_.ShowMessage(saveError);
    }
    // The station keeps its memory until the records are safely on disk.
    if (!error.empty() || !saveError.empty()) {
        failed_(!error.empty() ? error : saveError);
        return;
    }
    stored_ = true;
    host_.StartList({TCom_SetDate}, clockSet_);
}

bool TStationMemory::SetClockIfStored(TStationLinkHolder& link) {
    if (!link.Exists()) return false;
    if (ComThreadCount > 0) {
        LogToday("Station clock not set : a station thread is still running");
        return false;
    }
    if (!stored_) {
        LogToday("Station clock not set : the station memory has not been stored completely");
        return false;
    }
    link.RunAndWait({TCom_SetDate});
    return true;
}
