#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "ConditionFiles.h"
#include "Log.h"
#include "TestSupport.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

// The measurement of 2013-03-27 04:05:09.37: no rain, heater 5 %, clear sky.
TcapteursInfos Measurement() {
    TcapteursInfos r{};
    r.DateSysteme = EncodeDateTime(2013, 3, 27, 4, 5, 9, 370);
    r.DeltaTempDeg = -25.3f;
    r.ValueTempDeg = 8.0f;
    r.ValueCanDeg = 10.5f;
    r.ValueSkyDeg = -17.3f;
    r.ValueTempFceDeg = 9.5f;
    r.Humidity = 65.4f;
    r.DewPoint = -3.5f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = 3.0f;
    r.DirSpeedMax_deg = 270;
    r.RainStatus = 0;
    r.PowerRainDet = 5;
    r.ValidLight = 1;
    r.Lumex = (12.4 - 19.04) * std::log10(2.512); // magnitude 19.04
    r.PowerVolts = 12.3f;
    return r;
}

TAutomationValues Published() {
    TAutomationValues v;
    v.CloudCondition = 1;
    v.WindCondition = 2;
    v.RainCondition = 2;
    v.DayCondition = 1;
    v.MagnitudeSec = 19.04;
    v.WindDir = 270;
    return v;
}

struct Field {
    size_t column; // 1-based
    std::string text;
};

// Every field at its column and blanks everywhere else.
void ExpectColumns(const std::string& line, size_t length, const std::vector<Field>& fields) {
    ASSERT_EQ(line.size(), length) << "[" << line << "]";
    std::string blanks = line;
    for (const auto& f : fields) {
        EXPECT_EQ(line.substr(f.column - 1, f.text.size()), f.text)
            << "column " << f.column << " of [" << line << "]";
        blanks.replace(f.column - 1, f.text.size(), std::string(f.text.size(), ' '));
    }
    EXPECT_EQ(blanks, std::string(length, ' ')) << "unexpected characters in [" << line << "]";
}

std::string AllLogs() {
    std::string text;
    for (const auto& entry : fs::directory_iterator(PathLogs))
        text += ReadWholeFile(entry.path().string());
    return text;
}

class ConditionFilesTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        reading = Measurement();
        now = reading.DateSysteme + 12.0 / 86400; // taken 12 s ago
        SetClockForTests([this] { return now; });
        path = Root() + "recfile.txt";
    }
    TcapteursInfos reading;
    TDateTime now = 0;
    std::string path;
};

TEST_F(ConditionFilesTest, FlavourIColumnByColumn) {
    ExpectColumns(OneLineText(CloudSensorI_File, reading, Published(), now), OneLineLengthI,
                  {{1, "2013-03-27 04:05:09"},
                   {21, "C"},
                   {24, "-25.3"},
                   {32, "8.0"},
                   {38, "10.5"},
                   {43, "05"},
                   {46, "0"},
                   {48, "00012"},
                   {54, "41360.17039"},
                   {67, "1"}});
}

TEST_F(ConditionFilesTest, FlavourIIColumnByColumn) {
    ExpectColumns(OneLineText(CloudSensorII_File, reading, Published(), now), OneLineLengthII,
                  {{1, "2013-03-27 04:05:09.37"},
                   {24, "C K"},
                   {28, "-25.3"},
                   {35, "8.0"},
                   {41, "10.5"},
                   {49, "10.8"},
                   {56, "65"},
                   {60, "-3.5"},
                   {67, "05"},
                   {71, "0"},
                   {73, "0"},
                   {75, "00012"},
                   {81, "041360.17039"},
                   {94, "1"},
                   {96, "2"},
                   {98, "2"},
                   {100, "1"},
                   {103, "19.0"},
                   {110, "270"}});
}

// The strict line as a Clarity II client reads it: by column, and as 21 blank-separated tokens, the
// last two the roof-close and alert flags.
std::vector<std::string> Tokens(const std::string& line) {
    std::vector<std::string> tokens;
    std::istringstream in(line);
    for (std::string token; in >> token;)
        tokens.push_back(token);
    return tokens;
}

TEST_F(ConditionFilesTest, StrictFlavourIIColumnByColumnAndTokenByToken) {
    ExpectColumns(OneLineText(CloudSensorIIStrict_File, reading, Published(), now), OneLineLengthIIStrict,
                  {{1, "2013-03-27 04:05:09.37"},
                   {24, "C K"},
                   {28, "-25.3"},
                   {35, "8.0"},
                   {41, "10.5"},
                   {49, "10.8"},
                   {56, "65"},
                   {60, "-3.5"},
                   {67, "05"},
                   {71, "0"},
                   {73, "0"},
                   {75, "00012"},
                   {81, "041360.17039"},
                   {94, "1"},
                   {96, "2"},
                   {98, "2"},
                   {100, "1"},
                   {102, "0"},
                   {104, "0"}});

    struct Case {
        bool relayClosed;
        uint8_t rain;
        const char* roofFlag;
        const char* alertFlag;
    };
    for (const Case c : {Case{false, 0, "0", "0"}, Case{false, 1, "0", "1"}, Case{true, 0, "1", "1"},
                         Case{true, 1, "1", "1"}}) {
        TcapteursInfos r = reading;
        r.RainStatus = c.rain;
        r.PowerRainDet = 100; // a three-digit heater moves nothing
        TAutomationValues v = Published();
        v.RoofCloseRequested = c.relayClosed;
        const std::string line = OneLineText(CloudSensorIIStrict_File, r, v, now);
        SCOPED_TRACE(line);
        ASSERT_EQ(line.size(), OneLineLengthIIStrict);
        const auto tokens = Tokens(line);
        ASSERT_EQ(tokens.size(), 21u);
        EXPECT_EQ(tokens[0], "2013-03-27");
        EXPECT_EQ(tokens[10], "100");              // heater
        EXPECT_EQ(tokens[11], c.rain ? "2" : "0"); // rain flag
        EXPECT_EQ(tokens[18], "1");                // daylight code
        EXPECT_EQ(tokens[19], c.roofFlag);
        EXPECT_EQ(tokens[20], c.alertFlag);
        EXPECT_EQ(line.substr(101, 1), c.roofFlag);
        EXPECT_EQ(line.substr(103, 1), c.alertFlag);
    }
}

TEST_F(ConditionFilesTest, StrictFlavourDoesNotChangeTheOtherTwo) {
    TAutomationValues v = Published();
    v.RoofCloseRequested = true;
    EXPECT_EQ(OneLineText(CloudSensorII_File, reading, v, now),
              OneLineText(CloudSensorII_File, reading, Published(), now));
    EXPECT_EQ(OneLineText(CloudSensorI_File, reading, v, now),
              OneLineText(CloudSensorI_File, reading, Published(), now));
    EXPECT_EQ(OneLineText(CloudSensorIIStrict_File, reading, v, now).substr(0, 100),
              OneLineText(CloudSensorII_File, reading, v, now).substr(0, 100));
}

TEST_F(ConditionFilesTest, ThreeDigitValuesKeepTheLaterColumnsOfFlavourII) {
    reading.PowerRainDet = 100;
    reading.Humidity = 100;
    reading.RainStatus = 1;
    const auto line = OneLineText(CloudSensorII_File, reading, Published(), now);
    ASSERT_EQ(line.size(), OneLineLengthII);
    EXPECT_EQ(line.substr(55, 5), "100 -");    // humidity at 56, dew point still at 60
    EXPECT_EQ(line.substr(66, 8), "100 2 2 "); // heater at 67, rain and wet flags at 71 and 73
    EXPECT_EQ(line.substr(74, 5), "00012");
}

TEST_F(ConditionFilesTest, FlavourIKeepsAWideValueApartFromTheNextOne) {
    // A value that fills its gap (heater 100 %, a detector below -9.95 °C) would be glued to the next
    // field: the following fields move one blank further, and the cloud code still ends the line.
    struct Case {
        void (*change)(TcapteursInfos&);
        std::string fromColumn38;
    };
    const Case cases[] = {
        {[](TcapteursInfos&) {}, "10.5 05 0 00012 41360.17039  1"},
        {[](TcapteursInfos& r) { r.PowerRainDet = 100; }, "10.5 100 0 00012 41360.17039 1"},
        {[](TcapteursInfos& r) { r.ValueCanDeg = -12.5f; }, "-12.5 05 0 00012 41360.17039 1"},
    };
    for (const auto& c : cases) {
        auto r = reading;
        c.change(r);
        const auto line = OneLineText(CloudSensorI_File, r, Published(), now);
        EXPECT_EQ(line.substr(37), c.fromColumn38);
        EXPECT_EQ(line.size(), OneLineLengthI);
    }
}

TEST_F(ConditionFilesTest, NumberFields) {
    const std::pair<long long, std::string> two[] = {
        {0, "00"}, {5, "05"}, {9, "09"}, {10, "10"}, {100, "100"}};
    for (const auto& [v, text] : two)
        EXPECT_EQ(TwoDigitField(v), text);
    const std::pair<long long, std::string> five[] = {{0, "00000"},    {12, "00012"},    {999, "00999"},
                                                      {9999, "09999"}, {10000, "10000"}, {123456, "123456"}};
    for (const auto& [v, text] : five)
        EXPECT_EQ(FiveDigitField(v), text);
}

TEST_F(ConditionFilesTest, WritesTheLineWithCrLf) {
    ASSERT_TRUE(WriteOneLineFile(path, CloudSensorII_File, reading, Published()));
    EXPECT_EQ(ReadWholeFile(path), OneLineText(CloudSensorII_File, reading, Published(), now) + "\r\n");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_TRUE(info.st_mode & S_IRGRP) << "other programs must be able to read it";
}

TEST_F(ConditionFilesTest, NoFileLayoutWritesNothing) {
    EXPECT_FALSE(WriteOneLineFile(path, CloudSensor_NOFile, reading, Published()));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(ConditionFilesTest, FailedDataAgeOfFlavourIIIsWrittenAsZerosAndLogged) {
    now = reading.DateSysteme - 60.0 / 86400; // the clock went back: a negative age
    ASSERT_TRUE(WriteOneLineFile(path, CloudSensorII_File, reading, Published()));
    const auto line = SplitLines(ReadWholeFile(path)).at(0);
    EXPECT_EQ(line.size(), OneLineLengthII);
    EXPECT_EQ(line.substr(74, 5), "00000");
    EXPECT_EQ(line.substr(80, 12), "041360.16955");
    EXPECT_EQ(line.substr(109, 3), "270");
    EXPECT_NE(AllLogs().find("Exception CS II-> 0"), std::string::npos);
}

TEST_F(ConditionFilesTest, FailedDataAgeOfFlavourIAbandonsTheWriteAndKeepsThePreviousFile) {
    ASSERT_TRUE(WriteOneLineFile(path, CloudSensorI_File, reading, Published()));
    const std::string previous = ReadWholeFile(path);
    now = reading.DateSysteme - 1.0; // a day before the measurement
    EXPECT_FALSE(WriteOneLineFile(path, CloudSensorI_File, reading, Published()));
    EXPECT_EQ(ReadWholeFile(path), previous);
    const auto log = AllLogs();
    EXPECT_NE(log.find("Write of " + path + " CSII/I file has failed -> "), std::string::npos) << log;
    // The line as far as it was built ends with the rain flag, before the age.
    EXPECT_NE(log.find(" 05 0\r\n"), std::string::npos) << log;
    // An age beyond 32 bits is refused the same way.
    now = reading.DateSysteme + 50000.0 * 365;
    EXPECT_FALSE(WriteOneLineFile(path, CloudSensorI_File, reading, Published()));
}

TEST_F(ConditionFilesTest, UnwritablePathIsLoggedNotRaised) {
    const std::string missing = Root() + "no/such/folder/recfile.txt";
    EXPECT_FALSE(WriteOneLineFile(missing, CloudSensorI_File, reading, Published()));
    EXPECT_NE(AllLogs().find("Write of " + missing + " CSII/I file has failed -> "), std::string::npos);
    EXPECT_TRUE(fs::is_empty(Root() + "Documents/Halvex/Datas"));
}

// In a folder every user may write to (as /tmp), the configured path may be a file or a link another
// user made first: the program writes through no link of another user and replaces no file of
// another user, nor anything but a regular file. A link of the user's own is followed.
TEST_F(ConditionFilesTest, APathOfAnotherUserIsNeverWrittenThrough) {
    constexpr uid_t other = 4242;
    const std::string shared = Root() + "shared/";
    const std::string mine = Root() + "mine.txt";
    const std::string theirs = Root() + "theirs.txt";
    const struct Case {
        const char* name;
        std::function<void(const std::string& at)> make; // makes what stands at the configured path
        std::string written;                             // the file that receives the line; empty: none
    } cases[] = {
        {"a file of another user",
         [&](const std::string& at) {
             WriteWholeFile(at, "stale");
             ASSERT_EQ(::chown(at.c_str(), other, other), 0);
         },
         ""},
        {"a link of another user to a file of ours",
         [&](const std::string& at) {
             fs::create_symlink(mine, at);
             ASSERT_EQ(::lchown(at.c_str(), other, other), 0);
         },
         ""},
        {"a link of ours to a file of another user",
         [&](const std::string& at) { fs::create_symlink(theirs, at); }, ""},
        {"a link of ours to a link of another user",
         [&](const std::string& at) {
             fs::create_symlink(mine, shared + "their-link");
             ASSERT_EQ(::lchown((shared + "their-link").c_str(), other, other), 0);
             fs::create_symlink("their-link", at);
         },
         ""},
        {"a FIFO", [&](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0666), 0); }, ""},
        {"a folder", [&](const std::string& at) { fs::create_directory(at); }, ""},
        {"nothing yet", [&](const std::string&) {}, shared + "recfile.txt"},
        {"a file of ours", [&](const std::string& at) { WriteWholeFile(at, "old"); }, shared + "recfile.txt"},
        {"a link of ours to a file of ours", [&](const std::string& at) { fs::create_symlink(mine, at); },
         mine},
        {"a link of ours to a file yet to be made",
         [&](const std::string& at) {
             fs::remove(mine);
             fs::create_symlink("../mine.txt", at);
         },
         mine},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(shared);
        fs::create_directories(shared);
        fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
        WriteWholeFile(mine, "mine");
        WriteWholeFile(theirs, "theirs");
        ASSERT_EQ(::chown(theirs.c_str(), other, other), 0);
        const std::string at = shared + "recfile.txt";
        c.make(at);
        const auto type = fs::symlink_status(at).type();
        const std::string before = fs::is_regular_file(at) ? ReadWholeFile(at) : "";

        TConditionFileWriter writer;
        const std::string told = writer.Write(at, CloudSensorI_File, reading, Published());
        const std::string line = OneLineText(CloudSensorI_File, reading, Published(), now) + "\r\n";
        if (c.written.empty()) {
            EXPECT_NE(told.find(at), std::string::npos) << told;
            EXPECT_EQ(fs::symlink_status(at).type(), type);
            if (type == fs::file_type::regular) EXPECT_EQ(ReadWholeFile(at), before);
            EXPECT_EQ(ReadWholeFile(mine), "mine");
            EXPECT_EQ(ReadWholeFile(theirs), "theirs");
        } else {
            EXPECT_EQ(told, "");
            EXPECT_EQ(ReadWholeFile(c.written), line);
            EXPECT_EQ(fs::symlink_status(at).type(),
                      type == fs::file_type::not_found ? fs::file_type::regular : type);
        }
    }
}

// A refusal is told once (the status and one log line), not at every reading; once the path is
// writable again and then refused again, it is told again.
TEST_F(ConditionFilesTest, ARefusalIsToldOnce) {
    WriteWholeFile(path, "stale");
    ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
    TConditionFileWriter writer;
    std::vector<std::string> told;
    for (int i = 0; i < 5; ++i)
        told.push_back(writer.Write(path, CloudSensorII_File, reading, Published()));
    EXPECT_NE(told[0], "");
    EXPECT_EQ(std::count(told.begin(), told.end(), ""), 4);
    auto refusalLines = [] {
        const auto lines = SplitLines(AllLogs());
        return std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
            return l.find("belongs to another user (uid 4242)") != std::string::npos;
        });
    };
    EXPECT_EQ(refusalLines(), 1);

    fs::remove(path);
    EXPECT_EQ(writer.Write(path, CloudSensorII_File, reading, Published()), "");
    EXPECT_TRUE(fs::exists(path));
    ASSERT_EQ(::chown(path.c_str(), 4242, 4242), 0);
    EXPECT_EQ(writer.Write(path, CloudSensorII_File, reading, Published()), told[0]);
    EXPECT_EQ(refusalLines(), 2);
}

// A folder that is missing (an unplugged disk, a runtime folder of an ended session) fails every
// write the same way: told once too, and again after a write went through.
TEST_F(ConditionFilesTest, AFolderThatCannotBeWrittenIsToldOnce) {
    const std::string folder = Root() + "gone/";
    const std::string at = folder + "recfile.txt";
    TConditionFileWriter writer;
    std::vector<std::string> told;
    for (int i = 0; i < 5; ++i)
        told.push_back(writer.Write(at, CloudSensorI_File, reading, Published()));
    EXPECT_NE(told[0].find(at), std::string::npos) << told[0];
    EXPECT_EQ(std::count(told.begin(), told.end(), ""), 4);
    auto failureLines = [&] {
        const auto lines = SplitLines(AllLogs());
        return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
            return l.find("Write of " + at + " CSII/I file has failed") != std::string::npos;
        });
    };
    EXPECT_EQ(failureLines(), 1);

    fs::create_directories(folder);
    EXPECT_EQ(writer.Write(at, CloudSensorI_File, reading, Published()), "");
    EXPECT_TRUE(fs::exists(at));
    fs::remove_all(folder);
    EXPECT_EQ(writer.Write(at, CloudSensorI_File, reading, Published()), told[0]);
    EXPECT_EQ(failureLines(), 2);
}

TEST_F(ConditionFilesTest, AnEmptyFileNameIsToldOnceAndNothingIsWritten) {
    TConditionFileWriter writer;
    const std::string told = writer.Write("", CloudSensorII_File, reading, Published());
    EXPECT_NE(told.find("BoltWoodFileName"), std::string::npos) << told;
    EXPECT_EQ(writer.Write("", CloudSensorII_File, reading, Published()), "");
    EXPECT_NE(AllLogs().find("no file name"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(Root() + "Documents/Halvex/Datas"));
}

TEST_F(ConditionFilesTest, AReaderPollingTheFileNeverFindsItEmptyOrHalfWritten) {
    const std::string a(4000, 'a'), b = "short\r\n";
    WriteFileAtomically(path, a);
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        while (!done) {
            const std::string seen = ReadWholeFile(path);
            if (seen != a && seen != b) ++torn;
        }
    });
    for (int i = 0; i < 1000; ++i)
        WriteFileAtomically(path, i % 2 ? a : b);
    done = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    // Nothing but the file itself is left in the folder.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(Root()))
        if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"recfile.txt"});
}

TEST_F(ConditionFilesTest, AtomicWriteRaisesWhenTheFolderIsMissing) {
    EXPECT_THROW(WriteFileAtomically(Root() + "missing/x.txt", "x"), EOrvanelError);
}

TEST_F(ConditionFilesTest, InformationFile) {
    WriteInfoDataFile(reading);
    const std::string text = ReadWholeFile(PathDatas + "infodata.txt");
    EXPECT_EQ(text, "Fileversion          = 1.01\r\n"
                    "DateYear             = 2013\r\n"
                    "DateMonth            = 3\r\n"
                    "DateDay              = 27\r\n"
                    "DateHour             = 4\r\n"
                    "DateMin              = 5\r\n"
                    "DateSec              = 9\r\n"
                    "TempExt (°C)         = 8.00\r\n"
                    "Humidity (%RH)       = 65.4\r\n"
                    "DewPoint (°C)        = -3.50\r\n"
                    "TempRainSensor (°C)  = 9.50\r\n"
                    "TempSkyIR   (°C)     = -17.30\r\n"
                    "TempDetectorIR (°C)  = 10.50\r\n"
                    "RainFall             = No\r\n"
                    "WindSpeedGust (km/h) = 10.8\r\n"
                    "WinDirection (°)     = 270\r\n"
                    "PowerDry (%)         = 5\r\n"
                    "PowerIn (V)          = 12.30\r\n"
                    "LighLevel (Log a.u)  = -2.656\r\n"
                    "LighLevel (Mag/sec²) = 19.04\r\n");
}

TEST_F(ConditionFilesTest, InformationFileWithoutWindOrLight) {
    reading.ValidWindGUST = 0;
    reading.ValidLight = 0;
    reading.RainStatus = 1;
    const auto lines = SplitLines(InfoDataText(reading));
    ASSERT_EQ(lines.size(), 20u);
    EXPECT_EQ(lines[13], "RainFall             = Yes");
    EXPECT_EQ(lines[14], "WindSpeedGust (km/h) = NoData");
    EXPECT_EQ(lines[15], "WinDirection (°)     = NoData");
    EXPECT_EQ(lines[18], "LighLevel (Log a.u)  = NoData");
    EXPECT_EQ(lines[19], "LighLevel (Mag/sec²) = NoData ");
}

TEST_F(ConditionFilesTest, InformationFileFailureRaises) {
    PathDatas = Root() + "gone/";
    EXPECT_THROW(WriteInfoDataFile(reading), EOrvanelError);
}

} // namespace
