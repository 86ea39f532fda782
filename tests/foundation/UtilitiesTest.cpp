#include <climits>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <tuple>
#include <vector>

#include "Records.h"
#include "TestSupport.h"
#include "UserText.h"
#include "Utilities.h"

namespace fs = std::filesystem;

namespace {

TEST(Median, Examples) {
    struct Case {
        std::vector<double> values;
        double median;
    } cases[] = {{{4, 1, 3, 2}, 2.5}, {{5, 1, 3}, 3}, {{7}, 7}, {{2, 2, 1, 1}, 1.5}};
    for (auto& c : cases) {
        auto values = c.values;
        EXPECT_EQ(MedianOfFloats(values, static_cast<int>(values.size())), c.median);
    }
    std::vector<double> empty;
    EXPECT_THROW(MedianOfFloats(empty, 0), EOrvanelError);
}

TEST(SortFloats, SortsAscendingIncludingSortedAndEqualRuns) {
    std::vector<double> v;
    for (int i = 0; i < 2000; ++i) v.push_back((i * 7919) % 1000 - 500.5);
    for (int i = 0; i < 500; ++i) v.push_back(1.0);
    SortFloats(v);
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
    SortFloats(v); // already sorted must not degrade into deep recursion
    EXPECT_TRUE(std::is_sorted(v.begin(), v.end()));
}

TEST(ShortenForDisplay, KeepsHeadAndTail) {
    const std::string sixty = "/home/observer/Documents/Halvex/Datas/and/some/more/abcdefgh"; // 60 chars
    ASSERT_EQ(sixty.size(), 60u);
    const std::string shortened = ShortenForDisplay(sixty, 53);
    EXPECT_EQ(shortened, sixty.substr(0, 24) + "..." + sixty.substr(36));
    EXPECT_EQ(shortened.size(), 51u);
    EXPECT_EQ(ShortenForDisplay("short", 53), "short");
    // Characters, not bytes: an accented path is cut between characters.
    const std::string accented = "/données/" + std::string(60, 'a');
    const std::string cut = ShortenForDisplay(accented, 20);
    EXPECT_EQ(cut, "/donnée" + std::string("...") + std::string(7, 'a'));
}

TEST(IncludeBackslash, AddsTheSeparatorOnce) {
    for (auto [in, out] : std::vector<std::pair<std::string, std::string>>{
             {"/data", "/data/"}, {"/data/", "/data/"}, {"", "/"}}) {
        IncludeBackslash(in);
        EXPECT_EQ(in, out);
    }
}

class ProgramCommandLine : public SandboxTest {};

TEST_F(ProgramCommandLine, SplitsAndRefuses) {
    const std::string dome = Root() + "Tools/close dome.exe";
    fs::create_directories(Root() + "Tools");
    WriteWholeFile(dome, "");
    const std::string script = Root() + "Tools/close-roof";
    WriteWholeFile(script, "#!/bin/sh\n");
    fs::permissions(script, fs::perms::owner_all);

    auto split = SplitProgramCommandLine(dome + " /now");
    EXPECT_EQ(split.Program, dome);
    EXPECT_EQ(split.Parameters, "/now");

    // No extension on Linux: the longest leading part naming an executable file.
    split = SplitProgramCommandLine("  " + script + " --force \"north side\"");
    EXPECT_EQ(split.Program, script);
    EXPECT_EQ(SplitParameters(split.Parameters), (std::vector<std::string>{"--force", "north side"}));

    // The rightmost EXE/COM/BAT wins, even inside the parameters.
    EXPECT_THROW(SplitProgramCommandLine(dome + " log.com"), EOrvanelError);

    EXPECT_EQ(SplitProgramCommandLine("abcd").Program, "");
    EXPECT_EQ(SplitProgramCommandLine("").Program, "");

    try {
        SplitProgramCommandLine("C:\\Tools\\run.cmd");
        FAIL();
    } catch (const EOrvanelError& e) {
        EXPECT_STREQ(e.what(), "N'est pas un fichier éxécutable valide : C:\\Tools\\run.cmd [-1]");
    }
    try {
        SplitProgramCommandLine(Root() + "missing.exe -x");
        FAIL();
    } catch (const EOrvanelError& e) {
        EXPECT_EQ(std::string(e.what()), "Fichier non trouvé : \"" + Root() + "missing.exe\"");
    }
}

class MoveFiles : public SandboxTest {};

TEST_F(MoveFiles, MovesMatchingFilesAndKeepsExistingDestinations) {
    std::vector<std::string> messages;
    SetUserMessageHandler([&](const std::string& m) { messages.push_back(m); });
    const std::string from = PathExe + "Datas/";
    fs::create_directories(from);
    WriteWholeFile(from + "2013_03.bin", "new");
    WriteWholeFile(from + "2013_03.bin.back", "back");
    WriteWholeFile(from + "notes.txt", "txt");
    WriteWholeFile(PathDatas + "2013_03.bin", "kept");

    MoveFilesTo(from, "*.bin", PathDatas);
    MoveFilesTo(from, "*.bin.back", PathDatas);

    EXPECT_EQ(ReadWholeFile(PathDatas + "2013_03.bin"), "kept");
    EXPECT_EQ(ReadWholeFile(PathDatas + "2013_03.bin.back"), "back");
    EXPECT_FALSE(fs::exists(from + "2013_03.bin"));
    EXPECT_TRUE(fs::exists(from + "notes.txt"));
    EXPECT_TRUE(messages.empty());
    SetUserMessageHandler({});
}

TEST_F(MoveFiles, EnsureFolderReportsAnImpossiblePath) {
    WriteWholeFile(Root() + "plain-file", "x");
    const std::string message = TryEnsureFolder(Root() + "plain-file/sub/");
    EXPECT_EQ(message, "Le chemin suivant [" + Root() +
                           "plain-file/sub/] n'existe pas et ne peut pas être créé, le programme sera terminé !");
    EXPECT_EQ(TryEnsureFolder(Root() + "a/b/c/"), "");
    EXPECT_TRUE(fs::is_directory(Root() + "a/b/c"));
}

} // namespace

// The soft limit of open files goes up to the hard limit, and a server's share stays a quarter of it.
TEST(OpenFiles, TheSoftLimitIsRaisedAndTheServerKeepsWellBelowIt) {
    rlimit original{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &original), 0);
    if (original.rlim_max != RLIM_INFINITY && original.rlim_max > 256) {
        rlimit low = original;
        low.rlim_cur = 256;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
        EXPECT_EQ(RaiseOpenFileLimit(), static_cast<long>(original.rlim_max));
        rlimit now{};
        ::getrlimit(RLIMIT_NOFILE, &now);
        EXPECT_EQ(now.rlim_cur, original.rlim_max);
    }
    ::setrlimit(RLIMIT_NOFILE, &original);
    const std::vector<std::tuple<long, int, int>> caps = {
        {1024, 128, 128}, {524288, 128, 128}, {256, 128, 64},
        {100, 128, 25},   {2, 128, 1},        {LONG_MAX, 128, 128}};
    for (const auto& [files, wanted, cap] : caps)
        EXPECT_EQ(ServerConnectionCap(files, wanted), cap) << files;
}

TEST(PathWithoutHome, TheHomeFolderBecomesATilde) {
    const char* saved = std::getenv("HOME");
    const std::string keep = saved ? saved : "";
    ::setenv("HOME", "/home/observer/", 1);
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/home/observer/.config/Orvanel/registry.ini", "~/.config/Orvanel/registry.ini"},
        {"/home/observer", "~"},
        {"/home/observers/x.ini", "/home/observers/x.ini"},
        {"/etc/orvanel/registry.ini", "/etc/orvanel/registry.ini"},
    };
    for (const auto& [path, shown] : cases)
        EXPECT_EQ(PathWithoutHome(path), shown);
    if (saved) ::setenv("HOME", keep.c_str(), 1);
}
