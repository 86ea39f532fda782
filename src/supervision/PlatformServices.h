// What the desktop offers the controller: starting a program, playing a sound, opening a folder in
// the file manager, and the single-instance check. Qt-based; used from the main thread.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QLocalServer;

// Starts the program of a configured command line (never through a shell), in its own folder.
// An empty or too short line does nothing. Raises EOrvanelError with the user's text on failure.
void RunProgram(const std::string& commandLine);

// Plays a WAV file without waiting; a missing file or an absent sound device is silent.
// May be called from any thread.
void PlaySoundFile(const std::string& fileName);

// Opens the folder in the desktop's file manager; problems are shown to the user.
void OpenFolderInExplorer(const std::string& folder);

// One instance per user session, unless the user asks for another. The instance that registered
// last listens for a second start's request to show its window.
class TSingleInstance : public QObject {
    Q_OBJECT
  public:
    // serverName: the per-user name both instances agree on.
    explicit TSingleInstance(QObject* parent = nullptr, const QString& serverName = DefaultServerName());
    ~TSingleInstance() override;

    // True: go on (first instance, or the user asked for another one). False: an earlier instance
    // was asked to show itself and this one must end (exit code 0).
    bool CheckSingleInstance();

    static QString DefaultServerName();

  signals:
    // A later start asked this instance to restore and raise its window.
    void showRequested();

  private:
    bool Register();
    bool AskRunningInstanceToShow();

    QString serverName_;
    std::unique_ptr<QLocalServer> server_;
};
