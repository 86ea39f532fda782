// Month files as a careless user, a failing disk or a station clock leave them: a record dated
// ahead, a damaged magic number, zeros, a sparse file, a FIFO or a folder in place of a month. The
// good majority of the records stays in the history, nothing vanishes, and nothing waits for ever.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
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

constexpr size_t kRecordSize = sizeof(TcapteursInfos);

// The records of a history file, read independently of the code under test ("" when missing).
TTDataStation FileRecords(const std::string& path) {
    if (!fs::exists(path)) return {};
    const std::string bytes = ReadWholeFile(path);
    TTDataStation records((bytes.size() - 8) / kRecordSize);
    std::memcpy(records.data(), bytes.data() + 8, records.size() * kRecordSize);
    return records;
}

std::string Bytes(const TcapteursInfos& r) {
    return std::string(reinterpret_cast<const char*>(&r), kRecordSize);
}

bool SameRecords(const TTDataStation& a, const TTDataStation& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * kRecordSize) == 0;
}

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

long MaxRssKb() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HistoryDamageTest : public SandboxTest {
  protected:
    void SetClock(TDateTime now) {
        SetClockForTests([now] { return now; });
    }
    std::string Month(int year, int month) const { return PathDatas + MonthFileName(year, month); }
    std::string Rejected() const { return PathDatas + RejectedFileName; }
    void ClearFolder() {
        fs::remove_all(PathDatas);
        fs::create_directories(PathDatas);
    }
    // The load's error text ("" when none).
    static std::string Load(THistoryStore& store, int months) {
        try {
            store.Load(months);
        } catch (const EOrvanelError& e) {
            return e.what();
        }
        return {};
    }
    static std::string Save(THistoryStore& store) {
        try {
            store.SaveChanged();
        } catch (const EOrvanelError& e) {
            return e.what();
        }
        return {};
    }
};

// Runs body on another thread. A reader blocked on a FIFO is woken after 10 s, and again as often as
// it blocks, by a writer that opens the FIFO and closes it at once; the call then reports that it had
// to wait.
bool ReturnsWithoutWaiting(const std::function<void()>& body, const std::string& fifo) {
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::ready) {
        done.get();
        return true;
    }
    do {
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    } while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
    done.get();
    return false;
}

} // namespace

// A station clock set ahead, or a damaged date, puts one record ahead of the others in the middle of
// the month. That record alone is set aside; the records after it and every later reading stay.
TEST_F(HistoryDamageTest, RecordDatedAheadIsSetAsideAloneAndReadingsGoOn) {
    const TDateTime now = At(2026, 12, 10, 20);
    struct Case {
        const char* what;
        TDateTime ahead;
    };
    const Case cases[] = {
        {"tomorrow 06:00, within a day of now", At(2026, 12, 11, 6)},
        {"a week ahead", At(2026, 12, 17, 6)},
    };
    SetClock(now);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFolder();
        TTDataStation file = Series(At(2026, 12, 1, 0, 0), 400, 20);
        file[200].DateSysteme = c.ahead;
        TTDataStation expected = file;
        expected.erase(expected.begin() + 200);
        WriteWholeFile(Month(2026, 12), FileBytes(file));

        THistoryStore store(PathDatas);
        const std::string error = Load(store, 1);
        EXPECT_NE(error.find("399 points ont été chargés, 1 mis de côté"), std::string::npos) << error;
        EXPECT_TRUE(SameRecords(store.Records(), expected));
        EXPECT_TRUE(SameRecords(FileRecords(Rejected()), {file[200]}));

        const TTDataStation readings = Series(now, 3, 1, 900);
        EXPECT_EQ(store.Append(readings).Added, 3);
        EXPECT_EQ(Save(store), "");
        expected.insert(expected.end(), readings.begin(), readings.end());
        EXPECT_EQ(ReadWholeFile(Month(2026, 12)), FileBytes(expected));
    }
}

// Records a station dated ahead of the computer's clock, within a day, stay in the history; today's
// readings take their place before them instead of being refused. Beyond a day a date is impossible.
TEST_F(HistoryDamageTest, ReadingsTakeTheirPlaceBeforeRecordsDatedAhead) {
    const TDateTime now = At(2026, 12, 10, 20);
    SetClock(now);
    THistoryStore store(PathDatas);
    EXPECT_EQ(store.Append(Series(At(2026, 12, 10, 19), 3, 20)).Added, 3);
    struct Case {
        const char* what;
        TDateTime date;
        TAppendResult expected;
    };
    const Case cases[] = {
        {"station clock two hours ahead", now + 2.0 / 24, TAppendResult::Added},
        {"more than a day ahead", now + 1 + 1.0 / 1440, TAppendResult::SetAside},
        {"a reading of now", now, TAppendResult::Added},
        {"the next reading", now + 20.0 / 86400, TAppendResult::Added},
        {"the reading again", now + 20.0 / 86400, TAppendResult::Copy},
        {"older than a reading already held", At(2026, 12, 10, 19, 30), TAppendResult::SetAside},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(store.Append(Record(c.date, 5)), c.expected);
    }
    ASSERT_EQ(store.Size(), 6u);
    EXPECT_TRUE(std::is_sorted(store.Records().begin(), store.Records().end(),
                               [](const auto& a, const auto& b) { return a.DateSysteme < b.DateSysteme; }));
    EXPECT_EQ(Save(store), "");
    EXPECT_TRUE(SameRecords(FileRecords(Month(2026, 12)), store.Records()));
    EXPECT_EQ(FileRecords(Rejected()).size(), 2u);
}

// Damage of every kind to the current month's file: the sound records are loaded, one message names
// the file, its bytes are kept aside, and the next save writes every record the file held either
// back into the month or into rejected.bin. Nothing vanishes; zeros are only counted.
TEST_F(HistoryDamageTest, DamagedMonthKeepsEveryRecordItHeld) {
    const TDateTime now = At(2026, 12, 10, 20);
    const TTDataStation sound = Series(At(2026, 12, 1, 0, 0), 300, 20);
    auto at = [](size_t record) { return 8 + record * kRecordSize; };
    struct Case {
        const char* what;
        std::function<void(std::string&)> spoil;
        size_t loaded, aside;
        std::vector<std::string> texts; // in the message
        bool recordsKept = true;         // false: nothing in the file is a record of the month
    };
    const std::string zeroMagic = " n'a pas le bon format, le nombre magique est égal à zero";
    const std::string wrongMagic = " n'a pas le bon format (Nombre Magique n'est pas le bon) !";
    const Case cases[] = {
        {"magic zeroed", [](std::string& b) { b.replace(0, 4, 4, '\0'); }, 300, 0,
         {zeroMagic, "300 points ont été chargés, 0 mis de côté"}},
        {"magic changed", [](std::string& b) { b[3] = '\x7F'; }, 300, 0,
         {wrongMagic, "300 points ont été chargés, 0 mis de côté"}},
        {"magic and count zeroed", [](std::string& b) { b.replace(0, 8, 8, '\0'); }, 300, 0,
         {zeroMagic, "il annonce 0 points et en contient 300 complets"}},
        {"magic zeroed and the last record cut", [](std::string& b) { b.replace(0, 4, 4, '\0'); b.resize(b.size() - 30); },
         299, 0, {zeroMagic, "299 points ont été chargés"}},
        {"a record zeroed", [&](std::string& b) { b.replace(at(150), kRecordSize, kRecordSize, '\0'); }, 299, 0,
         {"299 points ont été chargés, 0 mis de côté", "1 points entièrement nuls"}},
        {"a record of another year", [&](std::string& b) {
             const TDateTime d = At(2025, 12, 5);
             std::memcpy(b.data() + at(100), &d, sizeof d);
         }, 299, 1, {"299 points ont été chargés, 1 mis de côté"}},
        {"two records swapped", [&](std::string& b) {
             std::string first = b.substr(at(10), kRecordSize);
             b.replace(at(10), kRecordSize, b.substr(at(11), kRecordSize));
             b.replace(at(11), kRecordSize, first);
         }, 299, 1, {"299 points ont été chargés, 1 mis de côté"}},
        {"not a history file at all", [](std::string& b) { b = std::string(5000, 'x'); }, 0, 0, {wrongMagic}, false},
    };
    SetClock(now);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFolder();
        std::string bytes = FileBytes(sound);
        c.spoil(bytes);
        WriteWholeFile(Month(2026, 12), bytes);

        THistoryStore store(PathDatas);
        const std::string error = Load(store, 1);
        for (const auto& text : c.texts)
            EXPECT_NE(error.find(text), std::string::npos) << error;
        EXPECT_EQ(Count(error, "\n"), 0) << "one message: " << error;
        EXPECT_EQ(error.find(Month(2026, 12)), 0u) << error;
        EXPECT_NE(error.find("copié dans " + Month(2026, 12) + ".damaged"), std::string::npos) << error;
        EXPECT_EQ(ReadWholeFile(Month(2026, 12) + ".damaged"), bytes);
        EXPECT_EQ(store.Size(), c.loaded);

        ASSERT_EQ(store.Append(Record(now, 999)), TAppendResult::Added);
        EXPECT_EQ(Save(store), "");
        const TTDataStation month = FileRecords(Month(2026, 12));
        EXPECT_EQ(month.size(), c.loaded + 1);
        EXPECT_EQ(FileRecords(Rejected()).size(), c.aside);
        if (!c.recordsKept) continue;
        // Every record the file held that is not all zeros is in the month or in rejected.bin.
        std::multiset<std::string> kept;
        for (const auto& r : month)
            kept.insert(Bytes(r));
        for (const auto& r : FileRecords(Rejected()))
            kept.insert(Bytes(r));
        const std::string zero(kRecordSize, '\0');
        for (size_t i = 0; at(i) + kRecordSize <= bytes.size(); ++i) {
            const std::string held = bytes.substr(at(i), kRecordSize);
            if (held != zero) {
                EXPECT_EQ(kept.count(held), 1u) << "record " << i;
            }
        }
    }
}

// A month the user never deleted from is never written with fewer records than its file held; what
// the user deleted is gone at the next save.
TEST_F(HistoryDamageTest, OnlyTheUsersDeletionsMakeAMonthSmaller) {
    SetClock(At(2026, 12, 10, 20));
    const TTDataStation december = Series(At(2026, 12, 1, 0, 0), 50, 60);
    WriteWholeFile(Month(2026, 12), FileBytes(december));
    THistoryStore store(PathDatas);
    EXPECT_EQ(Load(store, 1), "");
    EXPECT_EQ(store.RemoveRange(december[10].DateSysteme, december[19].DateSysteme), 10u);
    EXPECT_EQ(Save(store), "");
    TTDataStation expected = december;
    expected.erase(expected.begin() + 10, expected.begin() + 20);
    EXPECT_EQ(ReadWholeFile(Month(2026, 12)), FileBytes(expected));
}

// A zero-filled file and a sparse one of a gigabyte: read in blocks (memory follows the records, not
// the file), the zeros counted once in the message and kept only in the copy, which has holes.
TEST_F(HistoryDamageTest, ZeroFilledAndSparseFilesCostNeitherMemoryNorDisk) {
    const TDateTime now = At(2026, 12, 10, 20);
    const TTDataStation head = Series(At(2026, 12, 1, 0, 0), 100, 20);
    const TTDataStation tail = Series(At(2026, 12, 5, 0, 0), 100, 20, 500);
    struct Case {
        const char* what;
        size_t records; // complete records the file holds
        bool withRecords;
        size_t loaded;
    };
    const size_t gigabyte = (size_t{1} << 30) / kRecordSize;
    const Case cases[] = {
        {"zero-filled, 8 MB", (size_t{8} << 20) / kRecordSize, false, 0},
        {"sparse, 1 GB, records at both ends", gigabyte, true, 200},
    };
    SetClock(now);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFolder();
        const std::string name = Month(2026, 12);
        {
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ASSERT_GE(fd, 0);
            if (c.withRecords) {
                const std::string front = FileBytes(head, static_cast<int32_t>(c.records));
                const std::string back = FileBytes(tail).substr(8);
                ASSERT_EQ(::pwrite(fd, front.data(), front.size(), 0), static_cast<ssize_t>(front.size()));
                const off_t end = static_cast<off_t>(8 + (c.records - tail.size()) * kRecordSize);
                ASSERT_EQ(::pwrite(fd, back.data(), back.size(), end), static_cast<ssize_t>(back.size()));
            } else {
                const std::string zeros(8 + c.records * kRecordSize, '\0');
                ASSERT_EQ(::write(fd, zeros.data(), zeros.size()), static_cast<ssize_t>(zeros.size()));
            }
            ::close(fd);
        }
        ASSERT_EQ(fs::file_size(name), 8 + c.records * kRecordSize);

        const long rssBefore = MaxRssKb();
        THistoryStore store(PathDatas);
        const std::string error = Load(store, 1);
        EXPECT_LT(MaxRssKb() - rssBefore, 64 * 1024) << "kB more at the peak";
        EXPECT_EQ(store.Size(), c.loaded);
        EXPECT_NE(error.find(std::to_string(c.records - c.loaded) + " points entièrement nuls"), std::string::npos)
            << error;
        EXPECT_FALSE(fs::exists(Rejected())) << "zeros are not records to set aside";
        struct stat copy {};
        ASSERT_EQ(::stat((name + ".damaged").c_str(), &copy), 0);
        EXPECT_EQ(static_cast<size_t>(copy.st_size), fs::file_size(name));
        EXPECT_LT(copy.st_blocks * 512, 1 << 20) << "the copy keeps the holes";

        ASSERT_EQ(store.Append(Record(now, 999)), TAppendResult::Added);
        EXPECT_EQ(Save(store), "");
        TTDataStation expected;
        if (c.withRecords) {
            expected = head;
            expected.insert(expected.end(), tail.begin(), tail.end());
        }
        expected.push_back(Record(now, 999));
        EXPECT_EQ(ReadWholeFile(name), FileBytes(expected));
    }
}

// A FIFO, a folder, a device or a link to one of those where a month file or rejected.bin should be:
// refused with a message that names it, never waited on, never replaced, its records set aside.
TEST_F(HistoryDamageTest, OnlyRegularFilesAreHistoryFiles) {
    const TDateTime now = At(2026, 12, 10, 20);
    struct Case {
        const char* what;
        const char* kind;
        std::function<void(const std::string& path)> make;
        bool fifo; // wakes a blocked reader by opening the path for writing
    };
    auto fifo = [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); };
    const Case cases[] = {
        {"a FIFO", "tube nommé", fifo, true},
        {"a link to a FIFO", "tube nommé",
         [&](const std::string& p) {
             fifo(p + ".fifo");
             fs::create_symlink(p + ".fifo", p);
         },
         true},
        {"a folder", "dossier", [](const std::string& p) { fs::create_directory(p); }, false},
        {"a link to a device", "périphérique", [](const std::string& p) { fs::create_symlink("/dev/zero", p); },
         false},
    };
    SetClock(now);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFolder();
        const std::string name = Month(2026, 12);
        c.make(name);
        struct stat before {};
        ASSERT_EQ(::lstat(name.c_str(), &before), 0);

        THistoryStore store(PathDatas);
        std::string error;
        TAppendResult appended = TAppendResult::Added;
        const bool returned = ReturnsWithoutWaiting(
            [&] {
                error = Load(store, 1);
                appended = store.Append(Record(now, 1));
                Save(store);
            },
            c.fifo ? name : std::string());
        EXPECT_TRUE(returned) << "the load waited on " << name;
        EXPECT_EQ(error, name + " n'est pas un fichier ordinaire (" + c.kind + ") : il n'est pas lu.");
        EXPECT_EQ(appended, TAppendResult::SetAside);
        struct stat after {};
        ASSERT_EQ(::lstat(name.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode & S_IFMT, before.st_mode & S_IFMT) << "left as it was";
        EXPECT_EQ(FileRecords(Rejected()).size(), 1u);
    }

    // rejected.bin itself: the records wait in memory, the FIFO stays.
    ClearFolder();
    ASSERT_EQ(::mkfifo(Rejected().c_str(), 0644), 0);
    THistoryStore store(PathDatas);
    std::vector<std::string> problems;
    std::string saveError;
    const bool returned = ReturnsWithoutWaiting(
        [&] {
            EXPECT_EQ(store.Append(Record(At(1999, 12, 31), 2)), TAppendResult::SetAside);
            problems = store.TakeProblems();
            saveError = Save(store);
        },
        Rejected());
    EXPECT_TRUE(returned) << "waited on rejected.bin";
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0], Rejected() + " n'est pas un fichier ordinaire (tube nommé) : il n'est pas lu.");
    EXPECT_EQ(saveError, problems[0]);
    EXPECT_TRUE(fs::is_fifo(Rejected()));
}
