// The holder of the station link: the serial object that every command list uses, opened on the
// configured port (never in simulation mode, where the lists answer the reading commands
// themselves), closed, reopened, and kept alive for a list that outlives the controller.
#pragma once

#include <functional>
#include <memory>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "ThreadCommunicate.h"

class TCycleHost;

class TStationLinkHolder {
  public:
    TStationLinkHolder();
    ~TStationLinkHolder();
    TStationLinkHolder(const TStationLinkHolder&) = delete;
    TStationLinkHolder& operator=(const TStationLinkHolder&) = delete;

    // Creates the serial object (closed). Lists started before have no port and fail at once.
    void Create();
    bool Exists() const { return port_ != nullptr; }
    bool IsOpen() const;
    // Opens the configured port (a device name wins over the COM number); throws with the reason.
    // In simulation mode nothing is opened.
    void Open(const TSetupInfos_Hardware& hw);
    void CloseIfOpen();
    // Closes the port, then frees the serial object unless a list still uses it: such a list keeps
    // it until the process ends (Abandon).
    void Destroy(bool listsRunning);
    // A list still runs after its owner has gone: the serial object is left to it.
    void Abandon();

    // The port as users name it: the device path, or the device of the COM number.
    static std::string DeviceText(const TSetupInfos_Hardware& hw);
    // The text after "Opened COM" in the log.
    static std::string OpenedText(const TSetupInfos_Hardware& hw);

    // A self-freeing list whose reports and completion go through the dispatcher.
    TThread_Communicate* NewList(std::vector<Tcommand> commands, TComListener* listener,
                                 TCompletionDispatcher* dispatcher);
    // Runs a list on its own thread, waits for it and applies its report here.
    void RunAndWait(std::vector<Tcommand> commands);

  private:
    std::unique_ptr<TComObjRs232> port_;
};

// The healing of the station link, for a machine left alone for months: a start-up (or resume) that
// failed is tried again after a pause; a port that went away, or on which too many weather readings
// in a row failed, is closed and reopened by its configured name (so a symbolic link that now points
// at another device is followed) until the station answers again; what the station recorded in its
// memory meanwhile is then downloaded before the readings go on.
struct THealingPauses {
    int StartupRetryMs = 60000;
    int ReopenMs = 30000;
    int FailedReadingsBeforeReopen = 3;
};

class TLinkHealing : public QObject {
    Q_OBJECT
  public:
    TLinkHealing(TCycleHost& host, TStationLinkHolder& link, THealingPauses pauses, QObject* parent = nullptr);

    bool LinkLost() const { return linkLost_; }
    bool StartupRetryPending() const { return startupRetry_.isActive(); }
    // A retry is under way: its failure is not shown as a message again.
    bool Retrying() const { return startupRetries_ > 0; }

    // The start-up (or resume) failed: tried again after the pause.
    void ScheduleStartupRetry(const std::string& error);
    // It came through: whatever healing was under way ends.
    void StartupSucceeded();
    void ReadingSucceeded() { failedReadings_ = 0; }
    void ReadingFailed(const TThread_Communicate& thread);
    // Closing, suspend: no retry, no reopen.
    void Stop();

  signals:
    // The port was found lost (true), or reopened with the station answering again (false).
    void linkChanged(bool lost);

  private:
    void RetryStartup();
    void OnLinkLost(const std::string& reason);
    void ReopenPort();
    void AfterReopen(TThread_Communicate& thread);
    void ShowLinkLost();
    std::string DeviceText() const;

    TCycleHost& host_;
    TStationLinkHolder& link_;
    THealingPauses pauses_;
    QTimer startupRetry_, reopen_; // single shots
    int startupRetries_ = 0, reopenAttempts_ = 0, failedReadings_ = 0;
    bool linkLost_ = false;
};
