// The history's rules against the faults that used to lose records: a month change with one month
// loaded, station memory dated before the history, damaged month files, copies, a clock set back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "HistoryStore.h"
#include "HistoryTestRecords.h"
#include "TestSupport.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

using history_test::At;
using history_test::FileBytes;
using history_test::Record;
using history_test::Series;

// Records of a history file, read independently of the code under test.
TTDataStation FileRecords(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    TTDataStation records((bytes.size() - 8) / sizeof(TcapteursInfos));
    std::memcpy(records.data(), bytes.data() + 8, records.size() * sizeof(TcapteursInfos));
    int32_t count = 0;
    std::memcpy(&count, bytes.data() + 4, 4);
    EXPECT_EQ(static_cast<size_t>(count), records.size()) << path;
    return records;
}

bool Sorted(const TTDataStation& records) {
    for (size_t i = 1; i < records.size(); ++i)
        if (records[i].DateSysteme < records[i - 1].DateSysteme) return false;
    return true;
}

class HistoryStoreTest : public SandboxTest {
  protected:
    void SetClock(TDateTime now) {
        SetClockForTests([now] { return now; });
    }
    std::string Month(int year, int month) const { return PathDatas + MonthFileName(year, month); }
    std::string Rejected() const { return PathDatas + RejectedFileName; }
    // The load's error text ("" when none).
    static std::string Load(THistoryStore& store, int months) {
        try {
            store.Load(months);
        } catch (const EOrvanelError& e) {
            return e.what();
        }
        return {};
    }
};

} // namespace

// One month is loaded at start; a memory download reaches back into the previous month. The
// previous month's file must come out with its earlier records and the downloaded ones, after any
// number of saves.
TEST_F(HistoryStoreTest, DownloadReachingBackIntoAMonthNotLoadedKeepsThatMonthWhole) {
    const TTDataStation november = Series(At(2026, 11, 1, 0, 0), 2016, 20); // up to 28 November
    WriteWholeFile(Month(2026, 11), FileBytes(november));
    SetClock(At(2026, 12, 2, 8));

    THistoryStore store(PathDatas);
    EXPECT_EQ(Load(store, 1), "");
    EXPECT_TRUE(store.Empty());

    const TTDataStation memory = Series(At(2026, 11, 29, 0, 0), 3 * 24 * 3 + 20, 20, 5000); // to 2 December
    const TAppendTally tally = store.Append(memory);
    EXPECT_EQ(tally.Added, static_cast<int>(memory.size()));
    store.SaveChanged();
    store.Append(Record(At(2026, 12, 2, 8)));
    store.SaveChanged(); // a second save must not overwrite the first one's backup with less

    TTDataStation expectedNovember = november;
    TTDataStation expectedDecember;
    for (const auto& r : memory)
        (MonthOf(r.DateSysteme) == 11 ? expectedNovember : expectedDecember).push_back(r);
    expectedDecember.push_back(Record(At(2026, 12, 2, 8)));
    EXPECT_EQ(ReadWholeFile(Month(2026, 11)), FileBytes(expectedNovember));
    EXPECT_EQ(ReadWholeFile(Month(2026, 12)), FileBytes(expectedDecember));
    EXPECT_GE(FileRecords(Month(2026, 11) + ".back").size(), november.size());
    EXPECT_EQ(store.Size(), expectedNovember.size() + expectedDecember.size());
    EXPECT_TRUE(Sorted(store.Records()));
    EXPECT_FALSE(fs::exists(Rejected()));
}

// The station lost power and its clock restarted at 2000-01-01: its records are older than the
// history. They are set aside in rejected.bin and the current month is untouched.
TEST_F(HistoryStoreTest, StationMemoryDatedBeforeTheHistoryIsSetAside) {
    const TTDataStation december = Series(At(2026, 12, 1, 0, 0), 1296, 1);
    WriteWholeFile(Month(2026, 12), FileBytes(december));
    SetClock(At(2026, 12, 10, 9));

    THistoryStore store(PathDatas);
    EXPECT_EQ(Load(store, 1), "");
    const TTDataStation memory = Series(At(2000, 1, 1, 0, 0), 700, 2, 9000);
    const TAppendTally tally = store.Append(memory);
    EXPECT_EQ(tally.Added, 0);
    EXPECT_EQ(tally.SetAside, 700);
    store.Append(Record(At(2026, 12, 10, 9)));
    store.SaveChanged();
    store.SaveChanged();

    TTDataStation expected = december;
    expected.push_back(Record(At(2026, 12, 10, 9)));
    EXPECT_EQ(ReadWholeFile(Month(2026, 12)), FileBytes(expected));
    EXPECT_EQ(ReadWholeFile(Rejected()), FileBytes(memory));
    EXPECT_FALSE(fs::exists(Month(2000, 1)));
}

// Records handed over twice (a download repeated after a failure) are stored once; a record older
// than the newest one held (the PC clock set back) is set aside; impossible dates never enter.
TEST_F(HistoryStoreTest, CopiesAreDroppedAndOutOfOrderRecordsSetAside) {
    SetClock(At(2026, 12, 10, 12));
    THistoryStore store(PathDatas);
    const TTDataStation first = Series(At(2026, 12, 10, 8), 30, 1);
    EXPECT_EQ(store.Append(first).Added, 30);
    const TTDataStation again = Series(At(2026, 12, 10, 8), 45, 1);
    const TAppendTally tally = store.Append(again);
    EXPECT_EQ(tally.Copies, 30);
    EXPECT_EQ(tally.Added, 15);

    struct Case {
        const char* what;
        TDateTime date;
        TAppendResult expected;
    };
    const Case cases[] = {
        {"a copy of the newest", At(2026, 12, 10, 8) + 44 / 1440.0, TAppendResult::Copy},
        {"clock set back an hour", At(2026, 12, 10, 8, 20) + 0.5 / 1440.0, TAppendResult::SetAside},
        {"not a number", std::numeric_limits<double>::quiet_NaN(), TAppendResult::SetAside},
        {"infinite", std::numeric_limits<double>::infinity(), TAppendResult::SetAside},
        {"far future", 1e300, TAppendResult::SetAside},
        {"the day after tomorrow", At(2026, 12, 12, 0, 1), TAppendResult::SetAside},
        {"more than a day ahead", At(2026, 12, 11, 12, 1), TAppendResult::SetAside},
        {"before 2000", At(1999, 12, 31, 23, 59), TAppendResult::SetAside},
        {"tomorrow, within a day", At(2026, 12, 11, 11, 0), TAppendResult::Added},
    };
    int setAside = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(store.Append(Record(c.date, 77)), c.expected);
        if (c.expected == TAppendResult::SetAside) ++setAside;
    }
    EXPECT_EQ(store.Size(), 46u);
    EXPECT_TRUE(Sorted(store.Records()));
    store.SaveChanged();
    EXPECT_EQ(FileRecords(Month(2026, 12)).size(), 46u);
    EXPECT_EQ(FileRecords(Rejected()).size(), static_cast<size_t>(setAside));
}

// A header count smaller than the records held, and records that cannot belong where they stand: the
// sound records are loaded and saved, the others set aside, a byte copy kept, one message.
TEST_F(HistoryStoreTest, DamagedMonthFilesLoseNothing) {
    const TTDataStation sound = Series(At(2026, 11, 1, 0, 0), 3000, 10);
    struct Case {
        const char* what;
        int32_t count;               // header
        std::vector<size_t> spoiled; // records given the bad date
        TDateTime badDate;
    };
    const Case cases[] = {
        {"count smaller than the records held", 10, {}, 0},
        {"a NaN date", 3000, {1500}, std::numeric_limits<double>::quiet_NaN()},
        {"a 1e300 date", 3000, {1500}, 1e300},
        {"a year-2000 date", 3000, {1500}, At(2000, 1, 1)},
        {"a date of another month", 3000, {0, 2999}, At(2026, 12, 1)},
    };
    SetClock(At(2026, 12, 3));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(PathDatas);
        fs::create_directories(PathDatas);
        TTDataStation file = sound;
        TTDataStation expected, expectedAside;
        for (size_t i = 0; i < file.size(); ++i) {
            if (std::find(c.spoiled.begin(), c.spoiled.end(), i) != c.spoiled.end()) {
                file[i].DateSysteme = c.badDate;
                expectedAside.push_back(file[i]);
            } else {
                expected.push_back(file[i]);
            }
        }
        const std::string bytes = FileBytes(file, c.count);
        WriteWholeFile(Month(2026, 11), bytes);

        THistoryStore store(PathDatas);
        const std::string error = Load(store, 2);
        EXPECT_NE(error.find(Month(2026, 11) + " est endommagé"), std::string::npos) << error;
        EXPECT_NE(error.find(std::to_string(expected.size()) + " points ont été chargés, " +
                             std::to_string(expectedAside.size()) + " mis de côté"),
                  std::string::npos)
            << error;
        EXPECT_EQ(ReadWholeFile(Month(2026, 11) + ".damaged"), bytes);
        EXPECT_EQ(store.Size(), expected.size());

        store.Append(Record(At(2026, 12, 2)));
        store.SaveChanged();
        store.SaveChanged();
        EXPECT_EQ(ReadWholeFile(Month(2026, 11)), FileBytes(expected)) << "rewritten whole and sound";
        if (expectedAside.empty())
            EXPECT_FALSE(fs::exists(Rejected()));
        else
            EXPECT_EQ(FileRecords(Rejected()).size(), expectedAside.size());
    }
}

// A month file that exists but cannot be read is never rewritten from memory alone.
TEST_F(HistoryStoreTest, UnreadableMonthIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    SetClock(At(2026, 12, 3));
    const std::string bytes = FileBytes(Series(At(2026, 12, 1), 10, 10));
    WriteWholeFile(Month(2026, 12), bytes);
    fs::permissions(Month(2026, 12), fs::perms::none);
    THistoryStore store(PathDatas);
    EXPECT_NE(Load(store, 1).find("Erreur de lecture du fichier " + Month(2026, 12)), std::string::npos);
    EXPECT_EQ(store.Append(Record(At(2026, 12, 3))), TAppendResult::SetAside);
    store.SaveChanged();
    fs::permissions(Month(2026, 12), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadWholeFile(Month(2026, 12)), bytes);
}

TEST_F(HistoryStoreTest, LowerBoundFindsDatesAtTheEdges) {
    SetClock(At(2026, 12, 10));
    THistoryStore store(PathDatas);
    store.Append(Series(At(2026, 12, 1), 100, 60));
    const auto& r = store.Records();
    EXPECT_EQ(store.LowerBound(r.front().DateSysteme - 1), 0u);
    EXPECT_EQ(store.LowerBound(r.front().DateSysteme), 0u);
    EXPECT_EQ(store.LowerBound(r[42].DateSysteme), 42u);
    EXPECT_EQ(store.LowerBound(r[42].DateSysteme + 1e-6), 43u);
    EXPECT_EQ(store.LowerBound(r.back().DateSysteme), 99u);
    EXPECT_EQ(store.LowerBound(r.back().DateSysteme + 1), 100u);
    EXPECT_EQ(THistoryStore(PathDatas).LowerBound(At(2026, 1, 1)), 0u);
}
