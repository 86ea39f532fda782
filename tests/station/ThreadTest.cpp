#include <filesystem>
#include <fmt/printf.h>
#include <gtest/gtest.h>
#include <thread>

#include "Conversions.h"
#include "SimulatedStation.h"
#include "Utilities.h"

using halvex::sim::FaultKind;
using halvex::sim::FaultRule;
using halvex::sim::StationOptions;

namespace {

class ThreadList : public SimulatedStationTest {};

} // namespace

// Every command list the program starts, with the orders it puts on the line and what it changes.
TEST_F(ThreadList, EachListOfTheProgram) {
    struct TCase {
        const char* creator;
        std::vector<Tcommand> commands;
        std::vector<uint8_t> orders;
    };
    const std::vector<TCase> cases = {
        {"start-up", {TCom_GetVersion, TCom_DownLoadData, TCom_SetDate}, {0x1A, 0x24, 0x35, 0x1A, 0x1D}},
        {"resume",
         {TCom_GetVersion_Wait, TCom_GetVersion, TCom_DownLoadData, TCom_SetDate},
         {0x1A, 0x1A, 0x24, 0x35, 0x1A, 0x1D}},
        {"standby or closing", {TCom_SetDate}, {0x1D}},
        {"settings opened", {TCom_GetDate, TCom_GetVersion}, {0x1B, 0x1A, 0x24, 0x35}},
        {"settings accepted",
         {TCom_SetDate, TCom_Setup, TCom_SetIR, TCom_GetVersion},
         {0x1D, 0x32, 0x1E, 0x1A, 0x24, 0x35}},
        {"settings accepted, same IR gain",
         {TCom_SetDate, TCom_Setup, TCom_GetVersion},
         {0x1D, 0x32, 0x1A, 0x24, 0x35}},
        {"measurement timer", {TCom_getSensorInfos}, {0x1B, 0x23, 0x27}},
        {"light timer", {TCom_GetLightLevel}, {0x22}},
        {"relay re-arm", {TCom_RearmTrig}, {0x34}},
        {"after a re-arm",
         {TCom_Setup, TCom_GetVersion, TCom_getSensorInfos},
         {0x32, 0x1A, 0x24, 0x35, 0x1B, 0x23, 0x27}},
        {"dark-current calibration", {TCom_CalibratePD}, {0x22}},
    };
    StartStation();
    for (const auto& c : cases) {
        station_->ClearReceivedOrders();
        EXPECT_EQ(RunList(c.commands, com_, &listener_), "") << c.creator;
        EXPECT_EQ(OrderCodes(), c.orders) << c.creator;
        EXPECT_EQ(ComThreadCount, 0) << c.creator;
    }
    EXPECT_EQ(listener_.Errors(), 0);
}

TEST_F(ThreadList, ConfigurationReachesTheStation) {
    auto& hw = SetupInfos.SetupInfos_HW;
    auto& roof = SetupInfos.RoofCloserCriterias;
    hw.InterVal_Rec_EEPROM.DefaultValue = 120;
    hw.DisableHeater.DefaultValue = true;
    hw.RH_Correction = 1.25;
    roof.DoWatch.DefaultValue = true;
    roof.RH.DefaultValue = 80;
    roof.Wind.DefaultValue = 30;
    roof.Light.DefaultValue = true;
    roof.TempSky.DefaultValue = -20.0;
    roof.ValueMag.DefaultValue = 7.6;
    hw.Gain_stage1_IR.Value = 40;
    hw.Gain_stage2_IR.Value = 70;
    StartStation();
    EXPECT_EQ(RunList({TCom_SetDate, TCom_Setup, TCom_SetIR, TCom_RearmTrig, TCom_GetDate}, com_), "");

    EXPECT_EQ(station_->Interval(), 120);
    EXPECT_EQ(station_->RecordPointer(), 0u);
    EXPECT_FALSE(station_->HeaterAllowed());
    const auto criteria = station_->Criteria();
    EXPECT_TRUE(criteria.DoWatch);
    EXPECT_EQ(criteria.RhByte, 64) << "80 % / 1.25";
    EXPECT_EQ(criteria.WindKmh, 30);
    EXPECT_TRUE(criteria.Light);
    EXPECT_EQ(criteria.TempSky24, (std::array<uint8_t, 3>{0xC1, 0xA0, 0x00}));
    EXPECT_EQ(criteria.MagCounter, 8000u);
    EXPECT_EQ(station_->IrGains(), (std::array<uint8_t, 2>{40, 70}));
    EXPECT_FALSE(station_->RelayClosed());
    EXPECT_TRUE(hw.LastDateSyst.Valid);
    EXPECT_NEAR(hw.LastDateSyst.Value, StartClock, 1.0 / 86400);
    EXPECT_EQ(hw.InterVal_Rec_EEPROM.Value, 120);

    const auto log = LogTexts();
    EXPECT_NE(FindLogLine(log, "Begin set date and reset EEPROM pointer"), -1);
    EXPECT_NE(FindLogLine(log, "Set PC Date & reset EEPROM pointer, recording EE intervall = 120 sec"), -1);
    EXPECT_NE(FindLogLine(log, "Start setup Order"), -1);
    EXPECT_NE(FindLogLine(log, "End Setup order -> DisableHeater=True"), -1);
    EXPECT_NE(FindLogLine(log, fmt::sprintf("Set Gain stage 1   = 40 -> %1.1fx ", GainStage1(40))), -1);
    EXPECT_NE(FindLogLine(log, "Get System Date =09/12/2026 12:00:00"), -1);
}

// The three firmware layouts of the version answer, with the detail lines of the expert log.
TEST_F(ThreadList, VersionLayouts) {
    struct TCase {
        const char* firmware;
        float number;
        std::vector<uint8_t> orders;
        bool magnitude;
    };
    const std::vector<TCase> cases = {
        {"1.11", 1.11f, {0x1A, 0x24}, false},
        {"2.65", 2.65f, {0x1A, 0x24, 0x35}, true},
        {"2.100", 2.1f, {0x1A, 0x24}, false},
    };
    for (const auto& c : cases) {
        InitStartValues();
        SetupInfos.Log.VerboseLevel = LogExpert;
        StationOptions options;
        options.Firmware = c.firmware;
        options.PrefillRecords = 10;
        options.Criteria.RhByte = 85;
        options.Criteria.WindKmh = 40;
        options.Criteria.TempSky24 = {0xC1, 0xA0, 0x00};
        options.Criteria.MagCounter = 800;
        StartStation(options);
        RecordingListener listener;
        EXPECT_EQ(RunList({TCom_GetVersion}, com_, &listener), "") << c.firmware;

        const auto& hw = SetupInfos.SetupInfos_HW;
        const auto& roof = SetupInfos.RoofCloserCriterias;
        EXPECT_EQ(hw.Version, c.firmware);
        EXPECT_EQ(FirmwareVersionNumber, c.number);
        EXPECT_EQ(OrderCodes(), c.orders) << c.firmware;
        EXPECT_EQ(hw.AdresseEEPROM.Value, 170);
        EXPECT_EQ(hw.NbloopsData.Value, 0);
        EXPECT_EQ(hw.InterVal_Rec_EEPROM.Value, 60);
        EXPECT_FALSE(hw.DisableHeater.Value);
        EXPECT_EQ(hw.Gain_stage1_IR.Value, station_->IrGains()[0]);
        EXPECT_EQ(roof.RH.Value, 85);
        EXPECT_TRUE(roof.RH.Valid);
        EXPECT_EQ(roof.Wind.Value, 40);
        EXPECT_EQ(roof.TempSky.Value, -20.0);
        EXPECT_EQ(roof.ValueMag.Valid, c.magnitude);
        if (c.magnitude) {
            EXPECT_NEAR(roof.ValueMag.Value, Counter_ToMagnitude(800), 1e-12);
        }
        EXPECT_EQ(listener.Versions(), 1);

        const auto log = LogTexts();
        int at = FindLogLine(log, "Start getting VERSION DATA");
        for (const std::string& line :
             {std::string("Version ") + c.firmware, std::string("Record time    = 60 sec"),
              std::string("EEPROM adress  = 170 sec"), std::string("EEPROM loops   = 0 "),
              std::string("Heater disabled= False"), std::string("RH Alarm       = 85% "),
              std::string("Wind Alarm     = 40 km/h"), std::string("Sky Temp Alarm = -20.0 °C"),
              std::string("Light Alarm    = False"), std::string("End getting VERSION DATA")}) {
            const int next = FindLogLine(log, line, at);
            EXPECT_GT(next, at) << line << " for " << c.firmware;
            at = next;
        }
        EXPECT_EQ(FindLogLine(log, "Magnitude Alar= 10.1 ") != -1, c.magnitude) << c.firmware;
    }
}

TEST_F(ThreadList, ShortVersionAnswerFailsTheList) {
    StartStation();
    station_->AddFault({0x1A, -1, 0, 3, FaultKind::ShortAnswer, 12}); // every attempt
    EXPECT_EQ(RunList({TCom_GetVersion, TCom_SetDate}, com_, &listener_), RangeErrorText);
    EXPECT_EQ(ComLastError, RangeErrorText);
    EXPECT_EQ(listener_.Errors(), 1);
    EXPECT_EQ(listener_.Versions(), 0);
    EXPECT_TRUE(LogHasLine("Getting VERSION DATA -> failed"));
    EXPECT_TRUE(LogHasLine("Error : Range check error"));
    EXPECT_EQ(OrderCodes(), std::vector<uint8_t>(3, 0x1A)) << "the rest of the list is skipped";
    EXPECT_EQ(ComThreadCount, 0);
}

// A station fault ends the list at that command: earlier commands keep their effects and the next
// list starts with a clear error.
TEST_F(ThreadList, FailureEndsTheListAndTheNextListClearsIt) {
    StartStation();
    station_->AddFault({0x1A, -1, 0, -1, FaultKind::Silence, 0});
    const std::string error = RunList({TCom_GetDate, TCom_GetVersion, TCom_SetDate}, com_, &listener_);
    EXPECT_EQ(error, "Erreur de lecture port " + station_->DevicePath() +
                         " (Entete)  lus=0 (octets), attendus=2! (octets) !");
    EXPECT_TRUE(SetupInfos.SetupInfos_HW.LastDateSyst.Valid);
    EXPECT_EQ(OrderCodes(), (std::vector<uint8_t>{0x1B, 0x1A, 0x1A, 0x1A}));
    EXPECT_EQ(listener_.Errors(), 1);
    EXPECT_EQ(ComLastError, error);
    station_->ClearFaults();
    EXPECT_EQ(RunList({TCom_RearmTrig}, com_, &listener_), "");
    EXPECT_EQ(ComLastError, "");
}

// Every fault of the line reaches the completion through ComLastError with its own text (here on
// all three attempts of the version order).
TEST_F(ThreadList, LineFaultsReachTheCompletion) {
    StartStation();
    const std::string port = station_->DevicePath();
    struct TCase {
        FaultKind kind;
        int param;
        std::string text;
    };
    const std::vector<TCase> cases = {
        {FaultKind::Truncate, 1,
         "Erreur de lecture port " + port + " (Entete)  lus=1 (octets), attendus=2! (octets) !"},
        {FaultKind::Truncate, 5,
         "Erreur de lecture port " + port + " (Données) lus=3 (octets), attendus=14! (octets) !"},
        {FaultKind::BadChecksum, 0, "Erreur de checksum !!"},
        {FaultKind::WrongStartByte, 0, "Pas de réponse du système distant (" + port + ")"},
        {FaultKind::LongLength, 40,
         "Erreur de lecture port " + port + " (Entete) longueur annoncée=40 (octets), maximum=22 (octets) !"},
    };
    for (const auto& c : cases) {
        station_->AddFault({0x1A, -1, 0, 3, c.kind, c.param});
        EXPECT_EQ(RunList({TCom_GetVersion}, com_, &listener_), c.text);
        EXPECT_EQ(ComLastError, c.text);
        // The line recovers at once: leftovers of the faulty answer are not read as the next one.
        EXPECT_EQ(RunList({TCom_GetVersion}, com_, &listener_), "") << c.text;
    }
}

// Answers in several pieces, or late but within the time-out, are read whole.
TEST_F(ThreadList, SplitOrLateAnswersAreRead) {
    StartStation();
    station_->AddFault({0x1A, -1, 0, 1, FaultKind::Split, 6});
    station_->AddFault({0x24, -1, 0, 1, FaultKind::Delay, 30});
    station_->AddFault({0x35, -1, 0, 1, FaultKind::Split, 11});
    EXPECT_EQ(RunList({TCom_GetVersion}, com_, &listener_), "");
    EXPECT_EQ(SetupInfos.SetupInfos_HW.Version, "2.65");
    EXPECT_TRUE(SetupInfos.RoofCloserCriterias.ValueMag.Valid);
    EXPECT_FALSE(LogHasLine("Getting VERSION DATA -> failed"));
}

// Each exchange of the start-up commands is sent up to three times while its answer is bad; the
// list fails only after the third. The memory download keeps its own retries.
TEST_F(ThreadList, StartupExchangesAreRepeatedOnABadAnswer) {
    struct TCase {
        Tcommand command;
        uint8_t order;
        FaultKind kind;
        int param;
        std::vector<uint8_t> orders; // with the order failing twice
    };
    const std::vector<TCase> cases = {
        {TCom_GetVersion, 0x1A, FaultKind::BadChecksum, 0, {0x1A, 0x1A, 0x1A, 0x24, 0x35}},
        {TCom_GetVersion, 0x24, FaultKind::Silence, 0, {0x1A, 0x24, 0x24, 0x24, 0x35}},
        {TCom_GetVersion, 0x35, FaultKind::ShortAnswer, -1, {0x1A, 0x24, 0x35, 0x35, 0x35}},
        {TCom_SetDate, 0x1D, FaultKind::Truncate, 1, {0x1D, 0x1D, 0x1D}},
    };
    StartStation();
    for (const auto& c : cases) {
        const std::string name = fmt::format("order 0x{:02X}", c.order);
        const auto failedAttempts = [&] {
            int n = 0;
            for (const auto& line : LogTexts())
                n += line.rfind(fmt::format("Order 0x{:02X} failed, attempt ", c.order), 0) == 0;
            return n;
        };
        const int before = failedAttempts();
        station_->ClearReceivedOrders();
        station_->AddFault({c.order, -1, 0, 2, c.kind, c.param});
        EXPECT_EQ(RunList({c.command}, com_, &listener_), "") << name;
        EXPECT_EQ(OrderCodes(), c.orders) << name;
        EXPECT_EQ(failedAttempts(), before + 2) << name;

        station_->AddFault({c.order, -1, 0, 3, c.kind, c.param});
        EXPECT_NE(RunList({c.command}, com_, &listener_), "") << name << ": fails after the third";
        EXPECT_EQ(failedAttempts(), before + 5) << name;
        station_->ClearFaults();
    }
    EXPECT_TRUE(LogHasLine("Order 0x1D failed, attempt 3/3 -> Erreur de lecture port " +
                           station_->DevicePath() + " (Entete)  lus=1 (octets), attendus=2! (octets) !"));
}

TEST_F(ThreadList, VersionWaitSucceedsAtTheThirdAttempt) {
    StartStation();
    station_->AddFault({0x1A, -1, 0, 2, FaultKind::Silence, 0});
    EXPECT_EQ(RunList({TCom_GetVersion_Wait}, com_, &listener_), "");
    const auto log = LogTexts();
    const std::vector<std::string> expected = {
        "Version get_wait -> 1", "Version get_wait FAILED -> 1, wait 10s ",
        "Version get_wait -> 2", "Version get_wait FAILED -> 2, wait 10s ",
        "Version get_wait -> 3", "Version get_wait OK -> 3"};
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + std::min(log.size(), expected.size())),
              expected);
    EXPECT_EQ(OrderCodes(), (std::vector<uint8_t>{0x1A, 0x1A, 0x1A}));
}

TEST_F(ThreadList, VersionWaitGivesUpAfterTenAttempts) {
    StartStation();
    station_->AddFault({0x1A, -1, 0, -1, FaultKind::Silence, 0});
    EXPECT_NE(RunList({TCom_GetVersion_Wait, TCom_SetDate}, com_, &listener_), "");
    EXPECT_EQ(CountLogLines("Version get_wait FAILED -> 10, wait 10s "), 1);
    EXPECT_FALSE(LogHasLine("Version get_wait -> 11"));
    EXPECT_EQ(OrderCodes(), std::vector<uint8_t>(10, 0x1A));
}

// Two lists started together: the second waits for the whole of the first; completions run on the
// creator's side, and self-freeing threads go away by themselves.
TEST_F(ThreadList, TwoListsNeverInterleave) {
    StartStation();
    TCompletionQueue queue;
    std::vector<std::pair<std::string, std::thread::id>> completed;
    const std::vector<Tcommand> first = {TCom_GetVersion, TCom_getSensorInfos, TCom_GetLightLevel};
    const std::vector<Tcommand> second = {TCom_getSensorInfos, TCom_GetDate, TCom_RearmTrig};
    for (int round = 0; round < 5; ++round) {
        station_->ClearReceivedOrders();
        completed.clear();
        for (const auto* list : {&first, &second}) {
            auto* thread = new TThread_Communicate(*list, &listener_, &com_, true, &queue);
            const std::string name = list == &first ? "first" : "second";
            thread->OnTerminate = [&completed, name](TThread_Communicate& t) {
                completed.emplace_back(name + t.ErrorText(), std::this_thread::get_id());
            };
            thread->Start();
        }
        while (completed.size() < 2)
            ASSERT_TRUE(queue.RunOne(5000));
        const std::vector<uint8_t> a = {0x1A, 0x24, 0x35, 0x1B, 0x23, 0x27, 0x22};
        const std::vector<uint8_t> b = {0x1B, 0x23, 0x27, 0x1B, 0x34};
        std::vector<uint8_t> ab = a, ba = b;
        ab.insert(ab.end(), b.begin(), b.end());
        ba.insert(ba.end(), a.begin(), a.end());
        const auto codes = OrderCodes();
        EXPECT_TRUE(codes == ab || codes == ba) << "round " << round;
        for (const auto& [name, id] : completed) {
            EXPECT_TRUE(name == "first" || name == "second") << name;
            EXPECT_EQ(id, std::this_thread::get_id());
        }
        EXPECT_EQ(ComThreadCount, 0);
    }
    EXPECT_EQ(listener_.Errors(), 0);
}

TEST_F(ThreadList, CalibrationSampleBelongsToTheThread) {
    StartStation();
    station_->AdvanceTime(30);
    TThread_Communicate thread({TCom_CalibratePD}, nullptr, &com_, false);
    thread.Start();
    thread.WaitFor();
    EXPECT_EQ(thread.ErrorText(), "");
    EXPECT_EQ(thread.CalibrationPD().Counter, station_->LightCounter());
    EXPECT_EQ(thread.CalibrationPD().DateMes, StartClock);
    EXPECT_NE(thread.CalibrationPD().GainLight, 0);
    EXPECT_TRUE(LogHasLine("Start getting [light Data for calibration]"));
    EXPECT_TRUE(LogHasLine("End getting [Light Data for Calibration]"));
}

TEST_F(ThreadList, SimulationModeNeedsNoStation) {
    EXPECT_FALSE(ApplySimulationArgument({"orvanel"}));
    EXPECT_TRUE(ApplySimulationArgument({"orvanel", "/Sim=1"}));
    TComObjRs232 neverOpened;
    EXPECT_EQ(RunList({TCom_GetVersion, TCom_DownLoadData, TCom_SetDate}, neverOpened, &listener_), "");
    EXPECT_EQ(SetupInfos.SetupInfos_HW.Version, "1.11");
    EXPECT_EQ(SetupInfos.SetupInfos_HW.InterVal_Rec_EEPROM.Value, 3);
    EXPECT_EQ(listener_.Versions(), 0);
    EXPECT_EQ(RunList({TCom_GetDate, TCom_GetVersion_Wait}, neverOpened), "");
    EXPECT_TRUE(SetupInfos.SetupInfos_HW.LastDateSyst.Valid);
    EXPECT_EQ(RunList({TCom_SetDate, TCom_Setup, TCom_SetIR, TCom_GetVersion}, neverOpened, &listener_),
              "Erreur d'écriture sur COM0 [0,16] !");
    EXPECT_EQ(listener_.Errors(), 1);

    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(RunList({TCom_getSensorInfos, TCom_GetLightLevel}, neverOpened), "");
    const TcapteursInfos& c = CurrentCapteursInfos;
    EXPECT_EQ(SimulationTick, 3u);
    EXPECT_GE(FieldValue(c.ValueTempDeg), 20);
    EXPECT_LE(FieldValue(c.ValueTempDeg), 30);
    EXPECT_GE(FieldValue(c.Humidity), 70);
    EXPECT_LE(FieldValue(c.Humidity), 80);
    EXPECT_GE(FieldValue(c.WindSpeedMax_ms), 20);
    EXPECT_LE(FieldValue(c.WindSpeedMax_ms), 24);
    EXPECT_TRUE(c.ValidWindGUST);
    EXPECT_EQ(c.GainLight, 100);
    EXPECT_TRUE(FileExists(PathDatas + "infodata.txt"));
    EXPECT_TRUE(LogTexts().size() < 20u) << "simulated readings log nothing";
}

// Self-freeing threads that end at once (simulation: no station) may be gone before Start returns.
TEST_F(StationSandbox, SelfFreeingThreadsEndCleanly) {
    SimulationMode = true;
    TComObjRs232 neverOpened;
    TCompletionQueue queue;
    std::atomic<int> onWorker{0};
    int onQueue = 0;
    constexpr int count = 200;
    for (int i = 0; i < count; ++i) {
        auto* plain = new TThread_Communicate({TCom_GetVersion}, nullptr, &neverOpened, true);
        plain->OnTerminate = [&onWorker](TThread_Communicate&) { ++onWorker; };
        plain->Start();
        auto* queued = new TThread_Communicate({TCom_GetVersion}, nullptr, &neverOpened, true, &queue);
        queued->OnTerminate = [&onQueue](TThread_Communicate& t) {
            onQueue += t.ErrorText().empty() ? 1 : 100;
        };
        queued->Start();
    }
    while (onQueue < count)
        ASSERT_TRUE(queue.RunOne(5000));
    EXPECT_EQ(onQueue, count);
    while (onWorker < count || ComThreadCount != 0)
        std::this_thread::yield();
}
