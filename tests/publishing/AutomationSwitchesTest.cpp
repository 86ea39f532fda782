// The registration switches and the activation files they write.
#include <gtest/gtest.h>

#include <filesystem>
#include <QFile>
#include <unistd.h>

#include "AutomationSwitches.h"
#include "Records.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class AutomationSwitchesTest : public SandboxTest {
  protected:
    std::string PerUserFolder() const { return Root() + ".local/share/dbus-1/services/"; }
    std::string ProgramPath() const { return PathExe + "orvanel"; }
};

TEST_F(AutomationSwitchesTest, SwitchesAreFoundBareOrPrefixedInAnyCase) {
    const struct {
        QStringList Args;
        TAutomationSwitch Expected;
    } cases[] = {
        {{"orvanel", "REGSERVER"}, TAutomationSwitch::RegServer},
        {{"orvanel", "/regserver"}, TAutomationSwitch::RegServer},
        {{"orvanel", "-UnRegServer"}, TAutomationSwitch::UnregServer},
        {{"orvanel", "/RegServerPerUser"}, TAutomationSwitch::RegServerPerUser},
        {{"orvanel", "-unregserverperuser"}, TAutomationSwitch::UnregServerPerUser},
        {{"orvanel", "--headless", "AUTOMATION"}, TAutomationSwitch::Automation},
        {{"orvanel", "/Embedding"}, TAutomationSwitch::Embedding},
        {{"orvanel", "/Sim=1", "-regserver"}, TAutomationSwitch::RegServer},
        {{"orvanel", "/Sim=1"}, TAutomationSwitch::None},
        {{"orvanel", "//regserver"}, TAutomationSwitch::None},
        {{"orvanel", "REGSERVERS"}, TAutomationSwitch::None},
        {{"REGSERVER"}, TAutomationSwitch::None}, // the program's own name is no switch
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindAutomationSwitch(c.Args), c.Expected) << c.Args.join(' ').toStdString();
    EXPECT_TRUE(IsAutomationStart({"orvanel", "-automation"}));
    EXPECT_FALSE(IsAutomationStart({"orvanel", "/regserver"}));
}

TEST_F(AutomationSwitchesTest, PerUserRegistrationWritesAndRemovesOneFilePerBusName) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(
        HandleAutomationSwitches({"orvanel", "/RegServerPerUser"}, QString::fromStdString(ProgramPath())), 0);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("enregistré pour l'utilisateur courant"), std::string::npos) << said;

    for (const char* name : {"ClarityII.CloudSensorII", "ClarityII.CloudSensor"}) {
        const std::string file = PerUserFolder() + name + ".service";
        const auto lines = SplitLines(ReadWholeFile(file), "\n");
        ASSERT_EQ(lines.size(), 4u) << file;
        EXPECT_EQ(lines[0].rfind("# ", 0), 0u);
        EXPECT_EQ(lines[1], "[D-BUS Service]");
        EXPECT_EQ(lines[2], std::string("Name=") + name);
        EXPECT_EQ(lines[3], "Exec=" + ProgramPath() + " --headless AUTOMATION");
        EXPECT_NE(said.find(file), std::string::npos) << "the user is told where: " << said;
    }

    testing::internal::CaptureStdout();
    EXPECT_EQ(
        HandleAutomationSwitches({"orvanel", "-UNREGSERVERPERUSER"}, QString::fromStdString(ProgramPath())),
        0);
    testing::internal::GetCapturedStdout();
    EXPECT_TRUE(fs::is_empty(PerUserFolder()));

    testing::internal::CaptureStdout();
    EXPECT_EQ(
        HandleAutomationSwitches({"orvanel", "unregserverperuser"}, QString::fromStdString(ProgramPath())), 0)
        << "nothing left to remove is no failure";
    testing::internal::GetCapturedStdout();
}

TEST_F(AutomationSwitchesTest, StartsThatGoOnWriteNothing) {
    for (const QStringList& args :
         {QStringList{"orvanel", "AUTOMATION"}, QStringList{"orvanel", "-Embedding"}, QStringList{"orvanel"},
          QStringList{"orvanel", "--headless"}})
        EXPECT_EQ(HandleAutomationSwitches(args, "/opt/orvanel/orvanel"), std::nullopt)
            << args.join(' ').toStdString();
    EXPECT_FALSE(fs::exists(PerUserFolder()));
}

TEST_F(AutomationSwitchesTest, ExecLineQuotesWhatTheBusWouldSplit) {
    const struct {
        const char* Program;
        const char* Exec;
    } cases[] = {
        {"/opt/orvanel/bin/orvanel", "Exec=/opt/orvanel/bin/orvanel --headless AUTOMATION"},
        {"/home/obs/my programs/orvanel", "Exec='/home/obs/my programs/orvanel' --headless AUTOMATION"},
        {"/home/obs/l'orvanel", "Exec='/home/obs/l'\\\\''orvanel' --headless AUTOMATION"},
        {"/home/obs/$HOME/orvanel", "Exec='/home/obs/$HOME/orvanel' --headless AUTOMATION"},
        {"/home/obs/a\\b/orvanel", "Exec='/home/obs/a\\\\b/orvanel' --headless AUTOMATION"},
    };
    for (const auto& c : cases) {
        const auto lines =
            SplitLines(ActivationFileText("ClarityII.CloudSensor", c.Program).toStdString(), "\n");
        ASSERT_EQ(lines.size(), 4u);
        EXPECT_EQ(lines[3], c.Exec);
    }
}

TEST_F(AutomationSwitchesTest, PerUserFolderFollowsXdgDataHome) {
    EXPECT_EQ(DefaultActivationFolders().PerUser.toStdString(), PerUserFolder());
    ::setenv("XDG_DATA_HOME", (Root() + "data").c_str(), 1);
    EXPECT_EQ(DefaultActivationFolders().PerUser.toStdString(), Root() + "data/dbus-1/services/");
    for (const char* ignored : {"", "relative/data"}) {
        ::setenv("XDG_DATA_HOME", ignored, 1);
        EXPECT_EQ(DefaultActivationFolders().PerUser.toStdString(), PerUserFolder())
            << "XDG_DATA_HOME=" << ignored;
    }
    EXPECT_EQ(DefaultActivationFolders().SystemWide, "/usr/share/dbus-1/services/");
}

TEST_F(AutomationSwitchesTest, AFolderThatRefusesTheFilesFailsWithAClearMessage) {
    // A plain file where the folder should be: refused whoever runs the test.
    WriteWholeFile(Root() + "share", "not a folder");
    const TActivationFolders folders{QString::fromStdString(Root() + "user/"),
                                     QString::fromStdString(Root() + "share/dbus-1/services/")};
    testing::internal::CaptureStderr();
    EXPECT_EQ(HandleAutomationSwitches({"orvanel", "/REGSERVER"}, "/opt/orvanel", folders), 1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("Impossible de créer le dossier " + Root() + "share/dbus-1/services/"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("droits d'administrateur"), std::string::npos) << said;
    EXPECT_NE(said.find("/REGSERVERPERUSER"), std::string::npos) << "the way out is named: " << said;
    EXPECT_FALSE(fs::exists(Root() + "user/"));
}

TEST_F(AutomationSwitchesTest, AFolderWithoutWritePermissionFailsWithAClearMessage) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
    const std::string system = Root() + "system/";
    fs::create_directories(system);
    WriteWholeFile(system + "ClarityII.CloudSensor.service", "[D-BUS Service]\n");
    fs::permissions(system, fs::perms::owner_read | fs::perms::owner_exec);
    const TActivationFolders folders{QString::fromStdString(Root() + "user/"),
                                     QString::fromStdString(system)};
    for (const char* sw : {"-regserver", "/UnRegServer"}) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(HandleAutomationSwitches({"orvanel", sw}, "/opt/orvanel", folders), 1) << sw;
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find(system + "ClarityII.CloudSensor"), std::string::npos) << said;
        EXPECT_NE(said.find("droits d'administrateur"), std::string::npos) << said;
    }
    fs::permissions(system, fs::perms::owner_all);
}

} // namespace
