#include "FtpLoader.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "Log.h"
#include "Records.h"

std::atomic<bool> FtpRunning{false};

namespace {

std::atomic<bool> abortRequested{false};

constexpr const char* kStartLine = "----------------> FTP start <----------------------------------";
constexpr const char* kStopLine = "----------------> FTP stop <----------------------------------";
// Pictures travel under this suffix and are renamed once complete: a visitor of the page never
// gets half a picture.
constexpr const char* kPartSuffix = ".part";

int WholeSeconds(int ms) {
    return ms <= 0 ? 0 : (ms + 999) / 1000;
}

bool IsDigits(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos;
}

// Every character outside the unreserved set, '/' kept, percent-encoded for a URL path.
std::string EscapePath(const std::string& path) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/')
            out += static_cast<char>(c);
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A text from outside (a server's reply, the library's message) that holds the password: masked,
// or withheld whole when the password is too short for a mask to hide it (a mask of "pw" in a
// reply would show where, and so what, the password is).
std::string WithoutPassword(const std::string& text, const std::string& password) {
    if (password.empty() || text.find(password) == std::string::npos) return text;
    if (password.size() < 4) return "(withheld: the text holds the password)";
    std::string masked = text;
    for (auto at = masked.find(password); at != std::string::npos; at = masked.find(password, at + 4))
        masked.replace(at, password.size(), "****");
    return masked;
}

// The host field as the log shows it: a user name and password typed into it are masked.
std::string HostForLog(const std::string& field) {
    const auto at = field.rfind('@');
    if (at == std::string::npos) return field;
    const auto scheme = field.find("://");
    const size_t start = scheme != std::string::npos && scheme < at ? scheme + 3 : 0;
    return field.substr(0, start) + "****" + field.substr(at);
}

class EFtpFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

} // namespace

// ---- Host field and log lines -------------------------------------------------------------------

TFtpHost ParseFtpHost(const std::string& field) {
    TFtpHost host;
    std::string rest = field;
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.back())))
        rest.pop_back();
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front())))
        rest.erase(0, 1);
    const auto scheme = rest.find("://");
    if (scheme != std::string::npos) {
        std::string name = rest.substr(0, scheme);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (name == "ftp")
            host.Protocol = TFtpHost::Kind::Ftp;
        else if (name == "ftps")
            host.Protocol = TFtpHost::Kind::Ftps;
        else if (name == "sftp") {
            host.Protocol = TFtpHost::Kind::Sftp;
            host.Port = 22;
        } else {
            host.Error = "Unknown protocol \"" + name + "\" in the host name (ftp://, ftps:// or sftp://)";
            return host;
        }
        rest = rest.substr(scheme + 3);
        while (!rest.empty() && rest.back() == '/')
            rest.pop_back();
        if (rest.find('/') != std::string::npos) {
            host.Error = "The host name holds a folder; give it as the remote folder";
            return host;
        }
    }
    if (rest.find('@') != std::string::npos) {
        host.Error = "The host name holds a user name; give it as the login";
        return host;
    }
    std::string port;
    if (!rest.empty() && rest.front() == '[') { // [IPv6 address][:port]
        const auto close = rest.find(']');
        if (close == std::string::npos) {
            host.Error = "Unclosed '[' in the host name";
            return host;
        }
        host.Host = rest.substr(0, close + 1);
        if (close + 1 < rest.size()) {
            if (rest[close + 1] != ':') {
                host.Error = "Unexpected text after ']' in the host name";
                return host;
            }
            port = rest.substr(close + 2);
            if (port.empty()) port = "?";
        }
    } else {
        const auto colon = rest.find(':');
        // More than one colon without brackets: a bare IPv6 address, no port.
        if (colon != std::string::npos && rest.find(':', colon + 1) == std::string::npos) {
            host.Host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
            if (port.empty()) port = "?";
        } else if (colon != std::string::npos)
            host.Host = "[" + rest + "]";
        else
            host.Host = rest;
    }
    if (host.Host.empty()) {
        host.Error = "No host name";
        return host;
    }
    if (!port.empty()) {
        if (!IsDigits(port) || port.size() > 5 || std::stoi(port) < 1 || std::stoi(port) > 65535) {
            host.Error = "Invalid port \"" + port + "\" in the host name (1 to 65535)";
            return host;
        }
        host.Port = std::stoi(port);
    }
    return host;
}

std::string FtpLogFileNameFor(TDateTime when) {
    const auto p = DecodeDateTime(when);
    return fmt::format("{:d}_{:02d}_{:02d}_FTP_log.txt", p.Year, p.Month, p.Day);
}

std::string FtpLogLine(unsigned long threadId, TDateTime when, const std::string& message) {
    const auto p = DecodeDateTime(when);
    return fmt::format("Thrd[{:04X}]: {}.{:d} :  -> {}", threadId, DateTimeText(when), p.MilliSecond / 100,
                       message);
}

// ---- The libcurl session ------------------------------------------------------------------------

struct TFTPLoaderThread::TCurl {
    CURL* Handle = nullptr;
    char ErrorBuffer[CURL_ERROR_SIZE]{};
    std::string LastReply; // the server's last reply line of the current operation
    bool LoggedIn = false;
    // The store in progress.
    FILE* Source = nullptr;
    curl_off_t LastProgress = -1;
    bool InStore = false;
    bool AbortLogged = false;

    ~TCurl() {
        if (Handle) curl_easy_cleanup(Handle); // sends QUIT on an open connection
        if (Source) std::fclose(Source);
    }
};

namespace {

std::once_flag curlInitOnce;

} // namespace

TFTPLoaderThread::TFTPLoaderThread(TInfosServer infos) : FInfosServer(std::move(infos)) {}

TFTPLoaderThread::~TFTPLoaderThread() {
    delete FFtp;
}

bool TFTPLoaderThread::Start(TInfosServer infos) {
    std::call_once(curlInitOnce, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    bool expected = false;
    if (!FtpRunning.compare_exchange_strong(expected, true)) return false;
    abortRequested = false;
    auto* thread = new TFTPLoaderThread(std::move(infos));
    try {
        std::thread([thread] {
            thread->Execute();
            delete thread;
            FtpRunning = false;
        }).detach();
    } catch (...) {
        delete thread;
        FtpRunning = false;
        throw;
    }
    return true;
}

void TFTPLoaderThread::StopFtp() {
    if (FtpRunning) abortRequested = true;
}

bool TFTPLoaderThread::WaitForEnd(int maxMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (FtpRunning) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void TFTPLoaderThread::Log(const std::string& message) {
    // Texts from outside are cleaned where they come in; this is the last guard.
    const std::string& secret = FInfosServer.Password;
    const std::string text = secret.size() >= 4 ? WithoutPassword(message, secret) : message;
    FMessageLog = text;
    try {
        const TDateTime when = Now();
        const std::string line = FtpLogLine(static_cast<unsigned long>(gettid()), when, text);
        {
            std::lock_guard guard(LogLock);
            if (!PathLogs.empty()) {
                const std::string path = PathLogs + FtpLogFileNameFor(when);
                const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
                if (fd >= 0) {
                    const std::string whole = line + "\r\n";
                    const ssize_t n = ::write(fd, whole.data(), whole.size());
                    (void)n; // a line that cannot be written is lost
                    ::close(fd);
                }
            }
        }
        if (FInfosServer.RicheEdit) FInfosServer.RicheEdit(line);
    } catch (...) {
    }
}

void TFTPLoaderThread::Execute() {
    Log(kStartLine);
    try {
        FFtp = new TCurl;
        FFtp->Handle = curl_easy_init();
        if (!FFtp->Handle) throw EFtpFailure("The FTP library could not start a session");
        Upload();
        curl_easy_cleanup(FFtp->Handle); // QUIT
        FFtp->Handle = nullptr;
        Log("Disconnected !");
        Log(kStopLine);
    } catch (const std::exception& e) {
        Log(std::string("!! Failed !! -> [") + e.what() + "]");
        Log(kStopLine);
    } catch (...) {
        Log("!! Failed !! -> [unknown error]");
        Log(kStopLine);
    }
    delete FFtp;
    FFtp = nullptr;
    FInfosServer.LocalFiles.clear();
}

namespace {

// The callbacks reach the thread through these.
struct TCurlCallbacks {
    static int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user);
    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow);
    static size_t Read(char* buffer, size_t size, size_t count, void* user);
};

} // namespace

// What the callbacks see of the thread.
struct TUploadView {
    std::function<void(const std::string&)> Log;
    TFTPLoaderThread::TCurl* Curl;
};

int TCurlCallbacks::Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    if (type != CURLINFO_HEADER_IN) return 0; // commands sent (with the password) are never logged
    auto* view = static_cast<TUploadView*>(user);
    std::string reply(data, size);
    while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r'))
        reply.pop_back();
    if (reply.size() < 3) return 0;
    view->Curl->LastReply = reply;
    if (!view->Curl->LoggedIn && reply.compare(0, 3, "230") == 0) {
        view->Curl->LoggedIn = true;
        view->Log("Connected...");
    }
    return 0;
}

int TCurlCallbacks::Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulnow) {
    auto* view = static_cast<TUploadView*>(user);
    TFTPLoaderThread::TCurl& c = *view->Curl;
    if (abortRequested) {
        if (!c.AbortLogged) {
            c.AbortLogged = true;
            view->Log("Aborting...");
        }
        return 1;
    }
    if (c.InStore && ulnow > 0 && ulnow != c.LastProgress) {
        c.LastProgress = ulnow;
        view->Log(fmt::sprintf("FTP Write  transfering -> %d", static_cast<long long>(ulnow)));
    }
    return 0;
}

size_t TCurlCallbacks::Read(char* buffer, size_t size, size_t count, void* user) {
    auto* view = static_cast<TUploadView*>(user);
    FILE* source = view->Curl->Source;
    if (!source) return 0;
    const size_t n = std::fread(buffer, 1, size * count, source);
    if (n == 0 && std::ferror(source)) return CURL_READFUNC_ABORT;
    return n;
}

void TFTPLoaderThread::Upload() {
    const TInfosServer& in = FInfosServer;
    std::string remote = in.RemotePath;
    for (char& c : remote)
        if (c == '\\') c = '/';
    const TFtpHost host = ParseFtpHost(in.ServerName);
    const bool sftp = host.Protocol == TFtpHost::Kind::Sftp;

    TCurl& c = *FFtp;
    CURL* h = c.Handle;
    TUploadView view{[this](const std::string& line) { Log(line); }, &c};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, c.ErrorBuffer);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_USERNAME, in.UserName.c_str());
    curl_easy_setopt(h, CURLOPT_PASSWORD, in.Password.c_str());
    curl_easy_setopt(h, CURLOPT_VERBOSE, 1L); // for the server's replies, through the debug callback
    curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, &TCurlCallbacks::Debug);
    curl_easy_setopt(h, CURLOPT_DEBUGDATA, &view);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &TCurlCallbacks::Progress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &view);
    curl_easy_setopt(h, CURLOPT_READFUNCTION, &TCurlCallbacks::Read);
    curl_easy_setopt(h, CURLOPT_READDATA, &view);
    curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L); // binary
    curl_easy_setopt(h, CURLOPT_FTP_FILEMETHOD, static_cast<long>(CURLFTPMETHOD_SINGLECWD));
    // Passive: the client opens the data connection; active: the server does, to the address the
    // control connection uses.
    if (!in.PassiveModeEnabled) curl_easy_setopt(h, CURLOPT_FTPPORT, "-");
    const TFtpTimeouts& t = in.Timeouts;
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.ReadMs));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, static_cast<long>(WholeSeconds(t.ReadMs)));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(WholeSeconds(t.TransferMs)));
    // A server that keeps a transfer barely alive still cannot hold the upload (and with it every
    // later publication) for ever.
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(10) * std::max(t.TransferMs, t.ReadMs));
    if (host.Protocol == TFtpHost::Kind::Ftps)
        curl_easy_setopt(h, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (!in.VerifyPeer) {
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
        curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
    } else if (sftp) {
        if (const char* home = std::getenv("HOME"))
            curl_easy_setopt(h, CURLOPT_SSH_KNOWNHOSTS, (std::string(home) + "/.ssh/known_hosts").c_str());
    }

    // The server's reply when it refused, else what the library says.
    auto perform = [&](const std::string& url) {
        c.LastReply.clear();
        c.ErrorBuffer[0] = 0;
        curl_easy_setopt(h, CURLOPT_URL, url.c_str());
        return curl_easy_perform(h);
    };
    auto failure = [&](CURLcode rc) {
        const bool serverRefused = !c.LastReply.empty() && (c.LastReply[0] == '4' || c.LastReply[0] == '5') &&
                                   rc != CURLE_OPERATION_TIMEDOUT && rc != CURLE_ABORTED_BY_CALLBACK &&
                                   rc != CURLE_COULDNT_CONNECT;
        const std::string text = serverRefused
                                     ? c.LastReply
                                     : std::string(c.ErrorBuffer[0] ? c.ErrorBuffer : curl_easy_strerror(rc));
        return WithoutPassword(text, in.Password);
    };
    auto check = [&](CURLcode rc) {
        if (rc != CURLE_OK) throw EFtpFailure(failure(rc));
    };

    Log("Trying to Connect to : " + HostForLog(in.ServerName));
    if (!host.Error.empty()) throw EFtpFailure(host.Error);
    const std::string origin =
        std::string(sftp ? "sftp://" : "ftp://") + host.Host + ":" + std::to_string(host.Port);
    // FTP paths are relative to the login folder unless they start with '/'; SFTP paths are
    // absolute, "~" being the login folder.
    const std::string loginFolder = sftp ? "/~/" : "/";
    curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    check(perform(origin + loginFolder)); // connect and log in
    if (!c.LoggedIn) {
        c.LoggedIn = true;
        Log("Connected...");
    }
    Log(fmt::sprintf("Connected (timeout transfert : %d sec , readtimeout : %d sec)",
                     WholeSeconds(t.TransferMs), WholeSeconds(t.ReadMs)));
    Log(in.PassiveModeEnabled ? "FTP Passive" : "FTP Active");

    std::string folder; // the remote folder, ending with '/' (empty: the login folder)
    if (!remote.empty()) {
        Log("Change dir to \"" + remote + "\"");
        folder = remote;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        if (folder != "/") folder += '/';
        check(perform(origin + (sftp ? (folder[0] == '/' ? "" : "/~/") : "/") + EscapePath(folder)));
        Log("Change dir OK !");
    }
    const std::string folderUrl =
        origin + (sftp ? (!folder.empty() && folder[0] == '/' ? "" : "/~/") : "/") + EscapePath(folder);

    curl_easy_setopt(h, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(h, CURLOPT_UPLOAD, 1L);
    // One store: the file under `name`, with these commands after it.
    auto store = [&](const std::string& path, const std::string& name,
                     const std::vector<std::string>& after) {
        c.Source = std::fopen(path.c_str(), "rb");
        if (!c.Source) throw EFtpFailure("Cannot read " + path + " : " + std::strerror(errno));
        struct stat st {};
        ::fstat(fileno(c.Source), &st);
        curl_easy_setopt(h, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(st.st_size));
        curl_slist* commands = nullptr;
        for (const auto& command : after)
            commands = curl_slist_append(commands, command.c_str());
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, commands);
        Log(fmt::sprintf("FTP Write  Work begin event -> %d", static_cast<long long>(st.st_size)));
        c.InStore = true;
        c.LastProgress = -1;
        const CURLcode rc = perform(folderUrl + EscapePath(name));
        c.InStore = false;
        curl_easy_setopt(h, CURLOPT_POSTQUOTE, nullptr);
        curl_slist_free_all(commands);
        std::fclose(c.Source);
        c.Source = nullptr;
        Log("FTP Write  work end");
        return rc;
    };
    auto quoted = [](const std::string& path) { return "\"" + path + "\""; };

    for (const std::string& path : in.LocalFiles) {
        if (!IsRegularFile(path)) {
            Log("Fichier local [ " + path + "] n'existe pas !");
            continue;
        }
        Log("Putting file -> \"" + path + "\"");
        const std::string name = BaseName(path);
        const std::string part = name + kPartSuffix;
        std::vector<std::string> rename;
        if (sftp)
            // An SFTP rename does not replace an existing file: the old picture goes first.
            rename = {"*rm " + quoted(folder + name),
                      "rename " + quoted(folder + part) + " " + quoted(folder + name)};
        else
            rename = {"RNFR " + part, "RNTO " + name};
        const CURLcode rc = store(path, part, rename);
        if (rc == CURLE_QUOTE_ERROR) {
            // The picture arrived whole under its temporary name, but the server would not rename it.
            Log("Rename refused (" + failure(rc) + "), the file is stored directly under its name");
            check(store(path, name, {sftp ? "*rm " + quoted(folder + part) : "*DELE " + part}));
        } else
            check(rc);
        Log("Ok, file put !");
    }
}
