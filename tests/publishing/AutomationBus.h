// A private session bus per test and an independent client (python-dbus) to talk to the server.
// The server runs in this, the main thread: while a client runs, the event loop keeps serving.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>

#include "TestSupport.h"

// The Python interpreter that has the dbus module; empty when none has.
QString PythonWithDbus();

// The outcome of one client run: its result, or the D-Bus error it met.
struct ClientAnswer {
    QJsonValue Result;
    QString Error;  // D-Bus error name; empty on success
    QString Output; // the raw output, for failure messages
};

class PrivateBusTest : public SandboxTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Starts dbus-daemon --session; its services folders follow the sandbox's XDG_DATA_HOME.
    void StartBus();
    // Runs the client on the bus while serving this thread's events.
    ClientAnswer Client(const QStringList& args);
    const QString& Address() const { return address_; }

    QProcess daemon_;
    QString address_;
};
