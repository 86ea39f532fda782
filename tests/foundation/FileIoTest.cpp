#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "FileIo.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

class FileIoTest : public SandboxTest {};

TEST_F(FileIoTest, CopyFileBlocksCopiesEveryByteOrReportsFailure) {
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 7 % 251);
    WriteWholeFile(Root() + "source", content);
    EXPECT_EQ(CopyFileBlocks(Root() + "source", Root() + "copy"), 0);
    EXPECT_EQ(ReadWholeFile(Root() + "copy"), content);
    EXPECT_EQ(CopyFileBlocks(Root() + "missing", Root() + "copy2"), 1);
    EXPECT_FALSE(fs::exists(Root() + "copy2"));
    EXPECT_EQ(CopyFileBlocks(Root() + "source", Root() + "no-folder/copy"), 1);
}

} // namespace
