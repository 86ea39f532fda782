// The controller's FTP timer against a real FTP server on loopback: what a tick renders, sends and
// logs, and the status bar's FTP text. The ticks are called directly (no waiting for the interval).
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DatabaseRegistry.h"
#include "FtpTestServer.h"
#include "Log.h"
#include "FtpPublishing.h"
#include "Supervisor.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

class FtpPublishingTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        // Generous limits: a loaded machine must not fail an upload that works.
        MakeSupervisor({20000, 20000});
        WriteWholeFile(PathDatas + "infodata.txt", "Date = 09/12/2026 12:00:00\r\nTempAmb = 4.5\r\n");
        auto& web = SetupInfos.SetupWebPublish;
        web.Enabled = true;
        web.login = "observer";
        web.PassWord = "n1ghtSky!";
        web.RemotePath = "";
        web.PassiveFTP = true;
        web.IntervallSec = 60;
        web.CompressionLevelJPEG = 80;
    }
    void MakeSupervisor(TFtpTimeouts timeouts) {
        TSupervisorOptions options;
        options.CheckSingleInstance = false;
        options.StartAutomationServer = false;
        options.WatchSuspend = false;
        options.FtpTimeouts = timeouts;
        supervisor_ = std::make_unique<Supervisor>(options);
        // Stand-in pictures, as the graphs would write them.
        supervisor_->FtpPublishing().SetPublishSnapshots([this](int quality) {
            qualities_.push_back(quality);
            for (const char* name : PublishedPictureNames)
                WriteWholeFile(PathJpeg + name, std::string("picture ") + name);
        });
    }
    void TearDown() override {
        TFTPLoaderThread::StopFtp();
        ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));
        supervisor_.reset();
        SandboxTest::TearDown();
    }
    std::string ProgramLog() const {
        const std::string path = PathLogs + LogFileNameToday();
        return fs::exists(path) ? ReadWholeFile(path) : std::string();
    }
    std::string FtpLog() const {
        const std::string path = PathLogs + FtpLogFileNameFor(Now());
        return fs::exists(path) ? ReadWholeFile(path) : std::string();
    }

    std::unique_ptr<Supervisor> supervisor_;
    std::vector<int> qualities_;
};

TEST_F(FtpPublishingTest, ATickRendersAndUploadsThePicturesAndThePage) {
    TFtpServerOptions options;
    options.Home = Root() + "ftp-home/";
    TFtpTestServer server(options);
    if (!server.Problem().empty()) GTEST_SKIP() << server.Problem();
    SetupInfos.SetupWebPublish.HostName = server.HostAndPort();

    supervisor_->FtpPublishing().TimerFTPTimer();
    EXPECT_EQ(qualities_, std::vector<int>{80});
    ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));
    for (const char* name : PublishedPictureNames)
        EXPECT_EQ(ReadWholeFile(Root() + "ftp-home/" + name), std::string("picture ") + name);
    const std::string page = ReadWholeFile(Root() + "ftp-home/orvanel.html");
    EXPECT_NE(page.find("content=\"60\""), std::string::npos);
    EXPECT_NE(page.find("<td>TempAmb</td><td>4.5</td>"), std::string::npos);
    EXPECT_NE(page.find("<img src=\"last_overview.jpg\""), std::string::npos);
    EXPECT_NE(FtpLog().find("Disconnected !"), std::string::npos);
    EXPECT_EQ(supervisor_->FtpPublishing().FtpStatusText().rfind("   Transfert FTP en attente (", 0), 0u)
        << supervisor_->FtpPublishing().FtpStatusText();

    // Without the page.
    fs::remove(Root() + "ftp-home/orvanel.html");
    SetupInfos.SetupWebPublish.IndexPage = false;
    supervisor_->FtpPublishing().TimerFTPTimer();
    ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));
    EXPECT_FALSE(fs::exists(Root() + "ftp-home/orvanel.html"));
    EXPECT_EQ(FtpLog().find(server.Options().Password), std::string::npos);
    EXPECT_EQ(ProgramLog().find(server.Options().Password), std::string::npos);
}

TEST_F(FtpPublishingTest, ATickDuringAnUploadIsSkippedWithALogLine) {
    TSilentServer silent;
    MakeSupervisor({1000, 1000}); // shortened: the server never answers
    SetupInfos.SetupWebPublish.HostName = "127.0.0.1:" + std::to_string(silent.Port());
    supervisor_->FtpPublishing().TimerFTPTimer();
    ASSERT_TRUE(FtpRunning);
    EXPECT_EQ(supervisor_->FtpPublishing().FtpStatusText().rfind("   Transfert FTP en cours (", 0), 0u);
    supervisor_->FtpPublishing().TimerFTPTimer();
    EXPECT_EQ(qualities_.size(), 1u); // nothing rendered under a running upload
    EXPECT_NE(ProgramLog().find("Ftp process already started : " + DateTimeText(supervisor_->FtpPublishing().DateStartFTP())),
              std::string::npos);
    // The silent server ends the upload with its time-out; the flag is cleared.
    ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));
    EXPECT_NE(FtpLog().find("!! Failed !! -> ["), std::string::npos);
}

// Closing while an upload hangs on a server that never answers: the upload is aborted (its failure
// line in the FTP log) after the history is saved, rather than left to its one-minute time-out.
TEST_F(FtpPublishingTest, ClosingAbortsAnUploadThatHangs) {
    TSilentServer silent;
    TSupervisorOptions options;
    options.Arguments = {"orvanel", "/Sim=1"}; // no station needed
    options.CheckSingleInstance = false;
    options.StartAutomationServer = false;
    options.WatchSuspend = false;
    supervisor_ = std::make_unique<Supervisor>(options);
    ASSERT_TRUE(supervisor_->Start());
    auto& web = SetupInfos.SetupWebPublish; // as the start read them: published by hand here
    web.Enabled = true;
    web.HostName = "127.0.0.1:" + std::to_string(silent.Port());
    web.CompressionLevelJPEG = 80;
    supervisor_->FtpPublishing().TimerFTPTimer();
    ASSERT_TRUE(FtpRunning);
    supervisor_->FormClose();
    EXPECT_FALSE(FtpRunning);
    EXPECT_NE(FtpLog().find("!! Failed !! -> ["), std::string::npos);
    const std::string log = ProgramLog();
    EXPECT_EQ(log.find("FTP upload still running at closing"), std::string::npos);
    EXPECT_NE(log.find("Data saved"), std::string::npos);
}

TEST_F(FtpPublishingTest, DisabledOrBadQualityRendersAndSendsNothing) {
    SetupInfos.SetupWebPublish.HostName = "127.0.0.1:1";
    SetupInfos.SetupWebPublish.Enabled = false;
    supervisor_->FtpPublishing().TimerFTPTimer();
    EXPECT_TRUE(qualities_.empty());
    EXPECT_FALSE(FtpRunning);
    EXPECT_EQ(FtpLog(), "");
    EXPECT_EQ(supervisor_->FtpPublishing().FtpStatusText(), "");

    SetupInfos.SetupWebPublish.Enabled = true;
    for (int quality : {0, 101}) {
        SetupInfos.SetupWebPublish.CompressionLevelJPEG = static_cast<uint8_t>(quality);
        supervisor_->FtpPublishing().TimerFTPTimer();
        EXPECT_TRUE(qualities_.empty());
        EXPECT_FALSE(FtpRunning);
        EXPECT_NE(ProgramLog().find("TimerFTPTimer -> Qualité JPEG hors limites (1 à 100) : " +
                                    std::to_string(quality)),
                  std::string::npos);
    }
    EXPECT_EQ(FtpLog(), "");
}

TEST_F(FtpPublishingTest, TheIntervalZeroStopsTheTimer) {
    supervisor_->FtpPublishing().SetFtpInterval(90);
    EXPECT_TRUE(supervisor_->FtpPublishing().FtpTimerActive());
    EXPECT_EQ(supervisor_->FtpPublishing().FtpTimerIntervalMs(), 90000);
    supervisor_->FtpPublishing().SetFtpInterval(4000000000u); // beyond a timer's range: the longest one
    EXPECT_EQ(supervisor_->FtpPublishing().FtpTimerIntervalMs(), INT32_MAX);
    supervisor_->FtpPublishing().SetFtpInterval(0);
    EXPECT_FALSE(supervisor_->FtpPublishing().FtpTimerActive());
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 0777;
}

// The settings file holds the FTP password.
TEST_F(FtpPublishingTest, TheSettingsFileIsReadableByItsOwnerOnly) {
    TDatabaseRegistry fresh(Root() + "fresh/registry.ini");
    fresh.WriteCFGtoRegister("\\Webpublish", TVariant(std::string("secret")), "Pass");
    fresh.WriteCFGtoRegister("\\Webpublish", TVariant(std::string("other")), "Pass");
    EXPECT_EQ(ModeOf(Root() + "fresh/registry.ini"), 0600u);

    const std::string old = Root() + "old.ini";
    WriteWholeFile(old, "[Webpublish]\nPass=\"secret\"\n");
    ::chmod(old.c_str(), 0644);
    TDatabaseRegistry existing(old);
    EXPECT_EQ(existing.RestrictFileToOwner(),
              "Settings file permissions tightened to 0600 (was 0644) : " + old);
    EXPECT_EQ(ModeOf(old), 0600u);
    EXPECT_EQ(existing.RestrictFileToOwner(), ""); // once only
}

} // namespace
