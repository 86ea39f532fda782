#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include "HistoryStore.h"
#include "Log.h"
#include "TestSupport.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

// A record whose every field depends on tag, so that a misplaced or torn record shows.
TcapteursInfos Record(TDateTime date, int tag) {
    TcapteursInfos r{};
    r.DateSysteme = date;
    r.ValueSkyVolts = 0.5f + tag;
    r.ValueSkyDeg = -30.25f + tag;
    r.ValueTempDeg = 12.5f + tag;
    r.Humidity = 55.0f + tag % 40;
    r.WindSpeedMax_ms = -1.0f;
    r.DirSpeedMax_deg = -1.0f;
    r.RainStatus = static_cast<uint8_t>(tag & 1);
    r.LightValueAbs = 0xA1B2C3D4u + static_cast<uint32_t>(tag);
    r.GainLight = static_cast<uint8_t>(tag);
    r.ValidLight = 1;
    r.Lumex = 3.125 + tag;
    r.PowerVolts = 12.0f + tag / 100.0f;
    return r;
}

TDateTime At(int year, int month, int day, int hour = 12, int minute = 0) {
    return EncodeDateTime(year, month, day, hour, minute);
}

// The file bytes built independently of the code under test: magic 12 11 8A F7, count, records.
std::string FileBytes(const TTDataStation& records, int32_t count) {
    std::string bytes("\x12\x11\x8A\xF7", 4);
    for (int shift = 0; shift < 32; shift += 8)
        bytes += static_cast<char>((static_cast<uint32_t>(count) >> shift) & 0xFF);
    bytes.append(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(TcapteursInfos));
    return bytes;
}
std::string FileBytes(const TTDataStation& records) {
    return FileBytes(records, static_cast<int32_t>(records.size()));
}

bool SameRecords(const TTDataStation& a, const TTDataStation& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(TcapteursInfos)) == 0;
}

class HistoryFileTest : public SandboxTest {
  protected:
    void SetClock(TDateTime now) {
        SetClockForTests([now] { return now; });
    }
    std::string Month(int year, int month) const { return PathDatas + MonthFileName(year, month); }

    // Every log line written so far, without the thread and time prefix.
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        std::vector<fs::path> files;
        for (const auto& entry : fs::directory_iterator(PathLogs))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& file : files)
            for (const auto& line : SplitLines(ReadWholeFile(file.string()))) {
                const auto at = line.find(" : ");
                texts.push_back(at == std::string::npos ? line : line.substr(at + 3));
            }
        return texts;
    }
    bool Logged(const std::string& text) const {
        const auto texts = LogTexts();
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    std::vector<std::string> FilesIn(const std::string& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // The load's error text, or "" when it did not raise; data gets what was loaded all the same.
    std::string LoadError(int months, TTDataStation& data, const THistoryProgress& progress = {}) {
        THistoryStore store(PathDatas);
        std::string error;
        try {
            store.Load(months, PathExe + "Data.bin", progress);
        } catch (const EOrvanelError& e) {
            error = e.what();
        }
        data = store.Records();
        return error;
    }
    // A history holding data, saved.
    static void SaveRecords(const TTDataStation& data) {
        THistoryStore store(PathDatas);
        store.Append(data);
        store.SaveChanged();
    }
    std::string Copied(const std::string& name) const {
        return " Le fichier endommagé a été copié dans " + name + ".damaged";
    }
};

TEST_F(HistoryFileTest, SavedMonthsLoadBackByteForByte) {
    SetClock(At(2013, 3, 20));
    const TTDataStation data = {Record(At(2013, 2, 27), 1), Record(At(2013, 2, 28, 23, 59), 2),
                                Record(At(2013, 3, 1, 0, 0), 3), Record(At(2013, 3, 19), 4)};
    SaveRecords(data);

    EXPECT_EQ(ReadWholeFile(Month(2013, 2)), FileBytes({data[0], data[1]}));
    EXPECT_EQ(ReadWholeFile(Month(2013, 3)), FileBytes({data[2], data[3]}));
    EXPECT_EQ(ReadWholeFile(Month(2013, 3)).size(), 8u + 2 * 74);
    EXPECT_TRUE(Logged("Saving -> " + Month(2013, 3)));
    EXPECT_TRUE(Logged("Saved -> " + Month(2013, 3) + " 2 points"));
    EXPECT_TRUE(Logged("Saved -> " + Month(2013, 2) + " 2 points"));

    TTDataStation loaded;
    EXPECT_EQ(LoadError(2, loaded), "");
    EXPECT_TRUE(SameRecords(loaded, data));
}

TEST_F(HistoryFileTest, LoadsTheLastMonthsOldestFirstAcrossTheYear) {
    // One file per month from September 2013 to March 2014, tagged year * 100 + month.
    for (int i = 0; i < 7; ++i) {
        const int year = i < 4 ? 2013 : 2014, month = i < 4 ? 9 + i : i - 3;
        WriteWholeFile(Month(year, month), FileBytes({Record(At(year, month, 10), year * 100 + month)}));
    }
    fs::remove(Month(2013, 12)); // a gap is reported and skipped

    struct Case {
        TDateTime now;
        int months;
        std::vector<int> expectedTags;
        std::vector<std::string> missing;
    };
    const Case cases[] = {
        {At(2014, 1, 15), 3, {201311, 201401}, {"2013_12.bin"}},
        {At(2014, 1, 15), 1, {201401}, {}},
        {At(2014, 3, 15), 2, {201402, 201403}, {}},
        {At(2014, 1, 15), 0, {201401}, {}}, // the current month is always read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(DateTimeText(c.now) + " months " + std::to_string(c.months));
        SetClock(c.now);
        fs::remove_all(PathLogs);
        fs::create_directories(PathLogs);
        TTDataStation data;
        std::vector<std::string> progress;
        EXPECT_EQ(LoadError(c.months, data, [&](const std::string& text) { progress.push_back(text); }), "");

        std::vector<int> tags;
        for (const auto& r : data)
            tags.push_back(static_cast<int>(r.ValueSkyDeg + 30.25f));
        EXPECT_EQ(tags, c.expectedTags);
        EXPECT_EQ(progress.size(), static_cast<size_t>(std::max(1, c.months)));
        std::vector<std::string> opened;
        for (const auto& text : LogTexts())
            if (text.rfind("Attempting to open -> ", 0) == 0) opened.push_back(text.substr(22));
        ASSERT_EQ(opened.size(), progress.size());
        for (size_t i = 0; i < opened.size(); ++i)
            EXPECT_EQ(progress[i], "Charge le fichier : " + opened[i]);
        for (const auto& name : c.missing)
            EXPECT_TRUE(Logged("Does not exists -> " + PathDatas + name));
    }
}

// A damaged magic number names the file; the records behind it are still read, and the months
// around it load as usual.
TEST_F(HistoryFileTest, WrongMagicNumberNamesTheFileAndItsRecordsStillLoad) {
    struct Case {
        std::string magic;
        std::string suffix;
    };
    const Case cases[] = {
        {std::string("\0\0\0\0", 4),
         " n'a pas le bon format, le nombre magique est égal à zero, ce fichier devrait "
         "être effacé car il a été endommagé !"},
        {"\xEF\xBE\xAD\xDE", " n'a pas le bon format (Nombre Magique n'est pas le bon) !"},
        {"\x12\x11\x8A\xF8", " n'a pas le bon format (Nombre Magique n'est pas le bon) !"},
    };
    SetClock(At(2013, 3, 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        fs::remove_all(PathDatas);
        fs::create_directories(PathDatas);
        WriteWholeFile(Month(2013, 1), FileBytes({Record(At(2013, 1, 5), 1)}));
        std::string bad = FileBytes({Record(At(2013, 2, 5), 2)});
        bad.replace(0, 4, c.magic);
        WriteWholeFile(Month(2013, 2), bad);
        WriteWholeFile(Month(2013, 3), FileBytes({Record(At(2013, 3, 5), 3)}));

        TTDataStation data;
        EXPECT_EQ(LoadError(3, data), Month(2013, 2) + c.suffix + " " + Month(2013, 2) +
                                          " est endommagé : il annonce 1 points et en contient 1 complets ; 1 "
                                          "points ont été chargés, 0 mis de côté dans " +
                                          PathDatas + "rejected.bin." + Copied(Month(2013, 2)));
        ASSERT_EQ(data.size(), 3u);
        EXPECT_EQ(FieldValue(data[0].DateSysteme), At(2013, 1, 5));
        EXPECT_EQ(FieldValue(data[1].DateSysteme), At(2013, 2, 5));
        EXPECT_EQ(FieldValue(data[2].DateSysteme), At(2013, 3, 5));
        EXPECT_EQ(ReadWholeFile(Month(2013, 2) + ".damaged"), bad);
    }
}

TEST_F(HistoryFileTest, DiscardBackwardPointsKeepsEachRecordNotOlderThanTheLastKept) {
    struct Case {
        std::vector<int> hours;
        std::vector<int> kept;
        std::vector<std::string> lines; // "Point #" lines as logged
    };
    const Case cases[] = {
        {{10, 9, 11},
         {10, 11},
         {"Point #1 has a problem -> next=01/03/2013 09:00:00 < prev=01/03/2013 10:00:00 , point discarded "
          "!"}},
        {{10, 9, 8, 11, 7},
         {10, 11},
         {"Point #1 has a problem -> next=01/03/2013 09:00:00 < prev=01/03/2013 10:00:00 , point discarded !",
          "Point #1 has a problem -> next=01/03/2013 08:00:00 < prev=01/03/2013 10:00:00 , point discarded !",
          "Point #2 has a problem -> next=01/03/2013 07:00:00 < prev=01/03/2013 11:00:00 , point discarded "
          "!"}},
        {{8, 8, 9}, {8, 8, 9}, {}}, // equal dates both stay
        {{8}, {8}, {}},
        {{}, {}, {}},
    };
    SetClock(At(2013, 3, 20));
    for (const auto& c : cases) {
        fs::remove_all(PathLogs);
        fs::create_directories(PathLogs);
        TTDataStation data;
        for (size_t i = 0; i < c.hours.size(); ++i)
            data.push_back(Record(At(2013, 3, 1, c.hours[i]), static_cast<int>(i)));
        EXPECT_EQ(DiscardBackwardPoints(data), static_cast<int>(c.hours.size() - c.kept.size()));
        std::vector<int> kept;
        for (const auto& r : data)
            kept.push_back(DecodeDateTime(r.DateSysteme).Hour);
        EXPECT_EQ(kept, c.kept);

        std::vector<std::string> expected = {"Loaded points : " + std::to_string(c.hours.size())};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        expected.push_back("Discarded points : " + std::to_string(c.lines.size()));
        EXPECT_EQ(LogTexts(), expected);
    }
}

TEST_F(HistoryFileTest, LegacyFileIsMigratedIntoMonthFilesThenDeleted) {
    SetClock(At(2013, 3, 20));
    const std::string legacy = PathExe + "Data.bin";
    const TTDataStation records = {Record(At(2013, 1, 31, 10), 1), Record(At(2013, 1, 31, 9), 2),
                                   Record(At(2013, 1, 31, 11), 3), Record(At(2013, 3, 2), 4)};
    WriteWholeFile(legacy, FileBytes(records));
    WriteWholeFile(legacy + ".back", FileBytes({records[0]}));

    TTDataStation data;
    EXPECT_EQ(LoadError(1, data), "");
    EXPECT_TRUE(SameRecords(data, {records[0], records[2], records[3]}));
    EXPECT_EQ(ReadWholeFile(PathDatas + RejectedFileName), FileBytes({records[1]})) << "set aside, not lost";
    EXPECT_TRUE(
        Logged("Point #1 has a problem -> next=31/01/2013 09:00:00 < prev=31/01/2013 10:00:00 , point "
               "discarded !"));
    EXPECT_EQ(ReadWholeFile(Month(2013, 1)), FileBytes({records[0], records[2]}));
    EXPECT_FALSE(fs::exists(Month(2013, 2))); // a month without records gets no file
    EXPECT_EQ(ReadWholeFile(Month(2013, 3)), FileBytes({records[3]}));
    EXPECT_FALSE(fs::exists(legacy));
    EXPECT_FALSE(fs::exists(legacy + ".back"));

    // The deletions come after the last month is written.
    const auto texts = LogTexts();
    const auto position = [&](const std::string& text) {
        return std::find(texts.begin(), texts.end(), text) - texts.begin();
    };
    const auto deleted = position(legacy + " -> deleted !");
    EXPECT_LT(position("Saved -> " + Month(2013, 1) + " 2 points"), deleted);
    EXPECT_LT(deleted, position(legacy + ".back -> deleted !"));
    EXPECT_LT(deleted, static_cast<long>(texts.size()));
}

TEST_F(HistoryFileTest, LegacyFileWithWrongMagicStaysAndNamesItself) {
    SetClock(At(2013, 3, 20));
    const std::string legacy = PathExe + "Data.bin";
    std::string bytes = FileBytes({Record(At(2013, 3, 2), 1)});
    bytes.replace(0, 4, std::string(4, '\0'));
    WriteWholeFile(legacy, bytes);
    TTDataStation data;
    EXPECT_EQ(LoadError(1, data), legacy + " n'a pas le bon format (Nombre Magique n'est pas le bon) !");
    EXPECT_TRUE(fs::exists(legacy));
    EXPECT_FALSE(fs::exists(Month(2013, 3)));
}

TEST_F(HistoryFileTest, SaveWritesEveryMonthThatHoldsNewRecords) {
    struct Case {
        const char* what;
        TDateTime now;
        std::vector<TDateTime> dates;
        std::map<std::string, std::vector<size_t>> expected; // file -> indexes of data
    };
    const Case cases[] = {
        {"only the previous month", At(2013, 3, 20), {At(2013, 2, 1), At(2013, 2, 28)}, {{"2013_02.bin", {0, 1}}}},
        {"older months too",
         At(2013, 3, 20),
         {At(2013, 1, 9), At(2013, 2, 9), At(2013, 3, 9)},
         {{"2013_01.bin", {0}}, {"2013_02.bin", {1}}, {"2013_03.bin", {2}}}},
        {"over the new year",
         At(2014, 1, 2),
         {At(2013, 11, 30), At(2013, 12, 31, 23, 59), At(2014, 1, 1, 0, 0)},
         {{"2013_11.bin", {0}}, {"2013_12.bin", {1}}, {"2014_01.bin", {2}}}},
        {"a month without records gets no file",
         At(2013, 3, 20),
         {At(2013, 1, 9), At(2013, 1, 10), At(2013, 3, 9)},
         {{"2013_01.bin", {0, 1}}, {"2013_03.bin", {2}}}},
        // A record dated after tomorrow cannot be placed; it is set aside and holds nothing back.
        {"a record from next month",
         At(2013, 3, 20),
         {At(2013, 2, 9), At(2013, 3, 9), At(2013, 4, 2)},
         {{"2013_02.bin", {0}}, {"2013_03.bin", {1}}, {"rejected.bin", {2}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(PathDatas);
        SetClock(c.now);
        TTDataStation data;
        for (size_t i = 0; i < c.dates.size(); ++i)
            data.push_back(Record(c.dates[i], static_cast<int>(i)));
        SaveRecords(data);

        std::vector<std::string> expectedNames;
        for (const auto& [name, indexes] : c.expected) {
            expectedNames.push_back(name);
            TTDataStation records;
            for (size_t i : indexes)
                records.push_back(data[i]);
            EXPECT_EQ(ReadWholeFile(PathDatas + name), FileBytes(records)) << name;
        }
        EXPECT_EQ(FilesIn(PathDatas), expectedNames);
    }
}

TEST_F(HistoryFileTest, SavingNothingCreatesNothing) {
    fs::remove_all(PathDatas);
    THistoryStore store(PathDatas);
    store.SaveChanged();
    EXPECT_FALSE(fs::exists(PathDatas));
}

TEST_F(HistoryFileTest, BackFileHoldsTheMonthAsItWasBeforeEachSave) {
    SetClock(At(2013, 3, 20));
    THistoryStore store(PathDatas);
    TTDataStation data = {Record(At(2013, 3, 1), 1)};
    store.Append(data);
    store.SaveChanged();
    EXPECT_FALSE(fs::exists(Month(2013, 3) + ".back"));

    for (int tag = 2; tag <= 4; ++tag) {
        const std::string before = ReadWholeFile(Month(2013, 3));
        data.push_back(Record(At(2013, 3, tag), tag));
        store.Append(data.back());
        store.SaveChanged();
        EXPECT_EQ(ReadWholeFile(Month(2013, 3) + ".back"), before) << "save " << tag;
        EXPECT_EQ(ReadWholeFile(Month(2013, 3)), FileBytes(data)) << "save " << tag;
    }
    EXPECT_EQ(FilesIn(PathDatas), (std::vector<std::string>{"2013_03.bin", "2013_03.bin.back"}));
}

TEST_F(HistoryFileTest, FailedWriteLeavesThePreviousFileWholeAndNamesTheFault) {
    enum Fault { ReadOnlyFolder, DiskFull };
    struct Case {
        const char* what;
        Fault fault;
        std::string systemError;
    };
    const Case cases[] = {
        {"read-only folder", ReadOnlyFolder, std::strerror(EACCES)},
        {"disk full", DiskFull, std::strerror(EFBIG)}, // the file size limit stands for a full disk
    };
    SetClock(At(2013, 3, 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.fault == ReadOnlyFolder && ::geteuid() == 0) {
            std::cout << "[ SKIPPED  ] " << c.what << ": permissions do not bind root\n";
            continue;
        }
        fs::remove_all(PathDatas);
        THistoryStore store(PathDatas);
        TTDataStation data = {Record(At(2013, 3, 1), 1)};
        store.Append(data);
        store.SaveChanged();
        const std::string before = ReadWholeFile(Month(2013, 3));
        for (int i = 2; i < 200; ++i)
            data.push_back(Record(At(2013, 3, 1) + i / 1000.0, i));
        store.Append(std::span(data).subspan(1));

        std::string error;
        {
            std::optional<FileSizeLimit> limit;
            if (c.fault == DiskFull) limit.emplace(4096);
            if (c.fault == ReadOnlyFolder)
                fs::permissions(PathDatas, fs::perms::owner_read | fs::perms::owner_exec);
            try {
                store.SaveChanged();
            } catch (const EOrvanelError& e) {
                error = e.what();
            }
            fs::permissions(PathDatas, fs::perms::owner_all);
        }
        EXPECT_EQ(error, "Erreur d'écriture du fichier " + Month(2013, 3) + " : " + c.systemError);
        EXPECT_EQ(ReadWholeFile(Month(2013, 3)), before);
        EXPECT_EQ(FilesIn(PathDatas), std::vector<std::string>{"2013_03.bin"});
        // The month stays to be written: the next save, once the fault is gone, writes it.
        EXPECT_TRUE(store.HasUnsavedChanges());
        store.SaveChanged();
        EXPECT_EQ(ReadWholeFile(Month(2013, 3)), FileBytes(data));
    }
}

TEST_F(HistoryFileTest, LegacyFileStaysUntilEveryMonthIsWritten) {
    SetClock(At(2013, 3, 20));
    const std::string legacy = PathExe + "Data.bin";
    const TTDataStation records = {Record(At(2013, 2, 1), 1), Record(At(2013, 3, 1), 2)};
    WriteWholeFile(legacy, FileBytes(records));
    WriteWholeFile(legacy + ".back", FileBytes({records[0]}));
    fs::remove_all(PathDatas);
    WriteWholeFile(PathDatas.substr(0, PathDatas.size() - 1), "not a folder");

    TTDataStation data;
    const std::string error = LoadError(1, data);
    EXPECT_NE(error.find("Impossible de créer le dossier " + PathDatas), std::string::npos) << error;
    EXPECT_TRUE(SameRecords(data, records)) << "the records stay in memory";
    EXPECT_EQ(ReadWholeFile(legacy), FileBytes(records));
    EXPECT_TRUE(fs::exists(legacy + ".back"));

    // The program ran on and saved a newer record; the next start migrates again without losing it.
    fs::remove(PathDatas.substr(0, PathDatas.size() - 1));
    fs::create_directories(PathDatas);
    const TcapteursInfos newer = Record(At(2013, 3, 15), 3);
    WriteWholeFile(Month(2013, 3), FileBytes({records[1], newer}));
    data.clear();
    EXPECT_EQ(LoadError(1, data), "");
    EXPECT_TRUE(SameRecords(data, {records[0], records[1], newer}));
    EXPECT_EQ(ReadWholeFile(Month(2013, 2)), FileBytes({records[0]}));
    EXPECT_EQ(ReadWholeFile(Month(2013, 3)), FileBytes({records[1], newer}));
    EXPECT_FALSE(fs::exists(legacy));
    EXPECT_FALSE(fs::exists(legacy + ".back"));
}

TEST_F(HistoryFileTest, ShortFileYieldsItsCompleteRecordsAndIsKeptAside) {
    struct Case {
        const char* what;
        size_t keptBytes; // of the December file announcing 3 records
        size_t completeRecords;
    };
    const Case cases[] = {
        {"cut inside the third record", 8 + 2 * 74 + 30, 2},
        {"cut on a record boundary", 8 + 74, 1},
        {"cut inside the count", 6, 0},
    };
    SetClock(At(2014, 1, 20));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(PathDatas);
        fs::create_directories(PathDatas);
        const TTDataStation november = {Record(At(2013, 11, 3), 1)};
        const TTDataStation december = {Record(At(2013, 12, 1), 2), Record(At(2013, 12, 2), 3),
                                        Record(At(2013, 12, 3), 4)};
        const TTDataStation january = {Record(At(2014, 1, 3), 5)};
        WriteWholeFile(Month(2013, 11), FileBytes(november));
        const std::string damaged = FileBytes(december).substr(0, c.keptBytes);
        WriteWholeFile(Month(2013, 12), damaged);
        WriteWholeFile(Month(2014, 1), FileBytes(january));

        TTDataStation data;
        const std::string error = LoadError(3, data);
        TTDataStation expected = november;
        expected.insert(expected.end(), december.begin(), december.begin() + c.completeRecords);
        expected.insert(expected.end(), january.begin(), january.end());
        EXPECT_TRUE(SameRecords(data, expected));

        const std::string name = Month(2013, 12);
        const std::string announced = c.keptBytes >= 8 ? "3" : "0";
        const std::string complete = std::to_string(c.completeRecords);
        EXPECT_EQ(error, name + " est endommagé : il annonce " + announced + " points et en contient " + complete +
                             " complets ; " + complete + " points ont été chargés, 0 mis de côté dans " +
                             PathDatas + "rejected.bin." + Copied(name));
        EXPECT_TRUE(Logged("Damaged file -> " + name + " : " + announced + " points announced, " + complete +
                           " points loaded, 0 set aside"));
        EXPECT_EQ(ReadWholeFile(name + ".damaged"), damaged);

        // The next save rewrites December whole and sound from what was loaded; the damaged bytes stay aside.
        THistoryStore store(PathDatas);
        try {
            store.Load(3);
        } catch (const EOrvanelError&) {
        }
        store.SaveChanged();
        const TTDataStation kept(december.begin(), december.begin() + c.completeRecords);
        EXPECT_EQ(ReadWholeFile(name), FileBytes(kept));
        EXPECT_EQ(ReadWholeFile(name + ".damaged"), damaged);
    }
}

TEST(HistoryMonthSpan, CountsCalendarMonthsBothIncluded) {
    struct Case {
        TDateTime first, last;
        int expected;
    };
    const Case cases[] = {
        {At(2013, 3, 1, 0, 0), At(2013, 3, 31, 23, 59), 1},
        {At(2013, 12, 31, 23, 59), At(2014, 1, 1, 0, 0), 2},
        {At(2012, 11, 15), At(2013, 2, 1), 4},
        {At(2011, 3, 1), At(2013, 3, 1), 25},
        {At(2013, 5, 1), At(2013, 3, 1), -1}, // last before first: nothing to visit
    };
    for (const auto& c : cases)
        EXPECT_EQ(MonthSpan(c.first, c.last), c.expected)
            << DateTimeText(c.first) << " .. " << DateTimeText(c.last);
}

TEST(HistoryDisplayRange, RecordsWithinTheRangeOfTheNewestIncludingTheBoundary) {
    const TTDataStation data = {Record(At(2013, 3, 1, 11, 59), 0), Record(At(2013, 3, 1, 12, 0), 1),
                                Record(At(2013, 3, 2, 6, 0), 2), Record(At(2013, 3, 2, 12, 0), 3)};
    struct Case {
        size_t index;
        double range;
        bool expected;
    };
    const Case cases[] = {
        {0, 1.0, false}, {1, 1.0, true},  {2, 1.0, true}, {3, 1.0, true}, {4, 1.0, false}, // past the end
        {2, 0.25, true}, {1, 0.5, false}, {3, 0.0, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InDisplayRange(data, c.index, c.range), c.expected)
            << "index " << c.index << " range " << c.range;
    EXPECT_FALSE(InDisplayRange(TTDataStation{}, 0, 1.0));
}

} // namespace
