// What systemd learns from a monitor it started as a notify service: READY once start-up has ended
// (or waits for its retry), WATCHDOG pings from the main loop, the status line, more time while a
// long history load or station memory download progresses, and STOPPING at close. Nothing at all
// when systemd did not start the program (no NOTIFY_SOCKET).
#pragma once

#include <QObject>

class Supervisor;

class TServiceManagerNotifier {
  public:
    // Follows the controller from now on; create it before Supervisor::Start.
    explicit TServiceManagerNotifier(Supervisor& supervisor);
    // After Supervisor::Start: a start-up that failed at once and waits for its retry is running too.
    void AfterStart();

  private:
    void TellReady();

    Supervisor& supervisor_;
    // Receiver of every connection and parent of the watchdog timer: none outlives this object.
    QObject context_;
    bool active_ = false;
    bool ready_ = false;
};
