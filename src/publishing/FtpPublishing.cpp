#include "FtpPublishing.h"

#include <algorithm>
#include <fmt/printf.h>

#include "ConditionTexts.h"
#include "IndexPage.h"
#include "Log.h"
#include "Records.h"
#include "UserText.h"
#include "Utilities.h"

TFtpPublishing::TFtpPublishing(TFtpTimeouts timeouts, std::function<void(const std::string&)> message,
                               QObject* parent)
    : QObject(parent), timeouts_(timeouts), message_(std::move(message)), dateStartFTP_(Now()) {
    connect(&timer_, &QTimer::timeout, this, &TFtpPublishing::TimerFTPTimer);
}

bool TFtpPublishing::Start(std::string&) {
    dateStartFTP_ = Now();
    SetFtpInterval(SetupInfos.SetupWebPublish.IntervallSec);
    return true;
}

void TFtpPublishing::Stop() {
    timer_.stop();
    if (FtpRunning) {
        TFTPLoaderThread::StopFtp();
        if (!TFTPLoaderThread::WaitForEnd(3000)) LogToday("FTP upload still running at closing");
    }
}

void TFtpPublishing::SetFtpInterval(uint32_t seconds) {
    SetupInfos.SetupWebPublish.IntervallSec = seconds;
    if (seconds == 0) {
        timer_.stop();
        return;
    }
    timer_.start(static_cast<int>(std::min<int64_t>(int64_t{seconds} * 1000, INT32_MAX)));
}

std::string TFtpPublishing::FtpStatusText() const {
    if (!SetupInfos.SetupWebPublish.Enabled) return {};
    const double seconds = std::max(0.0, (Now() - dateStartFTP_) * 86400.0);
    return (FtpRunning ? Tr("MainForm", "   Transfert FTP en cours (")
                       : Tr("MainForm", "   Transfert FTP en attente (")) +
           DurationText(seconds) + ")";
}

void TFtpPublishing::TimerFTPTimer() {
    const TSetupWebPublish& web = SetupInfos.SetupWebPublish;
    try {
        if (web.Enabled && !FtpRunning) {
            const int quality = web.CompressionLevelJPEG;
            if (quality < 1 || quality > 100)
                throw EOrvanelError(
                    fmt::sprintf(Tr("MainForm", "Qualité JPEG hors limites (1 à 100) : %d"), quality));
            if (publishSnapshots_) publishSnapshots_(quality);
            TInfosServer infos;
            for (const char* name : PublishedPictureNames)
                infos.LocalFiles.push_back(PathJpeg + name);
            if (web.IndexPage) {
                WriteIndexPage(PathJpeg + IndexPageFileName, web.IntervallSec);
                infos.LocalFiles.push_back(PathJpeg + IndexPageFileName);
            }
            infos.ServerName = web.HostName;
            infos.UserName = web.login;
            infos.Password = web.PassWord;
            infos.RemotePath = web.RemotePath;
            infos.PassiveModeEnabled = web.PassiveFTP;
            infos.VerifyPeer = web.VerifyPeer;
            infos.Timeouts = timeouts_;
            const TDateTime start = Now();
            if (TFTPLoaderThread::Start(std::move(infos))) dateStartFTP_ = start;
        } else if (FtpRunning)
            LogToday("Ftp process already started : " + DateTimeText(dateStartFTP_));
    } catch (const std::exception& e) {
        const std::string text = std::string("TimerFTPTimer -> ") + e.what();
        LogToday(text);
        if (message_) message_(text);
    }
}
