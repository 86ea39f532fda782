// orvanel-data run as a process on month files written by the test: its statistics and export are
// those of the library (and of the window's menu), its check finds a damaged file, and its errors
// name what is wrong.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "CsvExport.h"
#include "DataToolsRecords.h"
#include "HistoryStore.h"
#include "Statistics.h"
#include "TestSupport.h"

namespace {

using namespace datatools_test;

struct TRun {
    int Status = -1;
    std::string Out, Err;
};

class OrvanelDataTest : public SandboxTest {
  protected:
    // Records every 20 minutes from 20 February to 10 March 2014, with night and day, clear and
    // cloudy spells, rain, gusts and a few records without light, saved as month files.
    void SetUp() override {
        SandboxTest::SetUp();
        THistoryStore store(PathDatas);
        const TDateTime first = EncodeDateTime(2014, 2, 20);
        for (int i = 0; i < 18 * 72; ++i) {
            const int hour = (i / 3) % 24;
            TRec d;
            d.Minute = 0;
            d.Delta = (i / 12) % 3 == 0 ? CloudySky : ClearSky;
            d.Temp = static_cast<float>(5 + hour % 12);
            d.Humidity = static_cast<float>(40 + i % 50);
            d.Rain = static_cast<uint8_t>(i % 97 < 5 ? 1 : i % 97 < 7 ? 2 : 0);
            d.GustValid = i % 11 != 0;
            d.Gust = static_cast<float>(i % 17);
            d.LightValid = i % 23 != 0;
            d.Lumex = hour >= 7 && hour < 19 ? DayLumex : NightLumex;
            TcapteursInfos r = Make(d);
            r.DateSysteme = first + i / 72.0;
            records_.push_back(r);
        }
        store.Append(records_);
        store.SaveChanged();
    }

    // prefix: a command that runs orvanel-data (timeout 30 ...).
    TRun Run(const std::string& arguments, const std::string& prefix = {}) {
        const std::string out = Root() + "out.txt", err = Root() + "err.txt";
        const std::string command =
            prefix + std::string(ORVANEL_DATA_PATH) + " " + arguments + " >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        TRun run;
        run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Out = ReadWholeFile(out);
        run.Err = ReadWholeFile(err);
        return run;
    }

    TTDataStation records_;
};

TEST_F(OrvanelDataTest, StatsJsonIsTheLibraryResult) {
    const TRun run =
        Run("--data-dir " + PathDatas + " stats --from 2014-02-25 --to '2014-03-04 12:00' --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const StatsResult expected = ComputeStatistics(records_, EncodeDateTime(2014, 2, 25),
                                                   EncodeDateTime(2014, 3, 4, 12), Cloudy, Dawn);
    ASSERT_GT(expected.IntervalCount, 100);
    ASSERT_TRUE(expected.NightClearPercent.Valid && expected.DayClearPercent.Valid);
    EXPECT_EQ(run.Out, StatsJson(expected) + "\n");

    // The text form is the grid.
    const TRun text = Run("--data-dir " + PathDatas + " stats --from 2014-02-25 --to 2014-03-04");
    ASSERT_EQ(text.Status, 0) << text.Err;
    EXPECT_NE(text.Out.find(" Blocs continus de ciel sans nuages >2h"), std::string::npos) << text.Out;
    EXPECT_NE(text.Out.find(StatsGridTexts(ComputeStatistics(records_, EncodeDateTime(2014, 2, 25),
                                                             EncodeDateTime(2014, 3, 5) - 1.0 / 86400000,
                                                             Cloudy, Dawn))[2][1]),
              std::string::npos);
}

TEST_F(OrvanelDataTest, ExportIsTheMenusFile) {
    // The menu exports the recent records; here the whole history is recent.
    const std::string menuFile = Root() + "menu.csv";
    ASSERT_TRUE(ExportCsvFile(menuFile, records_, SetupInfos).Succeeded());
    const TRun run = Run("--data-dir " + PathDatas + " export --from 2014-02-20 --to 2014-03-10");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, ReadWholeFile(menuFile));

    const TRun toFile =
        Run("--data-dir " + PathDatas + " export --from 2014-02-20 --to 2014-03-10 -o " + Root() + "cli.csv");
    ASSERT_EQ(toFile.Status, 0) << toFile.Err;
    EXPECT_EQ(ReadWholeFile(Root() + "cli.csv"), ReadWholeFile(menuFile));
}

TEST_F(OrvanelDataTest, CheckFindsATruncatedFile) {
    const TRun sound = Run("--data-dir " + PathDatas + " check");
    EXPECT_EQ(sound.Status, 0) << sound.Out << sound.Err;
    EXPECT_NE(sound.Out.find("2014_02.bin  648 records  20/02/2014 00:00:00 .. 28/02/2014 23:40:00  sound"),
              std::string::npos)
        << sound.Out;

    const std::string march = PathDatas + "2014_03.bin";
    std::filesystem::resize_file(march, std::filesystem::file_size(march) - 10);
    const TRun damaged = Run("--data-dir " + PathDatas + " check");
    EXPECT_EQ(damaged.Status, 1);
    EXPECT_NE(damaged.Out.find("2014_03.bin  647 records"), std::string::npos) << damaged.Out;
    EXPECT_NE(damaged.Out.find("not a whole number of records"), std::string::npos) << damaged.Out;

    // Statistics over the damaged month say which file is wrong, and give no figures.
    const TRun stats = Run("--data-dir " + PathDatas + " stats --from 2014-03-01 --to 2014-03-02 --json");
    EXPECT_EQ(stats.Status, 1);
    EXPECT_TRUE(stats.Out.empty()) << stats.Out;
    EXPECT_NE(stats.Err.find(march), std::string::npos) << stats.Err;
    // A range that does not touch it is read.
    EXPECT_EQ(Run("--data-dir " + PathDatas + " stats --from 2014-02-21 --to 2014-02-22").Status, 0);
}

// A FIFO or a folder in place of a month file is refused by name at once (a FIFO used to block the
// tool for ever); a 16 GB sparse month is checked with the memory of its records, not of its size.
TEST_F(OrvanelDataTest, HostileMonthFilesAreRefusedByNameWithBoundedMemory) {
    namespace fs = std::filesystem;
    const std::string march = PathDatas + "2014_03.bin";
    const std::string marchBytes = ReadWholeFile(march);
    struct TCase {
        const char* What;
        std::function<void()> Make;
        const char* Problem;
    };
    const TCase cases[] = {
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(march.c_str(), 0644), 0); },
         "2014_03.bin n'est pas un fichier ordinaire (tube nommé) : il n'est pas lu."},
        {"a folder", [&] { fs::create_directory(march); },
         "2014_03.bin n'est pas un fichier ordinaire (dossier) : il n'est pas lu."},
        {"a 16 GB sparse file",
         [&] {
             WriteWholeFile(march, marchBytes);
             const uintmax_t records = (uintmax_t{16} << 30) / sizeof(TcapteursInfos);
             fs::resize_file(march, 8 + records * sizeof(TcapteursInfos));
         },
         "record(s) whose every byte is zero"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        fs::remove_all(march);
        c.Make();
        const TRun check = Run("--data-dir " + PathDatas + " check", "timeout 60 ");
        EXPECT_EQ(check.Status, 1) << "124: it waited\n" << check.Err;
        EXPECT_NE(check.Out.find(c.Problem), std::string::npos) << check.Out;
        EXPECT_NE(check.Out.find("2014_02.bin  648 records"), std::string::npos) << "the other months are checked";
        const TRun stats =
            Run("--data-dir " + PathDatas + " stats --from 2014-03-01 --to 2014-03-02 --json", "timeout 60 ");
        EXPECT_EQ(stats.Status, 1) << stats.Err;
        EXPECT_NE(stats.Err.find(march), std::string::npos) << stats.Err;
    }
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    EXPECT_LT(children.ru_maxrss, 256 * 1024) << "kB at the peak of a run";
}

// A record whose values are not numbers is used as the monitor uses it: the statistics are the
// library's over the same records (the window's), the export writes it, and check notes it without
// calling the file damaged.
TEST_F(OrvanelDataTest, RecordsWithValuesThatAreNotNumbersAreUsedAsTheMonitorUsesThem) {
    std::filesystem::remove_all(PathDatas);
    records_[100].Humidity = std::nanf("");
    records_[200].ValueTempDeg = std::nanf("");
    THistoryStore store(PathDatas);
    ASSERT_EQ(store.Append(records_).Added, static_cast<int>(records_.size()));
    store.SaveChanged();

    const TRun stats = Run("--data-dir " + PathDatas + " stats --from 2014-02-21 --to 2014-02-26 --json");
    ASSERT_EQ(stats.Status, 0) << stats.Err;
    EXPECT_EQ(stats.Out, StatsJson(ComputeStatistics(records_, EncodeDateTime(2014, 2, 21),
                                                     EncodeDateTime(2014, 2, 27) - 1.0 / 86400000, Cloudy,
                                                     Dawn)) +
                             "\n");
    const TRun exported = Run("--data-dir " + PathDatas + " export --from 2014-02-21 --to 2014-02-26");
    ASSERT_EQ(exported.Status, 0) << exported.Err;
    EXPECT_NE(exported.Out.find(";nan;"), std::string::npos);
    const TRun check = Run("--data-dir " + PathDatas + " check");
    EXPECT_EQ(check.Status, 0) << check.Out;
    EXPECT_NE(check.Out.find("note: 2 record(s) with values that are not numbers"), std::string::npos) << check.Out;
}

TEST_F(OrvanelDataTest, ErrorsSayWhatAndWhere) {
    struct TCase {
        const char* Arguments;
        int Status;
        const char* Message;
    };
    const TCase cases[] = {
        {"stats --from 2014-02-30 --to 2014-03-01", 2, "--from: \"2014-02-30\" is not a date"},
        {"stats --from 2014-03-01 --to 2014-02-01", 2, "--to is before --from"},
        {"stats --from 2014-03-01", 2, "stats needs --from and --to"},
        {"export --from 2014-03-01 --to 2014-03-02 --json", 2, "--json goes with stats"},
        {"purge", 2, "unknown command purge"},
        {"--data-dir /no/such/folder check", 1, "/no/such/folder/: no such data folder"},
        {"--data-dir /no/such/folder stats --from 2014-03-01 --to 2014-03-02", 1,
         "/no/such/folder/: no such data"},
    };
    for (const TCase& c : cases) {
        const TRun run = Run(c.Arguments);
        EXPECT_EQ(run.Status, c.Status) << c.Arguments;
        EXPECT_NE(run.Err.find(c.Message), std::string::npos) << c.Arguments << "\n" << run.Err;
        EXPECT_TRUE(run.Out.empty()) << c.Arguments;
    }
    const TRun help = Run("--help");
    EXPECT_EQ(help.Status, 0);
    EXPECT_NE(help.Out.find("export --from DATE --to DATE [-o FILE]"), std::string::npos);
}

} // namespace
