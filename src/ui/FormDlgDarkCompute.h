// TFormDlgDarkCompute: measures the photodiode's dark current. The user masks the photodiode and
// presses "Démarrer": one counter sample, a countdown (120 s), a second sample, and the count rate
// between them is offered back to the settings dialog. Closing the dialog while a sample is under
// way is safe: the sample's completion finds the dialog gone and does nothing.
#pragma once

#include <memory>
#include <QDialog>
#include <QTimer>

#include "DialogTexts.h"
#include "Records.h"

class QLabel;
class QPushButton;
class Supervisor;

struct TDarkComputeTiming {
    int Seconds = 120; // between the two samples
    int TickMs = 1000; // one step of the countdown (tests shorten it)
};

class TFormDlgDarkCompute : public QDialog {
    Q_OBJECT
  public:
    explicit TFormDlgDarkCompute(Supervisor& supervisor, QWidget* parent = nullptr,
                                 TDarkComputeTiming timing = {});
    ~TFormDlgDarkCompute() override;

    bool Completed() const { return completed_; }
    double ValueFinale() const { return valueFinale_; }
    bool CalibrationPending() const { return calibrationPending_; }
    // A sample has been asked for and has not come back yet.
    bool SampleRunning() const { return sampleRunning_; }
    // A message box of the dialog; tests replace it (the default shows a modal box).
    std::function<void(const QString&)> ShowMessage;

    void RetranslateUi();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void ButtonActionsClick();
    void TimerTick();
    void StartSample(bool first);
    void FirstSampleDone(const TCalibrationPD& sample, const std::string& error);
    void SecondSampleDone(const TCalibrationPD& sample, const std::string& error);
    void ClearValues();

    Supervisor& supervisor_;
    TDarkComputeTiming timing_;
    TDialogTexts texts_;
    QTimer Timer;
    uint16_t CptPose = 0;
    bool calibrationPending_ = false, completed_ = false, sampleRunning_ = false;
    double valueFinale_ = 0;
    TCalibrationPD CalibrationPD_deb, CalibrationPD_end;
    // Shared with the samples in flight: reset when the dialog goes, so their completion does nothing.
    std::shared_ptr<TFormDlgDarkCompute*> self_;

    QLabel *StaticTime = nullptr, *StaticTextcptdeb = nullptr, *StaticTextEndCpt = nullptr,
           *StaticTextDiff = nullptr, *StaticTextValueFinale = nullptr;
    QPushButton *ButtonActions = nullptr, *ButtonOkTerminate = nullptr;
};
