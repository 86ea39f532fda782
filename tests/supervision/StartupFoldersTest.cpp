#include <filesystem>
#include <gtest/gtest.h>

#include "Records.h"
#include "StartupFolders.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class StartupFolders : public SandboxTest {};

TEST_F(StartupFolders, FoldersLieBelowTheDocumentsRoot) {
    AssignFolders(Root() + "bin", Root() + "Docs");
    EXPECT_EQ(PathExe, Root() + "bin/");
    EXPECT_EQ(PathDatas, Root() + "Docs/Halvex/Datas/");
    EXPECT_EQ(PathLogs, Root() + "Docs/Halvex/Logs/");
    EXPECT_EQ(PathJpeg, Root() + "Docs/Halvex/Jpeg/");
}

TEST_F(StartupFolders, FilesOfOlderVersionsMoveAndOtherFilesStay) {
    fs::create_directories(PathExe + "Datas");
    WriteWholeFile(PathExe + "2012_11_03_log.txt", "old log");
    WriteWholeFile(PathExe + "Photodiode.log", "pd");
    WriteWholeFile(PathExe + "CMakeCache.txt", "not ours");
    WriteWholeFile(PathExe + "Datas/2012_11.bin", "bin");
    WriteWholeFile(PathExe + "Datas/2012_11.bin.back", "back");
    WriteWholeFile(PathExe + "Datas/snap.jpg", "jpg");

    MoveFilesOfOlderVersions();

    EXPECT_EQ(ReadWholeFile(PathLogs + "2012_11_03_log.txt"), "old log");
    EXPECT_EQ(ReadWholeFile(PathLogs + "Photodiode.log"), "pd");
    EXPECT_TRUE(fs::exists(PathExe + "CMakeCache.txt"));
    EXPECT_EQ(ReadWholeFile(PathDatas + "2012_11.bin"), "bin");
    EXPECT_EQ(ReadWholeFile(PathDatas + "2012_11.bin.back"), "back");
    EXPECT_EQ(ReadWholeFile(PathJpeg + "snap.jpg"), "jpg");
    EXPECT_FALSE(fs::exists(PathExe + "Datas")); // emptied, so removed
}

// Installed, the sounds and translations lie in ../share/orvanel beside bin; in a build tree, beside
// the executable. Only a folder counts: a stray file of that name leaves the executable's folder.
TEST_F(StartupFolders, ProgramFilesAreTheInstalledShareFolderWhenThereIsOne) {
    struct Case {
        const char* name;
        const char* shareEntry; // what exists at <root>/share/orvanel: "", "folder" or "file"
        const char* expected;   // relative to the root
    };
    const Case cases[] = {
        {"build tree", "", "bin/"},
        {"installed", "folder", "share/orvanel/"},
        {"a file, not a folder", "file", "bin/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        fs::create_directories(root.Path() + "bin");
        fs::create_directories(root.Path() + "share");
        if (std::string(c.shareEntry) == "folder") fs::create_directories(root.Path() + "share/orvanel");
        if (std::string(c.shareEntry) == "file") WriteWholeFile(root.Path() + "share/orvanel", "x");
        EXPECT_EQ(ProgramFilesFolder(root.Path() + "bin"), root.Path() + c.expected);
    }
}

} // namespace
