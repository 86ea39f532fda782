#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>
#include <gtest/gtest.h>

#include "PlatformServices.h"
#include "Records.h"
#include "TestSupport.h"
#include "UserText.h"
#include "Utilities.h"

namespace fs = std::filesystem;

namespace {

// Processes events until the condition holds or the limit passes.
bool WaitFor(const std::function<bool()>& condition, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return condition();
}

class PlatformServices : public SandboxTest {
  protected:
    void TearDown() override {
        SetUserMessageHandler({});
        SetUserQuestionHandler({});
        SandboxTest::TearDown();
    }
};

TEST_F(PlatformServices, RunProgramStartsTheProgramInItsFolderWithItsParameters) {
    fs::create_directories(Root() + "tools dir");
    const std::string script = Root() + "tools dir/close-roof";
    WriteWholeFile(script, "#!/bin/sh\npwd > ran.txt\nprintf '%s|' \"$@\" >> ran.txt\n");
    fs::permissions(script, fs::perms::owner_all);

    RunProgram(script + " --now \"north side\"");

    const std::string out = Root() + "tools dir/ran.txt";
    ASSERT_TRUE(WaitFor([&] { return ReadWholeFile(out).find('|') != std::string::npos; }));
    EXPECT_EQ(ReadWholeFile(out), Root() + "tools dir\n--now|north side|");
}

TEST_F(PlatformServices, RunProgramRefusesWhatItCannotStart) {
    EXPECT_NO_THROW(RunProgram(""));
    EXPECT_NO_THROW(RunProgram("abc"));
    const std::string notExecutable = Root() + "dome.exe";
    WriteWholeFile(notExecutable, "not a program");
    try {
        RunProgram(notExecutable + " /now");
        FAIL() << "a file without execute permission must be refused";
    } catch (const EOrvanelError& e) {
        EXPECT_TRUE(std::string(e.what()).starts_with("Erreur lors du lancement de \"" + notExecutable + "\" ["))
            << e.what();
    }
    EXPECT_THROW(RunProgram(Root() + "absent.exe"), EOrvanelError);
}

TEST_F(PlatformServices, SoundNamesResolveToTheFileOrTheProgramFolderElseNothing) {
    // A name no working folder holds, so that only the program folder can supply it.
    WriteWholeFile(PathExe + "Test_OnlyInProgramFolder.wav", "RIFF");
    WriteWholeFile(Root() + "own.wav", "RIFF");
    EXPECT_EQ(ResolveSoundFile("Test_OnlyInProgramFolder.wav"), PathExe + "Test_OnlyInProgramFolder.wav");
    EXPECT_EQ(ResolveSoundFile(Root() + "own.wav"), Root() + "own.wav");
    EXPECT_EQ(ResolveSoundFile("Absent.wav"), "");
    EXPECT_EQ(ResolveSoundFile(""), "");
    // Whatever the sound device, playing never fails or blocks, from any thread.
    PlaySoundFile("Absent.wav");
    PlaySoundFile(PathExe + "Test_OnlyInProgramFolder.wav");
    std::thread worker([] { PlaySoundFile("Test_OnlyInProgramFolder.wav"); });
    worker.join();
    WaitFor([] { return false; }, 200);
}

TEST_F(PlatformServices, OpeningAMissingFolderTellsTheUser) {
    std::vector<std::string> messages;
    SetUserMessageHandler([&](const std::string& m) { messages.push_back(m); });
    OpenFolderInExplorer(Root() + "absent/");
    EXPECT_EQ(messages, std::vector<std::string>{"Le chemin spécifié n'a pas été trouvé !"});
}

TEST_F(PlatformServices, SecondStartAsksThenRaisesTheFirstOrRunsBeside) {
    const QString name = QString::fromStdString(Root() + "run/instance");
    TSingleInstance first(nullptr, name);
    int raised = 0;
    QObject::connect(&first, &TSingleInstance::showRequested, [&] { ++raised; });
    ASSERT_TRUE(first.CheckSingleInstance());

    std::vector<std::string> questions;
    bool answer = false;
    SetUserQuestionHandler([&](const std::string& q) {
        questions.push_back(q);
        return answer;
    });

    // The check blocks on the socket, so the second start runs on its own thread while the
    // first instance keeps serving events here, as two processes would.
    bool secondGoesOn = true;
    std::thread second([&] { secondGoesOn = TSingleInstance(nullptr, name).CheckSingleInstance(); });
    ASSERT_TRUE(WaitFor([&] { return raised == 1; }));
    second.join();
    EXPECT_FALSE(secondGoesOn);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Le programme Orvanel fonctionne déjà, ouvrir une autre session ?");

    answer = true;
    TSingleInstance third(nullptr, name);
    EXPECT_TRUE(third.CheckSingleInstance());
    EXPECT_EQ(questions.size(), 2u);
}

} // namespace
