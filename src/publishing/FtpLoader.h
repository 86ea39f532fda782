// FTP publishing: one upload of the snapshot pictures runs on a thread of its own, through libcurl,
// and tells every step in the daily FTP log. At most one upload runs at a time.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DateTime.h"
#include "SnapshotNames.h"

// Our own small web page showing the pictures and the latest values; sent after them.
inline constexpr const char* IndexPageFileName = "orvanel.html";

// Inactivity limits of an upload. Tests shorten them; the log line gives them in whole seconds.
struct TFtpTimeouts {
    int TransferMs = 60000; // data connection: no byte moved for this long ends the transfer
    int ReadMs = 60000;     // control connection: connecting, or waiting for a reply
};

// What an upload needs, copied into the thread.
struct TInfosServer {
    std::string ServerName; // "host", "host:port", "ftp://host[:port]", "ftps://...", "sftp://..."
    std::string UserName;
    std::string Password;
    std::vector<std::string> LocalFiles; // full paths, in upload order
    std::string RemotePath;              // backslashes are taken as slashes; empty: the login folder
    // Receives each log line as well, on the upload thread: a view must hand it over to its own
    // thread. The timer passes none.
    std::function<void(const std::string& line)> RicheEdit;
    bool PassiveModeEnabled = true;
    bool VerifyPeer = true; // ftps: the server's certificate must be trusted
    TFtpTimeouts Timeouts;
};

// Set while an upload runs, from the moment it is started to the end of its thread.
extern std::atomic<bool> FtpRunning;

// The host field taken apart.
struct TFtpHost {
    enum class Kind { Ftp, Ftps, Sftp };
    Kind Protocol = Kind::Ftp;
    std::string Host;
    int Port = 21;
    std::string Error; // empty when the field is usable
};
TFtpHost ParseFtpHost(const std::string& field);

// yyyy_mm_dd_FTP_log.txt for that local date.
std::string FtpLogFileNameFor(TDateTime when);
// A line of the FTP log without its line end:
// "Thrd[01A4]: 27/03/2013 21:04:05.3 :  -> message".
std::string FtpLogLine(unsigned long threadId, TDateTime when, const std::string& message);

class TFTPLoaderThread {
  public:
    // Starts an upload unless one runs already. The running flag is taken before the thread starts,
    // so two uploads never overlap whatever the interval. False (nothing started) when one runs.
    static bool Start(TInfosServer infos);
    // Aborts the running upload, if any: it ends with its failure line at the next progress report
    // of the transfer (within about a second). Does not wait.
    static void StopFtp();
    // Waits until no upload runs, at most maxMs; true when none runs.
    static bool WaitForEnd(int maxMs);

    TFTPLoaderThread(const TFTPLoaderThread&) = delete;
    TFTPLoaderThread& operator=(const TFTPLoaderThread&) = delete;

    struct TCurl; // the library's session, seen by its callbacks

  private:
    explicit TFTPLoaderThread(TInfosServer infos);
    ~TFTPLoaderThread();
    void Execute();
    void Upload();
    void Log(const std::string& message);

    std::string FMessageLog; // the last line built
    TInfosServer FInfosServer;
    TCurl* FFtp = nullptr; // created in Execute, freed at its end
};
