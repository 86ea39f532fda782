#include "FtpTestServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#ifndef FTP_SERVER_SCRIPT
#error "FTP_SERVER_SCRIPT names tests/publishing/ftp_server.py"
#endif

namespace {

bool RunQuietly(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

} // namespace

std::string PythonWithPyftpdlib() {
    for (const char* candidate : {"/usr/bin/python3", "python3"})
        if (RunQuietly(std::string(candidate) + " -c 'import pyftpdlib'")) return candidate;
    return {};
}

bool MakeSelfSignedCertificate(const std::string& folder, std::string& certFile, std::string& keyFile) {
    certFile = folder + "server.crt";
    keyFile = folder + "server.key";
    return RunQuietly("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout '" +
                      keyFile + "' -out '" + certFile + "'");
}

TFtpTestServer::TFtpTestServer(TFtpServerOptions options) : options_(std::move(options)) {
    const std::string python = PythonWithPyftpdlib();
    if (python.empty()) {
        problem_ = "python3 with pyftpdlib (python3-pyftpdlib) is missing";
        return;
    }
    std::filesystem::create_directories(options_.Home);
    std::vector<std::string> args = {python,   FTP_SERVER_SCRIPT,   "--home",     options_.Home,
                                     "--user", options_.User,       "--password", options_.Password,
                                     "--perm", options_.Permissions};
    if (options_.EchoPassword) args.push_back("--echo-password");
    if (!options_.CertFile.empty())
        for (const std::string& a :
             {std::string("--certfile"), options_.CertFile, std::string("--keyfile"), options_.KeyFile})
            args.push_back(a);
    int out[2];
    if (::pipe(out) != 0) {
        problem_ = "pipe failed";
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM); // never outlives a crashed test
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    // The first line is the port; a server that does not start within 20 s is a failure.
    std::string line;
    pollfd p{out[0], POLLIN, 0};
    char c = 0;
    while (::poll(&p, 1, 20000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
        line += c;
    ::close(out[0]);
    port_ = std::atoi(line.c_str());
    if (port_ <= 0) problem_ = "the FTP server did not start (printed \"" + line + "\")";
}

TFtpTestServer::~TFtpTestServer() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
}

TSilentServer::TSilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return;
    port_ = ntohs(address.sin_port);
}

TSilentServer::~TSilentServer() {
    if (fd_ >= 0) ::close(fd_);
}
