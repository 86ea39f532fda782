// What the status lines show, in one small model that the window and the headless writer read: the
// panel of the station link ("Etat communication RS232"), the three status bar panels and the
// memory download progress. Each text is made when it is set and made again after a language switch.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <QObject>
#include <string>

// The state panel of the station link.
struct TStatusDisplay {
    std::string Text; // at most 80 characters, longer ones shortened
    bool IsError = false;
    std::string Hint; // "Affiché à " + date and time
};

// Memory download progress.
struct TDownloadProgress {
    uint32_t Done = 0;
    uint32_t Total = 0;
    std::string Text; // "Récupère les donnée(s) EEPROM Halvex : 10/250"; empty when no download runs
};

class TStatusModel : public QObject {
    Q_OBJECT
  public:
    // headless: the texts of the link panel also go to standard error.
    explicit TStatusModel(bool headless, QObject* parent = nullptr) : QObject(parent), headless_(headless) {}

    const TStatusDisplay& Status() const { return status_; }
    // 0 the station version, 1 display range or memory count, 2 points / FTP / download.
    const std::array<std::string, 3>& Panels() const { return panels_; }
    const TDownloadProgress& Download() const { return download_; }

    // Puts a text in the link panel (red when isError); a text longer than 80 characters is shown as
    // "...." and its first 70. Headless: also on standard error when it changed, or is an error.
    void ShowStatus(const std::string& text, bool isError);
    void ClearStatus();
    void SetPanel(int panel, const std::string& text);
    // The text is made now and again after a language switch.
    void SetPanel(int panel, std::function<std::string()> make);
    // The panels made again in the language of the moment.
    void Retranslate();

    // ---- The texts of the cycle ----
    // The station's version and memory fill, after a version order.
    void ShowVersion(const std::string& version, std::optional<int32_t> memoryAddress);
    void ShowDisplayRange(double days);
    void ShowDownloadProgress(uint32_t done, uint32_t total);
    // A download that ended (or failed) closes its progress.
    void EndDownload();
    // The number of records held, followed by what the publisher adds (SetCountSuffix).
    void ShowRecordCount(int count);
    void SetCountSuffix(std::function<std::string()> suffix) { countSuffix_ = std::move(suffix); }
    // The headless writer's line of the states, on standard error when it differs from the last one.
    void PrintStatesLine(const std::string& states);

  signals:
    void statusChanged();
    void statusBarChanged(int panel);
    void downloadProgressChanged();

  private:
    bool headless_;
    TStatusDisplay status_;
    std::array<std::string, 3> panels_;
    std::array<std::function<std::string()>, 3> makers_;
    TDownloadProgress download_;
    std::function<std::string()> countSuffix_;
    std::string lastStates_;
};
