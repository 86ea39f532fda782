// A real FTP server for the upload tests: pyftpdlib on a free loopback port, with one user and a
// home folder, started for one test and stopped with it.
#pragma once

#include <string>
#include <sys/types.h>

struct TFtpServerOptions {
    std::string Home; // the user's folder, created when missing
    std::string User = "observer";
    std::string Password = "n1ghtSky!";
    std::string Permissions = "elradfmw"; // pyftpdlib's letters; without "f" a rename is refused
    std::string CertFile, KeyFile;        // FTP over explicit TLS when set
    bool EchoPassword = false;            // refuses every login, quoting the password it was sent
};

class TFtpTestServer {
  public:
    explicit TFtpTestServer(TFtpServerOptions options);
    ~TFtpTestServer();
    TFtpTestServer(const TFtpTestServer&) = delete;
    TFtpTestServer& operator=(const TFtpTestServer&) = delete;

    // Why the server could not start (pyftpdlib missing ...); empty when it runs.
    const std::string& Problem() const { return problem_; }
    int Port() const { return port_; }
    // "127.0.0.1:port"
    std::string HostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    const TFtpServerOptions& Options() const { return options_; }

  private:
    TFtpServerOptions options_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string problem_;
};

// The python interpreter that has pyftpdlib, or empty.
std::string PythonWithPyftpdlib();

// A self-signed certificate and its key for "127.0.0.1" made with openssl in folder; false when
// openssl is missing or fails.
bool MakeSelfSignedCertificate(const std::string& folder, std::string& certFile, std::string& keyFile);

// A port on loopback that accepts connections (the kernel completes them) and never answers: a
// server that has stopped answering.
class TSilentServer {
  public:
    TSilentServer();
    ~TSilentServer();
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;
    int Port() const { return port_; }

  private:
    int fd_ = -1;
    int port_ = 0;
};
