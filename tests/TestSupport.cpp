#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DateTime.h"
#include "Records.h"
#include "SettingsTable.h"

namespace fs = std::filesystem;

TempFolder::TempFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvanel-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void SandboxTest::SetUp() {
    // The settings' defaults are the start values, as in the programs.
    InstallSettingDefaults();
    InitStartValues();
    SetClockForTests({});
    const std::string& root = temp_.Path();
    ::setenv("HOME", root.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (root + ".config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (root + ".local/share").c_str(), 1);
    ::setenv("XDG_RUNTIME_DIR", (root + "run").c_str(), 1);
    fs::create_directories(root + "run");
    // Qt ignores a runtime folder that others may read, and falls back to a shared one.
    fs::permissions(root + "run", fs::perms::owner_all);
    PathExe = root + "exe/";
    PathDatas = root + "Documents/Halvex/Datas/";
    PathLogs = root + "Documents/Halvex/Logs/";
    PathJpeg = root + "Documents/Halvex/Jpeg/";
    for (const auto* p : {&PathExe, &PathDatas, &PathLogs, &PathJpeg}) fs::create_directories(*p);
}

void SandboxTest::TearDown() {
    SetClockForTests({});
    PathLogs.clear();
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::vector<std::string> SplitLines(const std::string& text, const std::string& separator) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(separator, start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + separator.size();
    }
    return lines;
}
