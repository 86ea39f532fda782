// TFormWebSetup, the web-publishing dialog ("Configuration de la publication Web"): the FTP server,
// the upload interval, the JPEG quality and the sizes of the snapshot images, the server certificate
// check and the page sent with the pictures. On "Ok" every field is checked first; then the fifteen
// settings are stored together and the FTP timer takes the interval.
#pragma once

#include <functional>
#include <QDialog>
#include <QSize>

#include "DialogTexts.h"
#include "Records.h"
#include "SettingBindings.h"

class QLabel;
class QSlider;
class Supervisor;
class TNumberEdit;

// The on-screen sizes of the plots the snapshots copy: the light plot (all time-series graphs), the
// wind-speed plot, and the side of the wind dial.
struct TPlotSizes {
    QSize AllGraphs;
    QSize WindSpeed;
    int WindDir = 0;
};

class TFormWebSetup : public QDialog {
    Q_OBJECT
  public:
    // plotSizes: the plots' sizes on the screen; without it the stored snapshot sizes stand for them.
    TFormWebSetup(Supervisor& supervisor, std::function<TPlotSizes()> plotSizes = {},
                  QWidget* parent = nullptr);

    void RetranslateUi();

  public slots:
    void accept() override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void ShowJpegText();

    Supervisor& supervisor_;
    TDialogTexts texts_;
    TSettingBindings bindings_;
    TSetupInfos shown_;
    // The current on-screen sizes (the main window's plots when it has them).
    int LX_AllGraphs = 0, LY_AllGraphs = 0, LX_GraphWindSpeed = 0, LY_GraphWindSpeed = 0, L_GraphWindDir = 0;
    QSlider* TrackBarJpegCompress = nullptr;
    QLabel* StaticTextJpeg = nullptr;
};

// The menu "Publication Web": the dialog, window-modal, without blocking the program.
void OpenWebSetupDialog(Supervisor& supervisor, std::function<TPlotSizes()> plotSizes, QWidget* parent);
