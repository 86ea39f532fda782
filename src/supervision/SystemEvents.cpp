#include "SystemEvents.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fmt/format.h>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <unistd.h>

#include "Log.h"
#include "PlatformServices.h"

namespace {

int signalPipe[2] = {-1, -1};

void OnPosixSignal(int number) {
    const char byte = static_cast<char>(number);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

TSystemEvents::TSystemEvents(bool headless, QObject* parent) : QObject(parent), headless_(headless) {}

TSystemEvents::~TSystemEvents() {
    if (signalNotifier_) {
        for (int s : {SIGINT, SIGTERM, SIGHUP})
            std::signal(s, SIG_DFL);
    }
    ReleaseSleepInhibitor();
}

bool TSystemEvents::CheckSingleInstance() {
    if (!instance_) {
        instance_ = new TSingleInstance(this);
        connect(instance_, &TSingleInstance::showRequested, this, &TSystemEvents::showRequested);
    }
    return instance_->CheckSingleInstance();
}

void TSystemEvents::InstallSignalHandlers() {
    if (signalNotifier_) return;
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        LogToday("No signal pipe: SIGINT and SIGTERM end the program without saving");
        return;
    }
    signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, &TSystemEvents::OnSignal);
    struct sigaction action {};
    action.sa_handler = OnPosixSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

void TSystemEvents::OnSignal() {
    char byte = 0;
    int number = 0;
    while (::read(signalPipe[0], &byte, 1) == 1)
        number = byte;
    LogToday(fmt::format("Signal {} received -> closing application and saving datas", number));
    if (headless_)
        std::fprintf(stderr,
                     "Signal %d: closing (history saved; station clock set once its memory is stored)...\n",
                     number);
    emit closeRequested();
}

void TSystemEvents::WatchSessionEnd() {
    if (auto* gui = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) {
            LogToday("The desktop session is ending -> closing application and saving datas");
            LogToday("");
            emit closeRequested();
        });
}

void TSystemEvents::WatchSuspend() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        LogToday("No system bus: suspend and resume are not watched");
        return;
    }
    const bool ok =
        bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                    "PrepareForSleep", this, SLOT(onPrepareForSleep(bool)));
    if (!ok) {
        LogToday("logind not reachable: suspend and resume are not watched");
        return;
    }
    TakeSleepInhibitor();
}

void TSystemEvents::TakeSleepInhibitor() {
    if (inhibitorFd_) return;
    QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", QDBusConnection::systemBus());
    QDBusReply<QDBusUnixFileDescriptor> reply = manager.call(
        "Inhibit", "sleep", "Orvanel", "Saving the history and setting the station clock", "delay");
    if (!reply.isValid()) {
        LogToday("No sleep inhibitor: " + reply.error().message().toStdString());
        return;
    }
    const int fd = ::dup(reply.value().fileDescriptor());
    if (fd >= 0) inhibitorFd_ = fd;
}

void TSystemEvents::ReleaseSleepInhibitor() {
    if (!inhibitorFd_) return;
    ::close(*inhibitorFd_);
    inhibitorFd_.reset();
}

void TSystemEvents::onPrepareForSleep(bool start) {
    if (start) {
        emit suspending();
        ReleaseSleepInhibitor(); // the machine may sleep now
    } else {
        emit resumed();
        TakeSleepInhibitor();
    }
}
