// The upload thread against a real FTP server on loopback (pyftpdlib), with the FTP log as the
// observer reads it.
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>

#include "FtpLoader.h"
#include "FtpTestServer.h"
#include "Records.h"
#include "TestSupport.h"

namespace {

namespace fs = std::filesystem;

bool SameContent(const std::string& a, const std::string& b) {
    return fs::exists(a) && fs::exists(b) && ReadWholeFile(a) == ReadWholeFile(b);
}

class FtpUploadTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        home_ = Root() + "ftp-home/";
    }
    void TearDown() override {
        TFTPLoaderThread::StopFtp();
        ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(30000));
        SandboxTest::TearDown();
    }

    std::unique_ptr<TFtpTestServer> StartServer(TFtpServerOptions options = {}) {
        options.Home = home_;
        auto server = std::make_unique<TFtpTestServer>(options);
        return server;
    }

    // The seven pictures (stand-in bytes; one large enough for progress lines) and the page.
    std::vector<std::string> MakeFiles() {
        std::vector<std::string> files;
        int n = 0;
        for (const char* name : PublishedPictureNames) {
            const size_t size = ++n == 2 ? 300000 : 1000 + n;
            std::string content(size, '\0');
            for (size_t i = 0; i < size; ++i)
                content[i] = static_cast<char>((i * 7 + n) & 0xFF);
            WriteWholeFile(PathJpeg + name, content);
            files.push_back(PathJpeg + name);
        }
        WriteWholeFile(PathJpeg + IndexPageFileName, "<html></html>\n");
        files.push_back(PathJpeg + IndexPageFileName);
        return files;
    }

    TInfosServer Request(const TFtpTestServer& server, std::vector<std::string> files) {
        TInfosServer infos;
        infos.ServerName = server.HostAndPort();
        infos.UserName = server.Options().User;
        infos.Password = server.Options().Password;
        infos.LocalFiles = std::move(files);
        infos.RemotePath = "";
        infos.PassiveModeEnabled = true;
        return infos;
    }

    // Runs one upload to its end; the messages of the FTP log it added.
    std::vector<std::string> Upload(TInfosServer infos) {
        const size_t before = LogMessages().size();
        EXPECT_TRUE(TFTPLoaderThread::Start(std::move(infos)));
        EXPECT_TRUE(TFTPLoaderThread::WaitForEnd(30000));
        auto all = LogMessages();
        return {all.begin() + static_cast<long>(std::min(before, all.size())), all.end()};
    }

    std::string LogText() const {
        const std::string path = PathLogs + FtpLogFileNameFor(Now());
        return fs::exists(path) ? ReadWholeFile(path) : std::string();
    }
    // The messages of the log, each line's prefix checked and taken off.
    std::vector<std::string> LogMessages() const {
        static const std::regex prefix(R"(^Thrd\[[0-9A-F]{4,}\]: \d\d/\d\d/\d{4} \d\d:\d\d:\d\d\.\d :  -> )");
        std::vector<std::string> messages;
        for (const std::string& line : SplitLines(LogText())) {
            if (line.empty()) continue;
            std::smatch m;
            EXPECT_TRUE(std::regex_search(line, m, prefix)) << line;
            messages.push_back(m.ready() && !m.empty() ? line.substr(static_cast<size_t>(m.length(0)))
                                                       : line);
        }
        return messages;
    }

    static bool Has(const std::vector<std::string>& lines, const std::string& text) {
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }
    static bool HasPrefix(const std::vector<std::string>& lines, const std::string& text) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(text, 0) == 0; });
    }

    std::string home_;
};

#define START_OR_SKIP(server)                                                                                \
    if (!(server)->Problem().empty()) GTEST_SKIP() << (server)->Problem()

TEST_F(FtpUploadTest, CompleteUploadLandsEveryFileWholeWithTheStepsInTheLog) {
    auto server = StartServer();
    START_OR_SKIP(server);
    fs::create_directories(home_ + "www/sky");
    const auto files = MakeFiles();
    TInfosServer infos = Request(*server, files);
    infos.RemotePath = "\\www\\sky"; // as typed on Windows

    const auto log = Upload(infos);
    for (const auto& file : files) {
        const std::string remote = home_ + "www/sky/" + fs::path(file).filename().string();
        ASSERT_TRUE(fs::exists(remote)) << remote;
        EXPECT_TRUE(SameContent(remote, file)) << remote;
    }
    for (const auto& entry : fs::directory_iterator(home_ + "www/sky"))
        EXPECT_EQ(entry.path().extension(), entry.path().filename() == IndexPageFileName ? ".html" : ".jpg")
            << "left behind: " << entry.path();

    const std::string big = files[1];
    const std::vector<std::string> expectedStart = {
        "----------------> FTP start <----------------------------------",
        "Trying to Connect to : " + server->HostAndPort(),
        "Connected...",
        "Connected (timeout transfert : 60 sec , readtimeout : 60 sec)",
        "FTP Passive",
        "Change dir to \"/www/sky\"",
        "Change dir OK !",
        "Putting file -> \"" + files[0] + "\"",
        "FTP Write  Work begin event -> 1001",
    };
    ASSERT_GE(log.size(), expectedStart.size());
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + long(expectedStart.size())), expectedStart);
    EXPECT_EQ(log[log.size() - 2], "Disconnected !");
    EXPECT_EQ(log.back(), "----------------> FTP stop <----------------------------------");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Ok, file put !"), 8);
    EXPECT_EQ(std::count(log.begin(), log.end(), "FTP Write  work end"), 8);
    // The large picture reports its progress up to its whole size.
    const auto bigStart = std::find(log.begin(), log.end(), "Putting file -> \"" + big + "\"");
    ASSERT_NE(bigStart, log.end());
    EXPECT_EQ(*(bigStart + 1), "FTP Write  Work begin event -> 300000");
    EXPECT_TRUE(Has(log, "FTP Write  transfering -> 300000"));
    EXPECT_FALSE(FtpRunning);
    EXPECT_EQ(LogText().find(server->Options().Password), std::string::npos);
}

// Host forms, passive or active, the login folder.
TEST_F(FtpUploadTest, HostFormsAndModesReachTheLoginFolder) {
    auto server = StartServer();
    START_OR_SKIP(server);
    const auto files = MakeFiles();
    struct Case {
        std::string Host;
        bool Passive;
    };
    const std::string port = std::to_string(server->Port());
    for (const Case& c : {Case{"ftp://127.0.0.1:" + port, false},
                          Case{" ftp://127.0.0.1:" + port + "/ ", true}, Case{"127.0.0.1:" + port, false}}) {
        SCOPED_TRACE(c.Host);
        fs::remove(home_ + "last_Temp.jpg");
        TInfosServer infos = Request(*server, {files[4]});
        infos.ServerName = c.Host;
        infos.PassiveModeEnabled = c.Passive;
        const auto log = Upload(infos);
        EXPECT_TRUE(Has(log, c.Passive ? "FTP Passive" : "FTP Active"));
        EXPECT_FALSE(HasPrefix(log, "Change dir to"));
        EXPECT_TRUE(Has(log, "Ok, file put !"));
        EXPECT_TRUE(SameContent(home_ + "last_Temp.jpg", files[4]));
    }
}

TEST_F(FtpUploadTest, RefusedLoginSendsNothingAndTheNextUploadWorks) {
    auto server = StartServer();
    START_OR_SKIP(server);
    const auto files = MakeFiles();
    TInfosServer wrong = Request(*server, files);
    wrong.Password = "wrong-secret";
    const auto log = Upload(wrong);
    ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0], "----------------> FTP start <----------------------------------");
    EXPECT_EQ(log[1], "Trying to Connect to : " + server->HostAndPort());
    EXPECT_EQ(log[2], "!! Failed !! -> [530 Authentication failed.]");
    EXPECT_EQ(log[3], "----------------> FTP stop <----------------------------------");
    EXPECT_TRUE(fs::is_empty(home_));
    EXPECT_FALSE(FtpRunning);
    EXPECT_EQ(LogText().find("wrong-secret"), std::string::npos);

    const auto next = Upload(Request(*server, files));
    EXPECT_EQ(std::count(next.begin(), next.end(), "Ok, file put !"), 8);
}

// A server that quotes the password in its refusal: the log never shows it, whatever its length.
// A mask over a short password would show where it stands, so such a reply is withheld whole.
TEST_F(FtpUploadTest, APasswordEchoedByTheServerNeverReachesTheLog) {
    TFtpServerOptions options;
    options.EchoPassword = true;
    auto server = StartServer(options);
    START_OR_SKIP(server);
    const struct {
        std::string password;
        std::string failure;
    } cases[] = {
        // (pyftpdlib lowers every letter of the reply but the first: lower-case passwords)
        {"z", "!! Failed !! -> [(withheld: the text holds the password)]"},
        {"zq%", "!! Failed !! -> [(withheld: the text holds the password)]"},
        {"zq%4", "!! Failed !! -> [530 Login incorrect for observer with password ****]"},
        {"zq%4-long-secret", "!! Failed !! -> [530 Login incorrect for observer with password ****]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        TInfosServer infos = Request(*server, {});
        infos.Password = c.password;
        const auto log = Upload(infos);
        ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
        EXPECT_EQ(log[2], c.failure);
        EXPECT_EQ(LogText().find(c.password), std::string::npos) << LogText();
    }
}

// A user name and password typed into the host field are refused, and never logged on the way.
TEST_F(FtpUploadTest, CredentialsInTheHostFieldAreNotLogged) {
    for (const std::string field : {"ftp://observer:pw@127.0.0.1:2121", "observer:n1ghtSky!@127.0.0.1",
                                    "ftp://observer:pa/ss@127.0.0.1"}) {
        SCOPED_TRACE(field);
        TInfosServer infos;
        infos.ServerName = field;
        infos.UserName = "observer";
        infos.Password = "other";
        const auto log = Upload(infos);
        ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
        EXPECT_EQ(log[1].rfind("Trying to Connect to : ", 0), 0u) << log[1];
        EXPECT_NE(log[1].find("****@127.0.0.1"), std::string::npos) << log[1];
        EXPECT_EQ(log[2].rfind("!! Failed !! -> [The host name holds", 0), 0u) << log[2];
    }
    const std::string text = LogText();
    for (const char* secret : {":pw@", "n1ghtSky!", "pa/ss"})
        EXPECT_EQ(text.find(secret), std::string::npos) << secret << " in\n" << text;
}

TEST_F(FtpUploadTest, MissingFileIsSkippedWithItsLine) {
    auto server = StartServer();
    START_OR_SKIP(server);
    auto files = MakeFiles();
    fs::remove(files[2]);
    const auto log = Upload(Request(*server, files));
    EXPECT_TRUE(Has(log, "Fichier local [ " + files[2] + "] n'existe pas !"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "Ok, file put !"), 7);
    EXPECT_FALSE(fs::exists(home_ + fs::path(files[2]).filename().string()));
    EXPECT_TRUE(fs::exists(home_ + "last_overview.jpg"));
    EXPECT_EQ(log.back(), "----------------> FTP stop <----------------------------------");
}

TEST_F(FtpUploadTest, RefusedRenameStoresTheFileDirectly) {
    TFtpServerOptions options;
    options.Permissions = "elradmw"; // no "f": RNFR/RNTO refused
    auto server = StartServer(options);
    START_OR_SKIP(server);
    const auto files = MakeFiles();
    WriteWholeFile(home_ + "last_Temp.jpg", "old picture");
    const auto log = Upload(Request(*server, {files[4]}));
    EXPECT_TRUE(HasPrefix(log, "Rename refused (550 "));
    EXPECT_TRUE(Has(log, "Ok, file put !"));
    EXPECT_TRUE(SameContent(home_ + "last_Temp.jpg", files[4]));
    EXPECT_FALSE(fs::exists(home_ + "last_Temp.jpg.part"));
}

TEST_F(FtpUploadTest, SilentServerEndsWithItsTimeoutAndOnlyOneUploadRunsAtATime) {
    TSilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    TInfosServer infos;
    infos.ServerName = "127.0.0.1:" + std::to_string(silent.Port());
    infos.UserName = "observer";
    infos.Password = "n1ghtSky!";
    infos.LocalFiles = MakeFiles();
    infos.Timeouts = {1000, 1000};
    ASSERT_TRUE(TFTPLoaderThread::Start(infos));
    EXPECT_TRUE(FtpRunning);
    EXPECT_FALSE(TFTPLoaderThread::Start(infos)); // a second one while the first runs
    ASSERT_TRUE(TFTPLoaderThread::WaitForEnd(20000));
    const auto log = LogMessages();
    ASSERT_EQ(log.size(), 4u) << ::testing::PrintToString(log);
    EXPECT_EQ(log[0], "----------------> FTP start <----------------------------------");
    // libcurl names the time-out by the step it stopped ("FTP response timeout", "Operation timed out
    // after ...", "Connection timed out"), which depends on how fast this machine is.
    const bool timedOut =
        log[2].find("timeout") != std::string::npos || log[2].find("timed out") != std::string::npos;
    EXPECT_TRUE(log[2].rfind("!! Failed !! -> [", 0) == 0 && timedOut) << log[2];
    EXPECT_EQ(
        std::count(log.begin(), log.end(), "----------------> FTP start <----------------------------------"),
        1);
}

// FTP over explicit TLS: the control connection, the log-in and the change of folder. pyftpdlib
// (with the pyOpenSSL of this system) breaks its TLS data connections, so no file is sent here; the
// data connections use the same library path as plain FTP.
TEST_F(FtpUploadTest, FtpsWithASelfSignedCertificate) {
    TFtpServerOptions options;
    if (!MakeSelfSignedCertificate(Root(), options.CertFile, options.KeyFile))
        GTEST_SKIP() << "openssl cannot make a certificate";
    auto server = StartServer(options);
    START_OR_SKIP(server);
    TInfosServer infos = Request(*server, {});
    infos.ServerName = "ftps://" + server->HostAndPort();
    infos.RemotePath = "/";

    // A self-signed certificate is trusted only when the user said so.
    const auto refused = Upload(infos);
    ASSERT_EQ(refused.size(), 4u) << ::testing::PrintToString(refused);
    EXPECT_NE(refused[2].find("certificate"), std::string::npos) << refused[2];

    infos.VerifyPeer = false;
    const auto log = Upload(infos);
    const std::vector<std::string> expected = {
        "----------------> FTP start <----------------------------------",
        "Trying to Connect to : ftps://" + server->HostAndPort(),
        "Connected...",
        "Connected (timeout transfert : 60 sec , readtimeout : 60 sec)",
        "FTP Passive",
        "Change dir to \"/\"",
        "Change dir OK !",
        "Disconnected !",
        "----------------> FTP stop <----------------------------------",
    };
    EXPECT_EQ(log, expected);

    // This server turns plain FTP away: the TLS really was used.
    infos.ServerName = server->HostAndPort();
    EXPECT_TRUE(HasPrefix(Upload(infos), "!! Failed !! -> [550 SSL/TLS required"));
}

TEST(FtpHostTest, HostFieldForms) {
    using K = TFtpHost::Kind;
    struct Case {
        std::string Field;
        K Kind;
        std::string Host;
        int Port;
        bool Ok;
    };
    for (const Case& c : {
             Case{"ftp.example.org", K::Ftp, "ftp.example.org", 21, true},
             Case{"ftp.example.org:2121", K::Ftp, "ftp.example.org", 2121, true},
             Case{"ftp://192.168.1.5", K::Ftp, "192.168.1.5", 21, true},
             Case{"FTPS://host:990/", K::Ftps, "host", 990, true},
             Case{"ftps://host", K::Ftps, "host", 21, true},
             Case{"sftp://host", K::Sftp, "host", 22, true},
             Case{"sftp://host:2222", K::Sftp, "host", 2222, true},
             Case{"[::1]:21", K::Ftp, "[::1]", 21, true},
             Case{"::1", K::Ftp, "[::1]", 21, true},
             Case{"", K::Ftp, "", 21, false},
             Case{"host:", K::Ftp, "host", 21, false},
             Case{"host:70000", K::Ftp, "host", 21, false},
             Case{"host:21a", K::Ftp, "host", 21, false},
             Case{"http://host", K::Ftp, "", 21, false},
             Case{"ftp://host/www", K::Ftp, "", 21, false},
             Case{"user@host", K::Ftp, "", 21, false},
         }) {
        SCOPED_TRACE(c.Field);
        const TFtpHost h = ParseFtpHost(c.Field);
        EXPECT_EQ(h.Error.empty(), c.Ok) << h.Error;
        if (!c.Ok) continue;
        EXPECT_EQ(h.Protocol, c.Kind);
        EXPECT_EQ(h.Host, c.Host);
        EXPECT_EQ(h.Port, c.Port);
    }
}

TEST(FtpLogTest, LineLayoutAndDailyFileName) {
    const TDateTime when = EncodeDateTime(2013, 3, 7, 21, 4, 5, 370);
    EXPECT_EQ(FtpLogLine(0x1A4, when, "FTP Passive"), "Thrd[01A4]: 07/03/2013 21:04:05.3 :  -> FTP Passive");
    EXPECT_EQ(FtpLogLine(0x12345, when, "x"), "Thrd[12345]: 07/03/2013 21:04:05.3 :  -> x");
    EXPECT_EQ(FtpLogFileNameFor(when), "2013_03_07_FTP_log.txt");
}

} // namespace
