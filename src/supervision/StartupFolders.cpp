#include "StartupFolders.h"

#include <exception>
#include <filesystem>
#include <fmt/printf.h>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include "Records.h"
#include "UserText.h"
#include "Utilities.h"

std::string DocumentsRoot() {
    QString root = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (root.isEmpty()) root = QDir::homePath();
    std::string path = root.toStdString();
    IncludeBackslash(path);
    return path;
}

#ifndef ORVANEL_SHARE_FROM_BIN
#define ORVANEL_SHARE_FROM_BIN "../share/orvanel"
#endif

std::string ProgramFilesFolder(const std::string& exeFolder) {
    std::error_code ec;
    const std::filesystem::path installed =
        (std::filesystem::path(exeFolder) / ORVANEL_SHARE_FROM_BIN).lexically_normal();
    std::string folder = std::filesystem::is_directory(installed, ec) ? installed.string() : exeFolder;
    IncludeBackslash(folder);
    return folder;
}

void AssignFolders(const std::string& exeFolder, const std::string& documentsRoot) {
    PathExe = exeFolder;
    IncludeBackslash(PathExe);
    std::string root = documentsRoot;
    IncludeBackslash(root);
    PathLogs = root + "Halvex/Logs/";
    PathJpeg = root + "Halvex/Jpeg/";
    PathDatas = root + "Halvex/Datas/";
}

void MoveFilesOfOlderVersions() {
    const std::string oldDatas = PathExe + "Datas/";
    // Only the log files of older versions: the program folder may hold other text files
    // (a build folder's CMakeCache.txt, a packager's notes) that must stay where they are.
    MoveFilesTo(PathExe, "[0-9][0-9][0-9][0-9]_[0-9][0-9]_[0-9][0-9]_log.txt", PathLogs);
    MoveFilesTo(PathExe, "*.log", PathLogs);
    MoveFilesTo(oldDatas, "*.bin", PathDatas);
    MoveFilesTo(oldDatas, "*.bin.back", PathDatas);
    MoveFilesTo(oldDatas, "*.txt", PathLogs);
    MoveFilesTo(oldDatas, "*.jpg", PathJpeg);
    std::error_code ec;
    std::filesystem::remove(oldDatas, ec); // only when empty
}

void SetupFolders() {
    AssignFolders(ProgramFilesFolder(QCoreApplication::applicationDirPath().toStdString()), DocumentsRoot());
    EnsureFolder(PathDatas);
    EnsureFolder(PathLogs);
    EnsureFolder(PathJpeg);
    try {
        MoveFilesOfOlderVersions();
    } catch (const std::exception& e) {
        ShowUserMessage(fmt::sprintf(Tr("StartupFolders", "Erreur grave au démarrage : [%s] !"), e.what()));
    }
}
