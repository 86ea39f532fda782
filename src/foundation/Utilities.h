// Small file, path and list helpers shared by the controller and the dialogs.
#pragma once

#include <string>
#include <vector>

// Appends the folder separator when the path does not already end with one.
void IncludeBackslash(std::string& path);
// Creates the folder with its parents. When that is impossible, tells the user and ends the
// program with exit code 1 (the program cannot run without its folders).
void EnsureFolder(const std::string& path);
// Same test without ending the program: the message text, or empty on success.
std::string TryEnsureFolder(const std::string& path);
// Moves the files of sourceFolder matching the shell mask (e.g. "*.bin.back") into destFolder;
// a file already at the destination is not overwritten (the source copy is dropped).
// Problems are shown to the user; nothing is raised.
void MoveFilesTo(const std::string& sourceFolder, const std::string& mask, const std::string& destFolder);
// Raises the soft limit of open files to the hard limit, so that month files, logs and the serial
// port find a descriptor beside the network clients. Returns the soft limit in force afterwards.
long RaiseOpenFileLimit();
// How many connections a server may hold when the process may open `openFileLimit` files: `wanted`,
// but never more than a quarter of the limit.
int ServerConnectionCap(long openFileLimit, int wanted);
// A path as it may be shown to anyone who reaches a served page: the user's home folder as "~".
std::string PathWithoutHome(const std::string& path);

// At most maxLength characters: the head, "..." and the tail.
std::string ShortenForDisplay(const std::string& text, int maxLength);

// A command line split into the program and its parameters.
struct TProgramCommand {
    std::string Program;
    std::string Parameters;
};
// Splits a configured command line. The program part ends at the rightmost "EXE", "COM" or "BAT"
// (any case); failing that, at the longest leading part that names an existing executable file.
// Raises EOrvanelError with the user's text when no program can be found or it does not exist.
// An empty or too short line (under 5 characters) gives an empty program.
TProgramCommand SplitProgramCommandLine(const std::string& commandLine);
// Parameters split on blanks, double quotes grouping (no shell is involved).
std::vector<std::string> SplitParameters(const std::string& parameters);

// The file a sound name refers to: the name itself when it exists, otherwise PathExe + name;
// empty when neither exists (nothing is played then).
std::string ResolveSoundFile(const std::string& fileName);

void SortFloats(std::vector<double>& values);
// Median of the first n values (sorts them). n must be at least 1.
double MedianOfFloats(std::vector<double>& values, int n);

// Path helpers.
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
