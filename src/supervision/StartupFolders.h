// Where the program keeps its files: the program folder (sounds, translations, an older Data.bin)
// and the data, log and snapshot folders below the user's documents folder.
#pragma once

#include <string>

// Sets PathExe, PathDatas, PathLogs and PathJpeg, creates the three folders (ending the program
// with a message when one cannot exist) and moves the files that older versions kept beside the
// program into them.
void SetupFolders();

// The pieces, for tests: the documents root (ends with '/').
std::string DocumentsRoot();
// The folder of the program's own files (sounds, translations, web files), ending with '/': the
// installed share folder relative to the executable's folder (../share/orvanel) when it exists,
// otherwise the executable's folder itself (a build tree).
std::string ProgramFilesFolder(const std::string& exeFolder);
void AssignFolders(const std::string& exeFolder, const std::string& documentsRoot);
void MoveFilesOfOlderVersions();
