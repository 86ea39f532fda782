#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "AtomicFile.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

TByteRun Bytes(const std::string& text) {
    return std::as_bytes(std::span(text));
}

class UmaskFor {
  public:
    explicit UmaskFor(mode_t mask) : saved_(::umask(mask)) {}
    ~UmaskFor() { ::umask(saved_); }

  private:
    mode_t saved_;
};

class AtomicFileTest : public SandboxTest {
  protected:
    void SetUp() override {
        SandboxTest::SetUp();
        folder = Root() + "files/";
        fs::create_directories(folder);
    }
    // Every entry of the folder with its content ("<folder>" for a subfolder).
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> entries;
        for (const auto& entry : fs::directory_iterator(folder))
            entries[entry.path().filename().string()] =
                entry.is_directory() ? "<folder>" : ReadWholeFile(entry.path().string());
        return entries;
    }

    std::string folder;
};

TEST_F(AtomicFileTest, FailedReplacementLeavesTheFolderAsItWas) {
    struct Case {
        const char* what;
        const char* target;
        std::function<void()> fault; // set up just before the replacement
        TReplaceStep step;
        int error;
        bool permissionBound;
    };
    const std::string big(5000, 'n'); // beyond the file size limit below
    std::optional<FileSizeLimit> limit;
    const Case cases[] = {
        {"read-only folder", "data",
         [&] { fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec); },
         TReplaceStep::Create, EACCES, true},
        {"missing folder", "missing/data", [] {}, TReplaceStep::Create, ENOENT, false},
        {"disk full", "data", [&] { limit.emplace(4096); }, TReplaceStep::Write, EFBIG, false},
        {"a folder in the way", "sub", [] {}, TReplaceStep::Replace, EISDIR, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.permissionBound && ::geteuid() == 0) {
            std::cout << "[ SKIPPED  ] " << c.what << ": permissions do not bind root\n";
            continue;
        }
        fs::remove_all(folder);
        fs::create_directories(folder + "sub");
        WriteWholeFile(folder + "sub/inside", "kept");
        WriteWholeFile(folder + "data", "old");
        const auto before = Snapshot();

        const TByteRun runs[] = {Bytes(big)};
        c.fault();
        const TReplaceResult result = ReplaceFileAtomically(folder + c.target, runs);
        limit.reset();
        fs::permissions(folder, fs::perms::owner_all);

        EXPECT_FALSE(result.Succeeded());
        EXPECT_EQ(result.Step, c.step);
        EXPECT_EQ(result.Error, c.error);
        EXPECT_EQ(Snapshot(), before);
    }
}

TEST_F(AtomicFileTest, ContentRunsAreWrittenInOrderWithTheRequestedPermissions) {
    const UmaskFor umask(0002);
    const std::string header = "HEAD", body(70000, 'b'), tail = "END";
    const TByteRun runs[] = {Bytes(header), Bytes(body), TByteRun{}, Bytes(tail)};
    const mode_t modes[] = {0644, 0666};
    for (const mode_t mode : modes) {
        SCOPED_TRACE(mode);
        TReplaceOptions options;
        options.Mode = mode;
        options.SyncContent = options.SyncFolder = mode == 0644;
        const TReplaceResult result = ReplaceFileAtomically(folder + "data", runs, options);
        ASSERT_TRUE(result.Succeeded()) << result.Error;
        EXPECT_EQ(ReadWholeFile(folder + "data"), header + body + tail);
        struct stat st {};
        ASSERT_EQ(::stat((folder + "data").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, mode & ~0002u);
        EXPECT_EQ(Snapshot().size(), 1u) << "no temporary file left beside it";
    }
}

TEST_F(AtomicFileTest, BackupHoldsTheFileAsItWasBeforeEachReplacement) {
    TReplaceOptions options;
    options.BackupPath = folder + "data.back";
    const std::string contents[] = {"first", "second, longer", "third"};
    std::string previous;
    for (const auto& content : contents) {
        SCOPED_TRACE(content);
        const TByteRun runs[] = {Bytes(content)};
        ASSERT_TRUE(ReplaceFileAtomically(folder + "data", runs, options).Succeeded());
        EXPECT_EQ(ReadWholeFile(folder + "data"), content);
        if (previous.empty())
            EXPECT_FALSE(fs::exists(options.BackupPath)) << "nothing to keep the first time";
        else
            EXPECT_EQ(ReadWholeFile(options.BackupPath), previous);
        previous = content;
    }
}

// Writers that shared one temporary name would write into each other's file or rename it away.
TEST_F(AtomicFileTest, ConcurrentWritersEachReplaceTheFileWhole) {
    const std::string contents[] = {std::string(50000, 'x'), std::string(30000, 'y')};
    std::atomic<int> failures{0};
    auto writer = [&](const std::string& content) {
        const TByteRun runs[] = {Bytes(content)};
        for (int i = 0; i < 200; ++i)
            if (!ReplaceFileAtomically(folder + "data", runs).Succeeded()) ++failures;
    };
    std::thread first(writer, contents[0]), second(writer, contents[1]);
    first.join();
    second.join();
    EXPECT_EQ(failures, 0);
    const std::string last = ReadWholeFile(folder + "data");
    EXPECT_TRUE(last == contents[0] || last == contents[1]);
    EXPECT_EQ(Snapshot().size(), 1u);
}

} // namespace

namespace {

// A save cut short by a crash leaves its temporary file: it goes once its process has ended, and stays
// while that process runs (another instance may be saving into the same folder at this moment).
TEST_F(AtomicFileTest, OnlyTheTemporaryFilesOfEndedProcessesAreRemoved) {
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ASSERT_GT(ended, 0);
    ::waitpid(ended, nullptr, 0);
    const std::string orphan = Root() + "2026_12.bin." + std::to_string(ended) + "-3.tmp";
    const std::string ours = Root() + "2026_12.bin." + std::to_string(::getpid()) + "-0.tmp";
    const std::string month = Root() + "2026_12.bin";
    const std::string notOurs = Root() + "notes.1-2.txt";
    for (const std::string& path : {orphan, ours, month, notOurs})
        WriteWholeFile(path, "x");

    EXPECT_EQ(RemoveOrphanTemporaryFiles(Root()), std::vector<std::string>({orphan}));
    EXPECT_FALSE(fs::exists(orphan));
    for (const std::string& path : {ours, month, notOurs})
        EXPECT_TRUE(fs::exists(path)) << path;
    EXPECT_TRUE(RemoveOrphanTemporaryFiles(Root() + "missing/").empty());
}

} // namespace
