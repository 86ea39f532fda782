// Download of the station memory (EEPROM ring of 17-byte records) into the history.
#include <chrono>
#include <fmt/printf.h>
#include <thread>

#include "Conversions.h"
#include "Log.h"
#include "ThreadCommunicate.h"
#include "UserText.h"

namespace {

constexpr uint8_t DividerOfCode[4] = {1, 2, 10, 100};
constexpr uint8_t GainOfCode[4] = {1, 10, 100, 1};

uint16_t WordLE(const TArrayByte& a, size_t low) {
    return Bytes_ToWord(AnswerByte(a, low + 1), AnswerByte(a, low));
}

std::string DownloadErrorText(uint32_t k, const std::string& cause) {
    return Tr("ThreadCommunicate", "Erreur de lecture des données EEPROM, erreur de conversion, index : ") +
           std::to_string(k) + " -> " + cause;
}

} // namespace

void DecodeMemoryRecord(const TArrayByte& r, uint32_t interval, double rhCorrection, double darkOffset,
                        TcapteursInfos& c) {
    const uint8_t b6 = AnswerByte(r, 6);
    AnswerByte(r, halvex::RecordSize - 1); // a short record is a range error before anything changes
    c.DateSysteme = StationDateTime(2000 + Bcd_ToByte(r[0]), Bcd_ToByte(r[1] & 0x7F), Bcd_ToByte(r[2] & 0x3F),
                                    Bcd_ToByte(r[3] & 0x3F), Bcd_ToByte(r[4]), Bcd_ToByte(r[5]));
    c.RainStatus = static_cast<uint8_t>(1 - (r[1] >> 7));
    if (b6 & 0x40) {
        c.ValidWindGUST = 0;
        c.WindSpeedMax_ms = -1.0f;
        c.DirSpeedMax_deg = -1.0f;
    } else {
        c.ValidWindGUST = 1;
        c.DirSpeedMax_deg = static_cast<float>((b6 & 0x0F) * 22.5);
        c.WindSpeedMax_ms =
            static_cast<float>(Tenths_ToValue(static_cast<uint16_t>(((b6 >> 7) << 8) | r[7])));
    }
    c.ValueSkyVolts = static_cast<float>(Raw_ToVolts(WordLE(r, 8)));
    c.ValueSkyDeg = static_cast<float>(SkyVolts_ToDegrees(c.ValueSkyVolts));
    c.Humidity = static_cast<float>(Raw_ToHumidity(WordLE(r, 10), rhCorrection));
    c.ValueTempDeg = static_cast<float>(Raw_ToTemperature(WordLE(r, 12)));
    c.DewPoint = static_cast<float>(DewPointOf(c.ValueTempDeg, c.Humidity));
    c.DeltaTempDeg = c.ValueSkyDeg - c.ValueTempDeg;
    c.ValueTempFceDeg = 0;
    c.ValueCanVolts = 0;
    c.ValueCanDeg = 0;
    c.PowerVolts = 0;
    c.PowerRainDet = 0;

    const uint32_t counter = r[14] | (uint32_t{r[15]} << 8) | (uint32_t{r[16]} << 16);
    bool valid = counter != 0xFFFFFF;
    c.Lumex = 0;
    if (valid) {
        c.DividLight = DividerOfCode[r[2] >> 6];
        c.GainLight = GainOfCode[r[3] >> 6];
        // A station reporting a zero interval gives no rate; the record keeps its other values.
        if (interval == 0) {
            valid = false;
        } else {
            const double rate =
                static_cast<double>(counter) / interval * (static_cast<double>(c.DividLight) / c.GainLight);
            c.Lumex = LumexLogOf(darkOffset, rate, valid);
        }
    }
    c.ValidLight = valid;
}

// What one download carries from record to record.
struct TThread_Communicate::TMemoryDownload {
    uint32_t Interval = 0;
    uint32_t Total = 0;
    uint32_t Done = 0; // records read, decoded or skipped
    TcapteursInfos Work{};
    std::vector<TcapteursInfos> Batch;
};

void TThread_Communicate::DownLoadData() {
    struct TEndLine {
        ~TEndLine() { LogToday("End retrieving EEPROM Datas"); }
    } endLine;
    LogToday("Start get EEPROM Datas");
    const TArrayByte a = Exchange({halvex::OrderGetVersion});
    const uint32_t p = AnswerByte(a, 2) * 65536u + AnswerByte(a, 3) * 256u + AnswerByte(a, 4);
    const uint32_t w = AnswerByte(a, 5);
    const uint32_t n = p / halvex::RecordSize;
    TMemoryDownload download;
    download.Interval = AnswerByte(a, 6) + 256u * AnswerByte(a, 7);
    eepromRecordCount_ = n;
    downloaded_ = true;
    LogToday("EEPROM nb records     = " + std::to_string(n));
    LogToday("EEPROM rec int. (sec) = " + std::to_string(download.Interval));
    LogToday("EEPROM overflowpasses = " + std::to_string(w));
    LogToday("EEPROM PointerAddr    = " + std::to_string(p));
    if (n == 0 && w == 0) return;

    // The fields the memory does not hold carry what the latest reading held.
    download.Work = current_;
    const auto tStart = std::chrono::steady_clock::now();
    download.Total = w != 0 ? halvex::RingRecords : n;
    try {
        // A wrapped ring: the older part after the write pointer first, then the newer part.
        if (w != 0) ReadMemoryRecords(n + 1, halvex::RingRecords, download);
        ReadMemoryRecords(1, n, download);
    } catch (...) {
        // What arrived is stored all the same; the station keeps its memory (its clock is not set
        // after a failed list), and the copies the next download brings again are dropped.
        HandOverRecords(download);
        throw;
    }
    HandOverRecords(download);
    if (FHWD) FHWD->ComEepromProgress(download.Total, download.Total);
    if (skippedRecords_ > 0)
        LogToday(
            fmt::sprintf("EEPROM records skipped (not decodable) : %d", static_cast<int>(skippedRecords_)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    if (seconds > 0)
        LogToday(fmt::sprintf("%d/%d Read, Time to read EEPROM : %1.2f sec, record per sec : %2.1f",
                              download.Done, download.Total, seconds, download.Total / seconds));
}

void TThread_Communicate::HandOverRecords(TMemoryDownload& download) {
    if (download.Batch.empty()) return;
    if (FHWD) FHWD->ComEepromRecords(std::move(download.Batch));
    download.Batch.clear();
}

namespace {

// The retry pause, cut short when the lists are asked to stop.
void PauseBeforeRetry(int ms) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!StationListsStopRequested() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 50)));
}

std::string StoppedText(uint32_t k) {
    return fmt::sprintf(Tr("ThreadCommunicate", "Récupération des données EEPROM interrompue à l'index %d"),
                        static_cast<int>(k));
}

} // namespace

void TThread_Communicate::ReadMemoryRecords(uint32_t firstRecord, uint32_t lastRecord,
                                            TMemoryDownload& download) {
    const auto& hw = setup_.SetupInfos_HW;
    for (uint32_t k = firstRecord; k <= lastRecord; ++k) {
        if (StationListsStopRequested()) {
            LogToday("EEPROM download stopped at index=" + std::to_string(k));
            throw EOrvanelError(StoppedText(k));
        }
        const TArrayByte order = halvex::ReadRecordOrder(k);
        TArrayByte answer;
        for (int attempts = 0;;) {
            try {
                ComObjRs232->SendOrder_ReceiveFeedBackQuick(order, answer);
                break;
            } catch (const std::exception& e) {
                ++attempts;
                LogToday("EEPROM COM error #" + std::to_string(attempts) + " at index=" + std::to_string(k));
                if (attempts > 5) {
                    LogToday("EEPROM Read COM error -> Fatal");
                    throw EOrvanelError(DownloadErrorText(k, e.what()));
                }
            }
            PauseBeforeRetry(ComPauses().EepromRetryMs);
            if (StationListsStopRequested()) {
                LogToday("EEPROM download stopped at index=" + std::to_string(k));
                throw EOrvanelError(StoppedText(k));
            }
        }
        try {
            DecodeMemoryRecord(answer, download.Interval, hw.RH_Correction, hw.OffsetLevelLight,
                               download.Work);
            download.Batch.push_back(download.Work);
        } catch (const std::exception& e) {
            // One erased or garbled record must not cost the others.
            LogToday("EEPROM read error (not a COM error) at index [=" + std::to_string(k) + "] -> " +
                     e.what() + " -> record skipped");
            ++skippedRecords_;
        }
        ++download.Done;
        if (download.Done % 10 == 0) {
            HandOverRecords(download);
            if (FHWD) FHWD->ComEepromProgress(download.Done, download.Total);
        }
        if (download.Done % 100 == 0) LogToday("100 more datas read successfuly");
    }
}
