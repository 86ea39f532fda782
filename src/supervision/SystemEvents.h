// What the system tells the program, turned into signals on the main thread: SIGINT, SIGTERM and
// SIGHUP (through a self-pipe), logind's suspend and resume (holding a delay inhibitor so that the
// work before sleeping can finish), the end of the desktop session, and a later start of the program
// asking this one to show itself.
#pragma once

#include <optional>
#include <QObject>

class QSocketNotifier;
class TSingleInstance;

class TSystemEvents : public QObject {
    Q_OBJECT
  public:
    // headless: a signal is also announced on standard error.
    explicit TSystemEvents(bool headless, QObject* parent = nullptr);
    ~TSystemEvents() override;

    // False when another instance runs and was asked to show itself (this one must end).
    bool CheckSingleInstance();
    // Call once, from the main thread, in the program (tests do not).
    void InstallSignalHandlers();
    // Without a system bus or logind, logs why and does nothing.
    void WatchSuspend();
    void WatchSessionEnd();
    // Lets the machine sleep: the inhibitor is given back (at closing).
    void ReleaseSleepInhibitor();

  signals:
    // A signal, or the end of the session: close as the window's close button does, then quit.
    void closeRequested();
    // The machine is about to sleep: what must be done before has to be done when this returns.
    void suspending();
    void resumed();
    void showRequested();

  private slots:
    void onPrepareForSleep(bool start);

  private:
    void TakeSleepInhibitor();
    void OnSignal();

    bool headless_;
    TSingleInstance* instance_ = nullptr;
    QSocketNotifier* signalNotifier_ = nullptr;
    std::optional<int> inhibitorFd_;
};
