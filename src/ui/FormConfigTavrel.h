// TFormConfigTavrel, the settings dialog ("Configuration"): the station link, the station's own
// set-up, the output files, the display, the log, the roof-closing criteria and the thresholds.
// Its fields are bound to the rows of the settings table; on "Ok" every field is checked first and
// the dialog closes only when all of them are valid, so a bad entry stores nothing.
#pragma once

#include <functional>
#include <QDialog>
#include <QString>
#include <vector>

#include "DialogTexts.h"
#include "Records.h"
#include "SettingBindings.h"
#include "SettingsTable.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QTabWidget;
class QWidget;
class Supervisor;
class TNumberEdit;
struct TSettingRow;

class TFormConfigTavrel : public QDialog {
    Q_OBJECT
  public:
    // Filled at once from what the controller shows (ConfigurationShown and its round trip).
    TFormConfigTavrel(Supervisor& supervisor, QWidget* parent = nullptr);
    ~TFormConfigTavrel() override;

    // After "Ok": every setting of the dialog, and the overall IR gain typed.
    const TSetupInfos& Chosen() const { return chosen_; }
    // After "Ok": the MQTT tab's settings (stored by the caller, in force at the next start).
    const TMqttSettings& ChosenMqtt() const { return mqttChosen_.Mqtt; }
    uint16_t Gain() const { return gain_; }
    // The settings whose value the program wrote into its field and the user left as it was.
    const std::vector<const TSettingRow*>& WrittenByProgram() const { return writtenByProgram_; }
    // Checks every field into a copy of the settings; false with the message and the field at fault
    // (the dialog shows both when "Ok" is pressed).
    bool CollectFields(QString& message, QWidget*& field);

    // The file choosers (sounds, program, one-line file); tests replace them. save: a file to write.
    std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                          const QString& filter, bool save)>
        FileChooser;

    // The tab shown first: "Config Halvex".
    static constexpr int ConfigHalvexTab = 1;
    QTabWidget* Tabs() const { return tabs_; }

    void RetranslateUi();

  public slots:
    void accept() override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    using Bound = TSettingBindings::Bound;

    QWidget* BuildConnectivity();
    QWidget* BuildConfigHalvex();
    QWidget* BuildOutputFiles();
    QWidget* BuildDisplays();
    QWidget* BuildLogs();
    QWidget* BuildCriteria();
    QWidget* BuildThresholds();
    QWidget* BuildMqtt();
    QLabel* Caption(const char* source);
    TNumberEdit* Number(const char* name, const char* group, const char* key, const char* format,
                        bool real = false);
    void Bind(const TSettingRow* row, QWidget* widget, Bound kind, const char* format = nullptr,
              std::vector<double> values = {}, int otherwise = 0);
    void Fill();
    void FillStationTexts();
    void UpdateAutonomy();
    void UpdateCriteriaState();
    void ChooseSound(QLineEdit* edit, std::string TSetupInfos::*setting, bool program);
    void ClearSound(QLineEdit* edit, std::string TSetupInfos::*setting);
    void ChooseConditionFile();
    void ComputeDarkCurrent();

    Supervisor& supervisor_;
    TDialogTexts texts_;
    TSetupInfos shown_;  // what the dialog was filled with
    TSetupInfos chosen_; // what "Ok" accepted
    uint16_t gain_ = 0;
    TSettingBindings bindings_;
    TSettingBindings mqttBindings_; // the MQTT tab: rows of the start-up values
    TStartupSettings mqttShown_, mqttChosen_;

    QTabWidget* tabs_ = nullptr;
    QComboBox *ComboBoxInterval = nullptr, *ComboBoxDataREC = nullptr, *ComboBoxPortDevice = nullptr;
    QLabel *StaticTextDATAreg = nullptr, *StaticTextIntDate = nullptr, *StaticTextSecElapsed = nullptr,
           *LabelPath = nullptr;
    TNumberEdit *NumberEditGain_IR = nullptr, *NumberEditDCphoto = nullptr;
    QLineEdit* EditFileNameCS_sav = nullptr;
    QCheckBox *CheckBoxActiveAlarm = nullptr, *CheckBoxAlarm_dayNight = nullptr,
              *CheckBoxRearmRelay = nullptr;
    std::vector<QWidget*> criteriaWidgets_, magnitudeWidgets_;
    std::vector<const TSettingRow*> writtenByProgram_;
};

// The menu "Configuration": starts the round trip with the station; the dialog opens (window-modal,
// without blocking the program) once the station has answered or failed to, and its answer goes
// back to the controller. Does nothing while a round trip is under way.
void StartConfigurationDialog(Supervisor& supervisor, QWidget* parent);
