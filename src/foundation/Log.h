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

// Takes the lock. On the main thread it never blocks the event loop: while the lock is busy it runs
// the event pump installed with SetEventPump (the Qt side processes pending events there).
void AcquireFromAnyThread(std::mutex& lock);
void SetEventPump(std::function<void()> pump);

// RAII form of AcquireFromAnyThread.
class AnyThreadLock {
  public:
    explicit AnyThreadLock(std::mutex& lock) : lock_(lock) { AcquireFromAnyThread(lock_); }
    ~AnyThreadLock() { lock_.unlock(); }
    AnyThreadLock(const AnyThreadLock&) = delete;
    AnyThreadLock& operator=(const AnyThreadLock&) = delete;

  private:
    std::mutex& lock_;
};
