// FTP publishing as a service: every "intervallSec" seconds, when publishing is enabled, the
// snapshots are drawn (by the view that owns the graphs) and sent with the index page by an upload
// thread; at most one upload runs. Lives on the main thread.
#pragma once

#include <cstdint>
#include <functional>
#include <QObject>
#include <QTimer>
#include <string>

#include "DateTime.h"
#include "FtpLoader.h"
#include "Service.h"

class TFtpPublishing : public QObject, public TService {
    Q_OBJECT
  public:
    // message: shows a failure of a tick to the user (and logs it).
    TFtpPublishing(TFtpTimeouts timeouts, std::function<void(const std::string&)> message,
                   QObject* parent = nullptr);

    std::string Name() const override { return "FTP"; }
    // Starts the timer at the stored interval.
    bool Start(std::string& error) override;
    // Stops the timer and aborts an upload still running (within a second), waiting at most 3 s.
    void Stop() override;
    void OnReading(const TcapteursInfos&, const TConditions&) override {}
    void OnLinkState(bool) override {}

    // Each tick renders the publishing snapshots and starts an upload, unless one still runs.
    void TimerFTPTimer();
    // The upload interval in seconds; 0 stops the timer. Set at start from "intervallSec", and by
    // the web-publishing dialog when it is confirmed.
    void SetFtpInterval(uint32_t seconds);
    bool FtpTimerActive() const { return timer_.isActive(); }
    int FtpTimerIntervalMs() const { return timer_.interval(); }
    // Writes the publishing snapshots into PathJpeg at the quality given (1 to 100); raises on failure.
    // Set by the view that owns the graphs; without one the upload sends whatever files are there.
    void SetPublishSnapshots(std::function<void(int quality)> render) { publishSnapshots_ = std::move(render); }
    // Start of the current FTP wait or upload.
    TDateTime DateStartFTP() const { return dateStartFTP_; }
    // What the status bar adds after the number of points: empty when publishing is off, else
    // "   Transfert FTP en cours (...)" or "   Transfert FTP en attente (...)".
    std::string FtpStatusText() const;

  private:
    TFtpTimeouts timeouts_;
    std::function<void(const std::string&)> message_;
    std::function<void(int)> publishSnapshots_;
    QTimer timer_;
    TDateTime dateStartFTP_ = 0;
};
