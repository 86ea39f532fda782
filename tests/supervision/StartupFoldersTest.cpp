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

} // namespace
