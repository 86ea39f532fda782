// The dashboard service without a server: which paths it answers and how, and the events each
// browser gets as readings come, the verdict changes and browsers go away.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "Dashboard.h"
#include "TestSupport.h"

namespace {

constexpr TDateTime T0 = 46365.5;

class DashboardTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        published_.SetSafetyRules({0, false});
        dashboard_.SetClock([this] { return now_; });
        std::string error;
        ASSERT_TRUE(dashboard_.Start(error));
    }
    TcapteursInfos Reading() {
        TcapteursInfos r{};
        r.DateSysteme = now_;
        r.ValueSkyDeg = -25;
        r.RainStatus = raining_;
        return r;
    }
    TConditions Clear() {
        TConditions c;
        c.Date = now_;
        c.Sky = TSkyState::Clear;
        c.SkyBackground = TSkyBackgroundState::DarkNight;
        c.Raining = raining_;
        return c;
    }
    // A reading as the controller hands it over: published first, then told to the services.
    void Read() {
        const TConditions conditions = Clear();
        published_.PublishMeasurement(conditions);
        dashboard_.OnReading(Reading(), conditions);
    }
    std::optional<TWebAnswer> Get(const char* path,
                                  std::vector<std::pair<std::string, std::string>> query = {}) {
        return dashboard_.Answer("GET", path, query);
    }

    TDateTime now_ = T0;
    bool raining_ = false;
    THistoryStore history_{PathDatas};
    TRelayDisplay relay_;
    TPublishedConditions published_{T0};
    TDashboard dashboard_{history_, published_, [this] { return relay_; }};
};

TEST_F(DashboardTest, ServesItsPathsAndLeavesTheOthers) {
    struct Case {
        const char* Method;
        const char* Path;
        int Status; // 0: not the dashboard's
        const char* ContentType;
    };
    const Case cases[] = {
        {"GET", "/", 200, "text/html; charset=utf-8"},
        {"HEAD", "/index.html", 200, "text/html; charset=utf-8"},
        {"GET", "/static/dashboard.js", 200, "text/javascript; charset=utf-8"},
        {"GET", "/static/uPlot.iife.min.js", 200, "text/javascript; charset=utf-8"},
        {"GET", "/static/uPlot.min.css", 200, "text/css; charset=utf-8"},
        {"GET", "/static/LICENSE", 200, "text/plain; charset=utf-8"},
        {"GET", "/static/index.html", 404, "application/json"},
        {"GET", "/static/../../etc/passwd", 404, "application/json"},
        {"GET", "/api/current", 503, "application/json"},
        {"GET", "/api/history", 400, "application/json"},
        {"PUT", "/api/current", 405, "application/json"},
        {"POST", "/", 405, "application/json"},
        {"GET", "/setup", 0, ""},
        {"GET", "/api/v1/safetymonitor/0/issafe", 0, ""},
        {"GET", "/apis/current", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Method) + " " + c.Path);
        const auto a = dashboard_.Answer(c.Method, c.Path, {});
        if (c.Status == 0) {
            EXPECT_FALSE(a);
            continue;
        }
        ASSERT_TRUE(a);
        EXPECT_EQ(a->Status, c.Status);
        EXPECT_EQ(a->ContentType, c.ContentType);
        EXPECT_FALSE(a->Body.empty());
    }
    // The page comes with its texts and refers to no other machine.
    const std::string page = Get("/")->Body;
    EXPECT_NE(page.find("\"safe\":\"SÛR\""), std::string::npos);
    EXPECT_EQ(page.find("http://"), std::string::npos);
    EXPECT_EQ(page.find("https://"), std::string::npos);
    EXPECT_EQ(page.find("//cdn"), std::string::npos);
}

TEST_F(DashboardTest, CurrentAnswersOnceAReadingCame) {
    const auto before = Get("/api/current");
    EXPECT_EQ(before->Status, 503);
    EXPECT_NE(before->Body.find("\"error\":\"no_reading\""), std::string::npos) << before->Body;
    Read();
    now_ += 30.0 / 86400;
    const auto after = Get("/api/current");
    ASSERT_EQ(after->Status, 200);
    EXPECT_NE(after->Body.find("\"age\":30,"), std::string::npos) << after->Body;
    EXPECT_NE(after->Body.find("\"safe\":true"), std::string::npos) << after->Body;
    EXPECT_NE(after->Body.find("\"link_lost\":false"), std::string::npos) << after->Body;
}

TEST_F(DashboardTest, EventsReachEveryBrowserUntilItGoesAway) {
    std::vector<std::string> a, b;
    bool bOpen = true;
    dashboard_.Subscribe([&a](std::string_view chunk) {
        a.emplace_back(chunk);
        return true;
    });
    dashboard_.Subscribe([&b, &bOpen](std::string_view chunk) {
        if (!bOpen) return false;
        b.emplace_back(chunk);
        return true;
    });
    ASSERT_EQ(a.size(), 1u); // no reading yet: only the retry delay
    EXPECT_EQ(a[0], "retry: 5000\n\n");

    // The first reading makes the verdict safe (no delay): a reading, then a verdict.
    Read();
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[1].rfind("event: reading\ndata: {", 0), 0u);
    EXPECT_EQ(a[2].rfind("event: verdict\ndata: {\"safe\":true", 0), 0u) << a[2];
    EXPECT_EQ(b, a);

    // A reading that changes nothing in the verdict sends the reading only.
    now_ += 20.0 / 86400;
    Read();
    EXPECT_EQ(a.size(), 4u);

    // b stops reading: it is dropped at the next event, a goes on.
    bOpen = false;
    dashboard_.KeepAlive();
    EXPECT_EQ(dashboard_.SubscriberCount(), 1u);
    EXPECT_EQ(a.back(), ": keep-alive\n\n");

    // Between readings: the reading goes stale, the link is lost.
    now_ += 121.0 / 86400;
    dashboard_.Tick();
    EXPECT_EQ(a.back().rfind("event: verdict\ndata: {\"safe\":false", 0), 0u) << a.back();
    EXPECT_NE(a.back().find("stale_reading"), std::string::npos);
    const size_t sent = a.size();
    dashboard_.Tick(); // unchanged: nothing sent
    EXPECT_EQ(a.size(), sent);

    // A browser that comes now gets the latest reading at once.
    std::vector<std::string> c;
    dashboard_.Subscribe([&c](std::string_view chunk) {
        c.emplace_back(chunk);
        return true;
    });
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NE(c[1].find("\"reasons\":[{\"code\":\"stale_reading\""), std::string::npos) << c[1];

    // Stopped: every browser is let go.
    dashboard_.Stop();
    EXPECT_EQ(dashboard_.SubscriberCount(), 0u);
}

} // namespace
