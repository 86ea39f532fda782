// Deleting a range of records by index and cleaning gusts change the history held in memory and
// every month file they touch, older months included; the refusals delete nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "DataTable.h"
#include "DataToolsRecords.h"
#include "HistoryEdits.h"
#include "HistoryStore.h"
#include "TestSupport.h"
#include "UserText.h"

namespace {

using namespace datatools_test;

// The records of a month file, read without the code under test.
TTDataStation FileRecords(const std::string& path) {
    const std::string bytes = ReadWholeFile(path);
    if (bytes.size() <= 8) return {};
    TTDataStation records((bytes.size() - 8) / sizeof(TcapteursInfos));
    std::memcpy(records.data(), bytes.data() + 8, records.size() * sizeof(TcapteursInfos));
    return records;
}

class HistoryEditsTest : public SandboxTest {
  protected:
    // Ten records a day apart from 25 January 2014 (January and February), their light counter
    // numbering them 1 to 10, saved.
    void SetUp() override {
        SandboxTest::SetUp();
        store_ = std::make_unique<THistoryStore>(PathDatas);
        for (int i = 1; i <= 10; ++i) {
            TcapteursInfos r = Make({});
            r.DateSysteme = EncodeDateTime(2014, 1, 24) + i;
            r.LightValueAbs = static_cast<uint32_t>(i);
            store_->Append(r);
        }
        store_->SaveChanged();
    }
    std::vector<uint32_t> Numbers(const TTDataStation& records) {
        std::vector<uint32_t> n;
        for (const auto& r : records)
            n.push_back(FieldValue(r.LightValueAbs));
        return n;
    }
    std::unique_ptr<THistoryStore> store_;
};

TEST_F(HistoryEditsTest, DeletingThreeToFiveOfTen) {
    const TIndexRangeCheck check = CheckIndexRange(*store_, 3, 5);
    ASSERT_TRUE(check.Allowed());
    EXPECT_EQ(check.Count, 3u);
    EXPECT_EQ(DeleteQuestion(check),
              "Supprimer définitivement 3 donnée(s), du 27/01/2014 00:00:00 au 29/01/2014 00:00:00 ?");

    EXPECT_EQ(DeleteIndexRange(*store_, 3, 5), 3u);
    const std::vector<uint32_t> left = {1, 2, 6, 7, 8, 9, 10};
    EXPECT_EQ(Numbers(store_->Records()), left);
    EXPECT_EQ(FieldValue(store_->Records()[2].LightValueAbs), 6u); // the old record 6 is record 3 now
    EXPECT_FALSE(store_->HasUnsavedChanges());
    // Both months are written at once: January lost 3, 4 and 5 (the 27th to the 29th).
    const std::vector<uint32_t> january = {1, 2, 6, 7};
    EXPECT_EQ(Numbers(FileRecords(PathDatas + "2014_01.bin")), january);

    TDataTableOptions options;
    options.RangeDateDisplay = 365;
    EXPECT_EQ(TDataTableWindow(*store_, options).Rows(), 7u);
}

TEST_F(HistoryEditsTest, RefusedRangesDeleteNothing) {
    struct TCase {
        int64_t Start, End;
        const char* Message;
    };
    for (const TCase& c : {TCase{5, 4, "Index d'arrivée inférieur à l'index de depart !!"},
                           TCase{1, 11, "Index d'arrivée supérieur au nombre de points !!"},
                           TCase{0, 3, "Index de départ inférieur à 1 !!"}}) {
        EXPECT_EQ(CheckIndexRange(*store_, c.Start, c.End).Refusal, c.Message);
        try {
            DeleteIndexRange(*store_, c.Start, c.End);
            ADD_FAILURE() << c.Start << ".." << c.End << " was deleted";
        } catch (const EOrvanelError& e) {
            EXPECT_STREQ(e.what(), c.Message);
        }
        EXPECT_EQ(store_->Size(), 10u);
    }
    // The whole history may go.
    EXPECT_EQ(DeleteIndexRange(*store_, 1, 10), 10u);
    EXPECT_TRUE(FileRecords(PathDatas + "2014_02.bin").empty());
}

TEST_F(HistoryEditsTest, CleaningSetsImplausibleGustsToZeroAndSavesEveryMonth) {
    THistoryStore store(PathDatas);
    const float values[] = {150, -1, std::numeric_limits<float>::quiet_NaN(), 100, 12.5f};
    // Three months: the first is older than the two that a periodic save would write.
    for (int i = 0; i < 5; ++i) {
        TcapteursInfos r = Make({.GustValid = i != 1, .Gust = values[i]});
        r.DateSysteme = EncodeDateTime(2013, 10 + i / 2, 5 + i);
        store.Append(r);
    }
    store.SaveChanged();

    EXPECT_EQ(CleanWindValues(store), 3u);
    const float expected[] = {0, 0, 0, 100, 12.5f};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(FieldValue(store.Records()[i].WindSpeedMax_ms), expected[i]) << i;
        EXPECT_EQ(FieldValue(store.Records()[i].ValidWindGUST), i != 1) << "validity unchanged " << i;
    }
    const TTDataStation october = FileRecords(PathDatas + "2013_10.bin");
    ASSERT_EQ(october.size(), 2u);
    EXPECT_EQ(FieldValue(october[0].WindSpeedMax_ms), 0.0f); // 150 m/s, in the oldest month
    EXPECT_EQ(FieldValue(october[1].WindSpeedMax_ms), 0.0f);
    EXPECT_FALSE(store.HasUnsavedChanges());
}

} // namespace
