// The CSV file byte for byte (header, fields, skipped records, the ".csv" rule, failures) and the
// texts of the data table's columns.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CsvExport.h"
#include "DataTable.h"
#include "DataToolsRecords.h"
#include "HistoryStore.h"
#include "TestSupport.h"

namespace {

using namespace datatools_test;

TEST(CsvExport, FileNameGetsCsvUnlessItEndsInCsvInAnyCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"/tmp/export", "/tmp/export.csv"}, {"/tmp/a.txt", "/tmp/a.txt.csv"}, {"/tmp/b.Csv", "/tmp/b.Csv"},
        {"/tmp/c.CSV", "/tmp/c.CSV"},       {"/tmp/d.csv", "/tmp/d.csv"},     {"/tmp/csv", "/tmp/csv.csv"},
    };
    for (const auto& [chosen, written] : cases)
        EXPECT_EQ(CsvFileName(chosen), written);
}

class CsvFileTest : public SandboxTest {};

TEST_F(CsvFileTest, LayoutByteForByteNewestFirstWithoutRecordsLackingLight) {
    const TTDataStation records = {
        Make({.Minute = 0,
              .Delta = -25,
              .Temp = 10,
              .Humidity = 50,
              .GustValid = true,
              .Gust = 10,
              .LightValid = true,
              .Lumex = 2}),
        Make({.Minute = 30, .Temp = 11, .LightValid = false}), // no light: not exported
        Make({.Minute = 60,
              .Delta = -3.5f,
              .Temp = -2.25f,
              .Humidity = 97.5f,
              .Rain = 1,
              .GustValid = false,
              .Gust = 1.5f,
              .LightValid = true,
              .Lumex = -1.5}),
    };
    TSetupInfos setup;
    const std::string path = CsvFileName(Root() + "export");
    const TCsvExportResult result = ExportCsvFile(path, records, setup);
    ASSERT_TRUE(result.Succeeded()) << result.Text;
    EXPECT_EQ(result.Lines, 2u);
    const std::string expected =
        "Date;Date;Temp °C;Tp Ciel °C;Tp Ciel-Temp °C;Pluie;Lumière;Lumiere (Mag);Dir. Vent (°);Vent "
        "(km/h);Humidité (%);\r\n"
        "10/03/2014 01:00:00;41708.041667;-2.25;-5.75;-3.50;1;15.00;16.15;270.0;5.4;97.5;\r\n"
        "10/03/2014 00:00:00;41708.000000;10.00;-15.00;-25.00;0;50.00;7.40;270.0;36.0;50.0;\r\n";
    EXPECT_EQ(ReadWholeFile(Root() + "export.csv"), expected);

    setup.Unit_Mph = true;
    EXPECT_NE(CsvHeader(setup).find(";Vent (Mph);"), std::string::npos);
    EXPECT_EQ(CsvLine(records[0], setup).substr(72), "22.4;50.0;\r\n");
}

TEST_F(CsvFileTest, AFailedExportNamesTheFileAndSaysItIsIncomplete) {
    TTDataStation records = Every(1, 50000, {.LightValid = true, .Lumex = 1});
    const std::string path = Root() + "full.csv";
    {
        FileSizeLimit limit(1 << 20); // the disk is full after 1 MB
        const TCsvExportResult result = ExportCsvFile(path, records, TSetupInfos{});
        EXPECT_FALSE(result.Succeeded());
        EXPECT_NE(result.Text.find(path), std::string::npos) << result.Text;
        EXPECT_NE(result.Text.find("incomplet"), std::string::npos) << result.Text;
    }
    EXPECT_GT(ReadWholeFile(path).size(), 0u); // what was written stays

    const TCsvExportResult refused = ExportCsvFile(Root() + "no/such/folder/x.csv", records, TSetupInfos{});
    EXPECT_FALSE(refused.Succeeded());
    EXPECT_NE(refused.Text.find("no/such/folder/x.csv"), std::string::npos) << refused.Text;
}

TEST(DataTable, ColumnTitlesAndTexts) {
    TDataTableOptions options;
    EXPECT_EQ(DataTableTitles(options),
              (TDataTableRow{"Index", "Date", "Temp °C", "Tp Ciel °C", "Pluie", "Lumière", "Dir. Vent (°)",
                             "Vent (km/h)", "Humidité (%)"}));
    const TcapteursInfos full = Make({.Minute = 90,
                                      .Delta = -21.3f,
                                      .Temp = 4.5f,
                                      .Humidity = 81.3f,
                                      .Rain = 1,
                                      .GustValid = true,
                                      .Gust = 5,
                                      .LightValid = true,
                                      .Lumex = 1.25});
    EXPECT_EQ(
        DataTableRowTexts(full, 42, options),
        (TDataTableRow{"42", "10/03/2014 01:30:00", "4.5", "-21.3", "OUI", "1.25", "270.0", "18.0", "81.3"}));

    options.MagniDisplay = true;
    options.SkyMinusGround = false;
    options.UnitMph = true;
    EXPECT_EQ(DataTableTitles(options)[5], "Magnitude");
    EXPECT_EQ(DataTableTitles(options)[7], "Vent (Mph)");
    EXPECT_EQ(
        DataTableRowTexts(full, 42, options),
        (TDataTableRow{"42", "10/03/2014 01:30:00", "4.5", "-16.8", "OUI", "9.28", "270.0", "11.2", "81.3"}));

    const TcapteursInfos bare = Make({.Rain = 2});
    const TDataTableRow row = DataTableRowTexts(bare, 1, options);
    EXPECT_EQ(row[4], "NON");
    EXPECT_EQ(row[5], "???");
    EXPECT_EQ(row[6], "???");
    EXPECT_EQ(row[7], "???");
}

class DataTableWindowTest : public SandboxTest {};

TEST_F(DataTableWindowTest, RecentRecordsNewestFirstAtMost200000) {
    THistoryStore store(PathDatas);
    EXPECT_EQ(TDataTableWindow(store, {}).Rows(), 0u);
    // Two days every 30 s: with one day displayed, 2881 records are recent.
    TTDataStation records;
    for (int i = 0; i <= 2 * 2880; ++i)
        records.push_back(Make({.Minute = i * 0.5}));
    store.Append(records);
    TDataTableOptions options;
    options.RangeDateDisplay = 1;
    const TDataTableWindow window(store, options);
    EXPECT_EQ(window.RecentCount(), 2881u);
    EXPECT_EQ(window.Rows(), 2881u);
    EXPECT_FALSE(window.Limited());
    EXPECT_EQ(window.RecordIndex(0), store.Size() - 1);
    EXPECT_EQ(window.RecordIndex(2880), store.Size() - 2881);
    EXPECT_EQ(DataTableCountText(1, window.RecentCount()),
              "Affichage des données des 1 dernier(s) jour(s) : 2881 données");

    // 400 days: more recent records than the table shows.
    options.RangeDateDisplay = 400;
    TTDataStation many;
    for (int i = 1; i <= 200000; ++i)
        many.push_back(Make({.Minute = 2 * 2880 * 0.5 + i * 0.5}));
    store.Append(many);
    const TDataTableWindow limited(store, options);
    EXPECT_TRUE(limited.Limited());
    EXPECT_EQ(limited.Rows(), DataTableMaxRows);
    EXPECT_EQ(DataTableLimitText(),
              "Le nombre de points est supérieur à 200000, il ne seront pas tous affichés ici !");
}

} // namespace
