// The program's log: one timestamped line per call in a daily file of the log folder.
#pragma once

#include <functional>
#include <mutex>
#include <string>

// Serialises every log write, whichever thread writes.
extern std::mutex LogLock;

// Appends one line to the daily file (PathLogs + LogFileNameToday()).
void LogToday(const std::string& text);
// Appends one line to PathLogs + fileName. Never fails visibly: a line that cannot be written is lost.
void LogWrite(const std::string& fileName, const std::string& text);
// yyyy_mm_dd_log.txt for the local date of the moment.
std::string LogFileNameToday();
std::string LogFileNameFor(double when);
// The line as written, without its line end: Thrd[XXXX]: dd/mm/yyyy hh:nn:ss.mmm : text
std::string LogLinePrefix(unsigned long threadId, double when);

// True on the program's main (user-interface) thread: the thread that loaded the program, unless
// MarkMainThread() names another.
bool IsMainThread();
void MarkMainThread();

