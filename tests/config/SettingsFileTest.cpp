// The settings file as people and earlier versions leave it: values typed by hand, files written
// through Qt's INI format, comments, damaged or unreadable files, a full disk.
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <QByteArray>
#include <QSettings>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "RegistryFile.h"
#include "RegistryTestSupport.h"

namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public RegistryTest {
  protected:
    void SetUp() override {
        RegistryTest::SetUp();
        fs::create_directories(fs::path(reg.FileName()).parent_path());
    }
    void WriteFile(const std::string& text) { WriteWholeFile(reg.FileName(), text); }
    std::string FileText() { return ReadWholeFile(reg.FileName()); }
    std::string ReadString(const char* path, const char* name) {
        std::string value = "default";
        EXPECT_TRUE(reg.ReadValueRegisterDFset(path, value, name, varString)) << reg.ErrorMessage;
        return value;
    }
};

// ---- Values typed by hand -----------------------------------------------------------------------

struct HandTypedCase {
    const char* line; // under [Webpublish]
    const char* value;
};

TEST_F(SettingsFileTest, HandTypedValuesReadAsWritten) {
    const HandTypedCase cases[] = {
        {"Pass=my;secret#pw", "my;secret#pw"},
        {"Pass=\"my;secret#pw\"", "my;secret#pw"},
        {"RemotePath=\"\\web\\sky\"", "\\web\\sky"},
        {"RemotePath=\\web\\sky", "\\web\\sky"},
        {"RemotePath=\\\\server\\share", "\\\\server\\share"},
        {"Hostname = ftp.example.org:2121 ", "ftp.example.org:2121"},
        {"Hostname\t=\t\"ftp.example.org\"\r", "ftp.example.org"},
        {"Login=a,b", "a,b"},
        {"Login=\"a=b\"", "a=b"},
        {"Login=@home", "@home"},
        {"Login=\"\"", ""},
        {"Login=", ""},
        {"Pass=\"pa\"ss\"", "pa\"ss"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        WriteFile(std::string("[Webpublish]\n") + c.line + "\n");
        const std::string name = std::string(c.line).substr(0, std::string(c.line).find_first_of(" \t="));
        EXPECT_EQ(ReadString("\\Webpublish", name.c_str()), c.value);
    }
}

// As an editor of another system leaves it: a byte order mark, CR LF line ends, blanks around the
// values; all are kept.
TEST_F(SettingsFileTest, AFileFromAnotherEditorReadsAndKeepsItsForm) {
    WriteFile("\xEF\xBB\xBF[Config]\r\nPortCom = 4\r\nGapPixel=\t0.125\r\nBlueTooth = Yes\r\n");
    uint16_t port = 1;
    double gap = 0;
    bool bluetooth = false;
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", port, "PortCom", varWord));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", gap, "GapPixel", varDouble));
    EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", bluetooth, "BlueTooth", varBoolean));
    EXPECT_EQ(port, 4);
    EXPECT_EQ(gap, 0.125);
    EXPECT_TRUE(bluetooth);
    reg.WriteCFGtoRegister("\\Config", uint16_t{5}, "PortCom");
    EXPECT_EQ(FileText(), "\xEF\xBB\xBF[Config]\r\nPortCom = 5\r\nGapPixel=\t0.125\r\nBlueTooth = Yes\r\n");
}

// A later save changes the lines it writes and nothing else: comments, values the program does not
// know, stray lines and values typed by hand stay as they were, and a value written back unchanged
// keeps its spelling.
TEST_F(SettingsFileTest, ASaveKeepsEveryLineItDoesNotChange) {
    const std::string before = "; settings of the dome computer\n"
                               "[Config]\n"
                               "# the port of the station\n"
                               "PortCom = 4\n"
                               "MyOwnNote=keep me\n"
                               "this line means nothing\n"
                               "\n"
                               "[Webpublish]\n"
                               "Pass=my;secret#pw\n"
                               "RemotePath=\"\\web\\sky\"\n"
                               "Hostname=ftp.example.org ; the club's server\n";
    WriteFile(before);
    const std::string pass = ReadString("\\Webpublish", "Pass");
    const std::string remote = ReadString("\\Webpublish", "RemotePath");
    {
        TRegistryWriteGroup group(reg);
        reg.WriteCFGtoRegister("\\Webpublish", pass, "Pass");
        reg.WriteCFGtoRegister("\\Webpublish", remote, "RemotePath");
        reg.WriteCFGtoRegister("\\config", uint16_t{5}, "portcom");
        reg.WriteCFGtoRegister("\\Config", true, "BlueTooth");
        reg.WriteCFGtoRegister("\\Config\\Sounds", "relay.wav", "Sound_at_RelayClose");
        reg.WriteCFGtoRegister("\\CloseCriteria", int32_t{120}, "AfterMin");
    }
    EXPECT_EQ(FileText(), "; settings of the dome computer\n"
                          "[Config]\n"
                          "# the port of the station\n"
                          "PortCom = 5\n"
                          "MyOwnNote=keep me\n"
                          "BlueTooth=Yes\n"
                          "Sounds\\Sound_at_RelayClose=\"relay.wav\"\n"
                          "this line means nothing\n"
                          "\n"
                          "[Webpublish]\n"
                          "Pass=my;secret#pw\n"
                          "RemotePath=\"\\web\\sky\"\n"
                          "Hostname=ftp.example.org ; the club's server\n"
                          "\n"
                          "[CloseCriteria]\n"
                          "AfterMin=120\n");
    EXPECT_EQ(ReadString("\\Webpublish", "Pass"), "my;secret#pw");
    EXPECT_EQ(ReadString("\\Config\\Sounds", "Sound_at_RelayClose"), "relay.wav");
}

// What the program writes stands in the file as the store's text and reads back the same, including
// the texts a line cannot hold as they are.
TEST_F(SettingsFileTest, WrittenTextsReadBackTheSame) {
    const struct {
        std::string value;
        const char* line; // nullptr: any line that reads back
    } cases[] = {
        {"my;secret#pw", "Value=\"my;secret#pw\""},
        {"\\web\\sky", "Value=\"\\web\\sky\""},
        {"C:\\data\\a b\"c", "Value=\"C:\\data\\a b\"c\""},
        {" spaced ", nullptr},
        {"", "Value=\"\""},
        {"été 😀", "Value=\"été 😀\""},
        {"a\\\\b;c", nullptr}, // would read as Qt's escaping of a\b;c
        {"line\nbreak\rand\ttab", nullptr},
        {std::string("nul\0byte", 8), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        reg.WriteCFGtoRegister("\\Config", c.value, "Value");
        if (c.line) EXPECT_NE(FileText().find(std::string(c.line) + "\n"), std::string::npos) << FileText();
        EXPECT_EQ(SplitLines(FileText(), "\n").size(), 2u) << FileText();
        EXPECT_EQ(ReadString("\\Config", "Value"), c.value);
    }
}

// ---- Files written by earlier versions through Qt's INI format ------------------------------------

TEST_F(SettingsFileTest, FilesWrittenThroughQtReadTheSame) {
    // The store's texts as earlier versions handed them to Qt.
    const std::pair<std::string, std::string> texts[] = {
        {"\"ab\"", "ab"},
        {"\"C:\\data\\a b\"c\"", "C:\\data\\a b\"c"},
        {"\"my;secret#pw\"", "my;secret#pw"},
        {"\"a,b\"", "a,b"},
        {"\"x=1\"", "x=1"},
        {"\" lead\"", " lead"},
        {"\"\\\\server\\share\"", "\\\\server\\share"},
        {"\"a\\\\b;c\"", "a\\\\b;c"},
        {"\"tab\there\"", "tab\there"},
        {"\"line\nbreak\r\"", "line\nbreak\r"},
        {std::string("\"\x01"
                     "9\"",
                     4),
         std::string("\x01"
                     "9",
                     2)},
        {"\"été €😀\"", "été €😀"},
        {"\"@at\"", "@at"},
        {"@at", "@at"},
        {"\"\"", ""},
        {"", ""},
        {"\"", "\""},
    };
    int n = 0;
    for (const auto& [stored, _] : texts)
        Plant("Config/V" + QString::number(n++), QString::fromStdString(stored));
    const double when = 45000.25;
    Plant("Stats/When", QByteArray(reinterpret_cast<const char*>(&when), 8));
    const double tricky = [] { // bytes Qt escapes: '\', '"', ',', '=', ';', control and high bytes
        const unsigned char bytes[8] = {0x5C, 0x22, 0x2C, 0x3D, 0x3B, 0x00, 0x39, 0xC0};
        double d;
        std::memcpy(&d, bytes, 8);
        return d;
    }();
    Plant("Stats/Tricky", QByteArray(reinterpret_cast<const char*>(&tricky), 8));
    Plant("Config/Sounds/Sound_on_goodCond", QString("\"good.wav\""));
    Plant("GraphicScales/Image Temps é/MinY", QString("5"));
    Plant("General/Odd", QString("Yes"));
    Plant("Config/Num", QString("0.0025"));

    auto readAll = [&] {
        int i = 0;
        for (const auto& [stored, value] : texts) {
            SCOPED_TRACE(stored);
            EXPECT_EQ(ReadString("\\Config", ("V" + std::to_string(i++)).c_str()), value);
        }
        double date = 0, trickyDate = 0, minY = 0, num = 0;
        bool odd = false;
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Stats\\", date, "When", varDate));
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Stats\\", trickyDate, "Tricky", varDate));
        EXPECT_EQ(date, when);
        EXPECT_EQ(std::memcmp(&trickyDate, &tricky, 8), 0);
        EXPECT_EQ(ReadString("\\Config\\Sounds", "Sound_on_goodCond"), "good.wav");
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\GraphicScales\\Image Temps É\\", minY, "miny", varDouble));
        EXPECT_EQ(minY, 5);
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\General", odd, "Odd", varBoolean));
        EXPECT_TRUE(odd);
        EXPECT_TRUE(reg.ReadValueRegisterDFset("\\Config", num, "Num", varDouble));
        EXPECT_EQ(num, 0.0025);
    };
    readAll();
    // A save rewrites none of those lines, and Qt's reader still reads the file.
    const std::string before = FileText();
    reg.WriteCFGtoRegister("\\Config", uint16_t{3}, "PortCom");
    const std::string after = FileText();
    for (const std::string& line : SplitLines(before, "\n"))
        EXPECT_NE(after.find(line + "\n"), std::string::npos) << line;
    readAll();
    QSettings qt(QString::fromStdString(reg.FileName()), QSettings::IniFormat);
    EXPECT_EQ(qt.value("Config/PortCom").toString(), "3");
    EXPECT_EQ(qt.value("Config/V2").toString(), "\"my;secret#pw\"");
}

// ---- Files that are no settings file, or cannot be read --------------------------------------------

TEST_F(SettingsFileTest, AFileThatIsNoSettingsFileIsKeptAsideBeforeTheFirstSave) {
    const std::pair<const char*, std::string> cases[] = {
        {"zeros", std::string(4096, '\0')},
        {"binary", std::string("[Config]\nPortCom=4\n\x7f"
                               "ELF\0\0\x02",
                               26)},
        {"prose", "This is my shopping list\nbread, milk\n"},
        {"huge", std::string(TRegistryFile::MaxSize + 10, '[')},
    };
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        fs::remove_all(fs::path(reg.FileName()).parent_path());
        fs::create_directories(fs::path(reg.FileName()).parent_path());
        WriteFile(content);
        uint16_t port = 1;
        EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Config", port, "PortCom", varWord));
        EXPECT_EQ(port, 1);
        const auto problems = reg.TakeProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(reg.FileName() + ".damaged"), std::string::npos) << problems[0];
        EXPECT_TRUE(reg.TakeProblems().empty()); // told once
        EXPECT_EQ(FileText(), content);          // reading changes nothing

        reg.WriteCFGtoRegister("\\Config", uint16_t{7}, "PortCom");
        EXPECT_EQ(ReadWholeFile(reg.FileName() + ".damaged"), content);
        EXPECT_EQ(FileText(), "[Config]\nPortCom=7\n");
        EXPECT_TRUE(reg.TakeProblems().empty());
        reg.WriteCFGtoRegister("\\Config", uint16_t{8}, "PortCom");
        EXPECT_EQ(ReadWholeFile(reg.FileName() + ".damaged"), content); // kept once, never overwritten
    }
}

TEST_F(SettingsFileTest, AnEarlierDamagedCopyIsNeverOverwritten) {
    WriteWholeFile(reg.FileName() + ".damaged", "older");
    WriteFile(std::string(10, '\0'));
    reg.WriteCFGtoRegister("\\Config", uint16_t{7}, "PortCom");
    EXPECT_EQ(ReadWholeFile(reg.FileName() + ".damaged"), "older");
    EXPECT_EQ(ReadWholeFile(reg.FileName() + ".damaged.2"), std::string(10, '\0'));
}

// A FIFO (reading it would block for ever) or a folder in the file's place: the defaults are used,
// the user is told once, and nothing is written in its place.
TEST_F(SettingsFileTest, AFileThatCannotBeReadIsNeverWrittenOver) {
    for (const bool fifo : {true, false}) {
        SCOPED_TRACE(fifo ? "fifo" : "folder");
        fs::remove_all(reg.FileName());
        if (fifo)
            ASSERT_EQ(::mkfifo(reg.FileName().c_str(), 0600), 0);
        else
            fs::create_directories(reg.FileName());
        uint16_t port = 1;
        EXPECT_FALSE(reg.ReadValueRegisterDFset("\\Config", port, "PortCom", varWord));
        EXPECT_EQ(port, 1);
        const auto problems = reg.TakeProblems();
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(reg.FileName()), std::string::npos) << problems[0];
        reg.WriteCFGtoRegister("\\Config", uint16_t{7}, "PortCom");
        EXPECT_EQ(fs::status(reg.FileName()).type(), fifo ? fs::file_type::fifo : fs::file_type::directory);
        EXPECT_TRUE(reg.TakeProblems().empty());
    }
}

TEST_F(SettingsFileTest, AFullDiskLeavesThePreviousFileWhole) {
    reg.WriteCFGtoRegister("\\Webpublish", "short", "Pass");
    const std::string before = FileText();
    {
        FileSizeLimit limit(before.size() + 10);
        reg.WriteCFGtoRegister("\\Webpublish", std::string(500, 'x'), "Pass");
    }
    EXPECT_EQ(FileText(), before);
    EXPECT_EQ(ReadString("\\Webpublish", "Pass"), "short");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::path(reg.FileName()).parent_path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"registry.ini"});
}

// Settings kept elsewhere through a link: the link stays, its file takes the change, with its own
// permissions.
TEST_F(SettingsFileTest, ALinkedFileIsWrittenThroughItsLink) {
    const std::string elsewhere = Root() + "dotfiles/registry.ini";
    fs::create_directories(Root() + "dotfiles");
    WriteWholeFile(elsewhere, "[Config]\nPortCom=2\n");
    ::chmod(elsewhere.c_str(), 0640);
    fs::create_symlink(elsewhere, reg.FileName());
    reg.WriteCFGtoRegister("\\Config", uint16_t{3}, "PortCom");
    EXPECT_TRUE(fs::is_symlink(reg.FileName()));
    EXPECT_EQ(ReadWholeFile(elsewhere), "[Config]\nPortCom=3\n");
    struct stat st {};
    ASSERT_EQ(::stat(elsewhere.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(SettingsFileTest, ANewFileIsPrivate) {
    fs::remove_all(fs::path(reg.FileName()).parent_path());
    reg.WriteCFGtoRegister("\\Webpublish", "secret", "Pass");
    struct stat st {};
    ASSERT_EQ(::stat(reg.FileName().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A save cut short (the process ended between writing the new file and renaming it) leaves a
// temporary file; the next process to use the store removes it.
TEST_F(SettingsFileTest, WhatAnInterruptedSaveLeftIsRemoved) {
    pid_t gone = ::fork();
    if (gone == 0) ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    const std::string leftOver = reg.FileName() + "." + std::to_string(gone) + "-0.tmp";
    WriteFile("[Config]\nPortCom=2\n");
    WriteWholeFile(leftOver, "[Config]\nPortCom=");
    EXPECT_EQ(ReadString("\\Config", "PortCom"), "2");
    EXPECT_FALSE(fs::exists(leftOver));
}

// A change made by another program (an editor) between two reads is seen.
TEST_F(SettingsFileTest, AnEditBetweenTwoReadsIsSeen) {
    reg.WriteCFGtoRegister("\\Config", uint16_t{3}, "PortCom");
    EXPECT_EQ(ReadString("\\Config", "PortCom"), "3");
    WriteFile("[Config]\nPortCom=9\n");
    EXPECT_EQ(ReadString("\\Config", "PortCom"), "9");
}

} // namespace
