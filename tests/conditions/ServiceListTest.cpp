// The order of the services: started in the order added, told of readings and link changes in that
// order (only those that started), stopped in the reverse order, each once, also a failed one.
#include <gtest/gtest.h>
#include <stdexcept>

#include "ServiceList.h"

namespace {

// Writes what happens to it into a shared journal, as "name:event".
class TJournalService : public TService {
  public:
    TJournalService(std::string name, std::vector<std::string>& journal, std::string startError = {})
        : name_(std::move(name)), journal_(journal), startError_(std::move(startError)) {}
    std::string Name() const override { return name_; }
    bool Start(std::string& error) override {
        journal_.push_back(name_ + ":start");
        if (startError_ == "throw") throw std::runtime_error("broker unreachable");
        error = startError_;
        return startError_.empty();
    }
    void Stop() override { journal_.push_back(name_ + ":stop"); }
    void OnReading(const TcapteursInfos& reading, const TConditions&) override {
        journal_.push_back(name_ + ":reading " + std::to_string(int(reading.ValueTempDeg)));
        if (ThrowOnReading) throw std::runtime_error("disk full");
    }
    void OnLinkState(bool lost) override { journal_.push_back(name_ + (lost ? ":lost" : ":back")); }
    bool ThrowOnReading = false;

  private:
    std::string name_;
    std::vector<std::string>& journal_;
    std::string startError_;
};

TEST(ServiceListTest, StartsInOrderFollowsInOrderAndStopsInReverse) {
    std::vector<std::string> journal;
    std::vector<std::string> failures;
    {
        TServiceList list;
        list.Add(std::make_unique<TJournalService>("file", journal));
        list.Add(std::make_unique<TJournalService>("http", journal, "port 11111 taken"));
        list.Add(std::make_unique<TJournalService>("mqtt", journal, "throw"));
        auto ftp = std::make_unique<TJournalService>("ftp", journal);
        ftp->ThrowOnReading = true; // the next service still gets the reading
        list.Add(std::move(ftp));
        list.Add(nullptr); // nothing to add
        ASSERT_EQ(list.Size(), 4u);
        EXPECT_FALSE(list.Running());

        list.OnReading({}, {}); // before the start: nobody follows yet
        list.StartAll([&](const TService& service, const std::string& error) {
            failures.push_back(service.Name() + ": " + error);
        });
        EXPECT_TRUE(list.Running());
        list.StartAll({}); // once only
        TcapteursInfos reading{};
        reading.ValueTempDeg = 7;
        list.OnReading(reading, {});
        list.OnLinkState(true);
        list.Add(std::make_unique<TJournalService>("late", journal)); // starts at once, follows after
        list.OnLinkState(false);
        EXPECT_EQ(list.Find("http")->Name(), "http");
        EXPECT_EQ(list.Find("none"), nullptr);
        list.StopAll();
        EXPECT_FALSE(list.Running());
        list.OnReading(reading, {}); // after the stop: nothing
        list.StopAll();              // nothing more
    } // the destructor stops nothing again
    const std::vector<std::string> expected = {
        "file:start", "http:start", "mqtt:start", "ftp:start",                       //
        "file:reading 7", "ftp:reading 7",                                           //
        "file:lost", "ftp:lost",                                                     //
        "late:start",                                                                //
        "file:back", "ftp:back", "late:back",                                        //
        "late:stop", "ftp:stop", "mqtt:stop", "http:stop", "file:stop",              //
    };
    EXPECT_EQ(journal, expected);
    EXPECT_EQ(failures, (std::vector<std::string>{"http: port 11111 taken", "mqtt: broker unreachable"}));
}

TEST(ServiceListTest, AListNeverStartedStopsNothing) {
    std::vector<std::string> journal;
    {
        TServiceList list;
        list.Add(std::make_unique<TJournalService>("file", journal));
        list.StopAll();
    }
    EXPECT_TRUE(journal.empty());
}

} // namespace
