// The settings dialogs against the controller polling the simulated station on a pseudo-terminal:
// the round trip (what the dialog shows, what confirming sends and stores, what cancelling keeps),
// the web-publishing dialog through the settings store, the dark-current calibration, and the
// numeric field's own check when it is left.
#include <gtest/gtest.h>

#include <fmt/printf.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>

#include "Conversions.h"
#include "DatabaseRegistry.h"
#include "FormConfigTavrel.h"
#include "FormDlgDarkCompute.h"
#include "FormWebSetup.h"
#include "FtpPublishing.h"
#include "NumberEdit.h"
#include "SettingsTable.h"
#include "SupervisedStation.h"

namespace {

QString Q(const char* s) {
    return QString::fromUtf8(s);
}

// Reads one stored value as text (empty when absent).
std::string Stored(const char* group, const char* key) {
    std::string value;
    DatabaseRegistry().ReadValueRegisterDFset(group, value, key, varString);
    return value;
}
double StoredNumber(const char* group, const char* key) {
    double value = -9999;
    DatabaseRegistry().ReadValueRegisterDFset(group, value, key, varDouble);
    return value;
}

class SettingsDialogTest : public SupervisedStationTest {
  protected:
    void TearDown() override {
        parent_.reset();
        SupervisedStationTest::TearDown();
    }

    void StartWithStation(halvex::sim::StationOptions options = {}) {
        StartStation(options);
        CreateSupervisor(station_->DevicePath(), false);
        QObject::connect(supervisor_.get(), &Supervisor::configurationWritten,
                         [this](bool ok) { written_ = ok ? 1 : -1; });
        StartAndWait();
        ASSERT_EQ(startup_, 1);
        ASSERT_TRUE(supervisor_->CycleRunning());
    }

    // The menu "Configuration": the dialog, once the station has answered.
    TFormConfigTavrel* OpenDialog() {
        parent_ = std::make_unique<QWidget>();
        StartConfigurationDialog(*supervisor_, parent_.get());
        TFormConfigTavrel* dialog = nullptr;
        EXPECT_TRUE(
            WaitUntil([&] { return (dialog = parent_->findChild<TFormConfigTavrel*>()) != nullptr; }));
        return dialog;
    }

    template <typename T> T* Field(QWidget* dialog, const char* name) {
        T* field = dialog->findChild<T*>(name);
        EXPECT_NE(field, nullptr) << name;
        return field;
    }
    QString Text(QWidget* dialog, const char* name) { return Field<QLineEdit>(dialog, name)->text(); }
    void SetText(QWidget* dialog, const char* name, const char* text) {
        Field<QLineEdit>(dialog, name)->setText(Q(text));
    }

    void ConfirmAndWait(TFormConfigTavrel* dialog) {
        written_ = 0;
        dialog->accept();
        ASSERT_TRUE(WaitUntil([this] { return written_ != 0; }));
    }

    std::unique_ptr<QWidget> parent_;
    int written_ = 0;
};

TEST_F(SettingsDialogTest, ShowsTheStationsSetUp) {
    halvex::sim::StationOptions options;
    options.Criteria.DoWatch = true;
    options.Criteria.RhByte = 85;
    options.Criteria.WindKmh = 40;
    options.Criteria.Light = true;
    StartWithStation(options);
    Advance(3600);
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(dialog->Tabs()->currentIndex(), TFormConfigTavrel::ConfigHalvexTab);
    EXPECT_EQ(Field<QLabel>(dialog, "StaticTextIntDate")->text(), Q(DateTimeText(station_->Clock()).c_str()));
    EXPECT_NE(Field<QLabel>(dialog, "StaticTextSecElapsed")->text(), Q("??"));
    // The start-up set the station's interval to the stored one (60 s by default).
    EXPECT_EQ(Field<QComboBox>(dialog, "ComboBoxInterval")->currentText(), Q("1 minute"));
    EXPECT_EQ(Field<QLabel>(dialog, "StaticTextDATAreg")->text(), Q("5.4 Jours"));
    EXPECT_FALSE(Field<QCheckBox>(dialog, "CheckBoxForbideHeater")->isChecked());
    EXPECT_TRUE(Field<QCheckBox>(dialog, "CheckBoxActiveAlarm")->isChecked());
    EXPECT_EQ(Text(dialog, "EditSeuilTCclose"), Q("-10.0"));
    EXPECT_EQ(Text(dialog, "EditRHClose"), Q("85"));
    EXPECT_EQ(Text(dialog, "NumberEditWindClose"), Q("40"));
    EXPECT_TRUE(Field<QCheckBox>(dialog, "CheckBoxAlarm_dayNight")->isChecked());
    EXPECT_EQ(Text(dialog, "NumberEditMagnSeuil"),
              Q(fmt::sprintf("%1.1f", station_->Criteria().Magnitude()).c_str()));
    const auto gains = station_->IrGains();
    EXPECT_EQ(Text(dialog, "NumberEditGain_IR"),
              QString::number(std::lround(GainStage1(gains[0]) * GainStage2(gains[1]))));
    EXPECT_EQ(Text(dialog, "NumberEditDCphoto"), Q("0.00250"));
    EXPECT_EQ(Field<QSpinBox>(dialog, "SpinEditCOM")->value(), 1);
    // The device given on the command line serves this run only: the stored one (none) is shown.
    EXPECT_EQ(Field<QComboBox>(dialog, "ComboBoxPortDevice")->currentText(), QString());

    // The criteria fields follow the two check boxes.
    EXPECT_TRUE(Field<QLineEdit>(dialog, "EditRHClose")->isEnabled());
    Field<QCheckBox>(dialog, "CheckBoxAlarm_dayNight")->setChecked(false);
    EXPECT_FALSE(Field<QLineEdit>(dialog, "NumberEditMagnSeuil")->isVisibleTo(dialog));
    Field<QCheckBox>(dialog, "CheckBoxActiveAlarm")->setChecked(false);
    EXPECT_FALSE(Field<QLineEdit>(dialog, "EditRHClose")->isEnabled());
    dialog->reject();
}

TEST_F(SettingsDialogTest, ConfirmingSendsTheSetUpAndStoresEverySetting) {
    StartWithStation();
    ASSERT_NO_FATAL_FAILURE(WeatherReading());
    supervisor_->TimerLightTimer();
    ASSERT_NE(supervisor_->WeatherLabels().LastReading, "???");
    ASSERT_NE(supervisor_->LightLabels().Remaining, "???");
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    Field<QCheckBox>(dialog, "CheckBoxActiveAlarm")->setChecked(true);
    SetText(dialog, "EditSeuilTCclose", "-15.5");
    SetText(dialog, "EditRHClose", "80");
    SetText(dialog, "NumberEditWindClose", "6*5");                    // a formula is a number too
    Field<QComboBox>(dialog, "ComboBoxInterval")->setCurrentIndex(5); // "5 minutes"
    Field<QCheckBox>(dialog, "CheckBoxForbideHeater")->setChecked(true);
    SetText(dialog, "NumberEditSeuilCloudy", "-18");
    SetText(dialog, "NumberEditAutoSav", "45");
    Field<QComboBox>(dialog, "ComboBoxDataREC")->setCurrentIndex(0);
    Field<QSpinBox>(dialog, "SpinEditNbMonthData")->setValue(3);
    station_->ClearReceivedOrders();
    ConfirmAndWait(dialog);
    EXPECT_EQ(messages_,
              std::vector<std::string>{"Nombre de mois de données à charger a été changé : il faut "
                                       "redémarrer le logiciel pour la prise en compte de ce paramètre !"});
    EXPECT_EQ(StoredNumber(KeyConfig, "NbMonthtoLoad"), 3);

    EXPECT_EQ(written_, 1);
    const auto criteria = station_->Criteria();
    EXPECT_TRUE(criteria.DoWatch);
    EXPECT_NEAR(criteria.TempSky(), -15.5, 0.01);
    EXPECT_EQ(criteria.RhByte, 80);
    EXPECT_EQ(criteria.WindKmh, 30);
    EXPECT_EQ(station_->Interval(), 300);
    EXPECT_FALSE(station_->HeaterAllowed());
    // The unchanged gain is not sent.
    EXPECT_EQ(CountOrders(0x1E), 0);
    EXPECT_EQ(CountOrders(0x1D), 1);
    // The station reported its new set-up back.
    EXPECT_EQ(SetupInfos.RoofCloserCriterias.RH.Value, 80);
    EXPECT_EQ(SetupInfos.SetupInfos_HW.InterVal_Rec_EEPROM.Value, 300);

    EXPECT_EQ(StoredNumber(KeyCloseCriteria, "TempSky"), -15.5);
    EXPECT_EQ(StoredNumber(KeyCloseCriteria, "RH"), 80);
    EXPECT_EQ(StoredNumber(KeyCloseCriteria, "Wind"), 30);
    EXPECT_EQ(StoredNumber(KeyConfig, "InterVal_REC_EEP_sec"), 300);
    EXPECT_EQ(StoredNumber(KeyConfig, "SeuilCloudy"), -18);
    EXPECT_EQ(StoredNumber(KeyConfig, "IntSAVDATAS_Min"), 45);
    EXPECT_EQ(StoredNumber(KeyConfig, "UnderSampleDataFactor"), 1);
    EXPECT_EQ(SetupInfos.SeuilCloudy, -18);
    EXPECT_EQ(supervisor_->Published().Values().CloudyThreshT, -18);
    EXPECT_EQ(supervisor_->Status().Text, "Ok, paramètres de configuration envoyés au Halvex !");
    EXPECT_TRUE(supervisor_->CycleRunning());
    EXPECT_TRUE(supervisor_->PeriodicSaveRunning());
    // The reading times start again from nothing, with the intervals in force.
    for (const TReadingLabels* labels : {&supervisor_->WeatherLabels(), &supervisor_->LightLabels()}) {
        EXPECT_EQ(labels->Remaining, "???");
        EXPECT_EQ(labels->LastReading, "???");
    }
    EXPECT_EQ(supervisor_->WeatherLabels().Interval, "20 sec");
    WeatherReading();
}

// What the program itself put into a field (a stored value the field rounds, a measurement, what
// the station reports) is taken as it is, even outside the range a typed value must respect.
TEST_F(SettingsDialogTest, ValuesThatTheProgramWroteAreTakenAsTheyAre) {
    halvex::sim::StationOptions options;
    options.Criteria.WindKmh = 150; // beyond the 0 to 100 a user may type
    StartWithStation(options);
    SetupInfos.Disp_Gap_Display = 0.0003;               // shown "0.000"
    SetupInfos.SetupInfos_HW.OffsetLevelLight = 0.0095; // a calibration accepts up to 0.01
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Text(dialog, "NumberEditPixelGap"), Q("0.000"));
    EXPECT_EQ(Text(dialog, "NumberEditDCphoto"), Q("0.00950"));
    EXPECT_EQ(Text(dialog, "NumberEditWindClose"), Q("150"));
    QString message;
    QWidget* field = nullptr;
    ASSERT_TRUE(dialog->CollectFields(message, field)) << message.toStdString();
    ConfirmAndWait(dialog);
    EXPECT_EQ(written_, 1);
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(SetupInfos.Disp_Gap_Display, 0.0003);
    EXPECT_EQ(SetupInfos.SetupInfos_HW.OffsetLevelLight, 0.0095);
    EXPECT_EQ(SetupInfos.RoofCloserCriterias.Wind.DefaultValue, 150);
    EXPECT_EQ(station_->Criteria().WindKmh, 150);
    EXPECT_EQ(StoredNumber(KeyConfig, "GapPixel"), 0.0003);
    EXPECT_EQ(StoredNumber(KeyCloseCriteria, "Wind"), 150);

    // The same texts typed by the user are checked.
    dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const struct {
        const char* Field;
        const char* Text;
        const char* Message;
    } typed[] = {
        {"NumberEditPixelGap", "0.00001", "Nombre trop petit par rapport à  :0.0001"},
        {"NumberEditDCphoto", "0.0095", "Nombre trop grand par rapport à :0.008"},
        {"NumberEditWindClose", "151", "Nombre trop grand par rapport à :100"},
    };
    for (const auto& c : typed) {
        const QString shown = Text(dialog, c.Field);
        SetText(dialog, c.Field, c.Text);
        QString message;
        QWidget* field = nullptr;
        EXPECT_FALSE(dialog->CollectFields(message, field)) << c.Field;
        EXPECT_EQ(message, Q(c.Message)) << c.Field;
        SetText(dialog, c.Field, shown.toUtf8().constData());
    }
    dialog->reject();
}

TEST_F(SettingsDialogTest, ANewGainIsSentWithItsSecondStageCode) {
    StartWithStation();
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const int stage1 = station_->IrGains()[0];
    SetText(dialog, "NumberEditGain_IR", "600");
    station_->ClearReceivedOrders();
    ConfirmAndWait(dialog);
    EXPECT_EQ(written_, 1);
    ASSERT_EQ(CountOrders(0x1E), 1);
    EXPECT_EQ(station_->IrGains()[1], GainStage2_ToCode(600 / GainStage1(stage1)));
    EXPECT_EQ(station_->IrGains()[0], stage1);
}

TEST_F(SettingsDialogTest, CancellingChangesNothingButAChosenSoundStaysInUse) {
    StartWithStation();
    const std::string storedBefore = ReadWholeFile(DatabaseRegistry().FileName());
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    const TRoofCloserCriterias before = SetupInfos.RoofCloserCriterias;
    EXPECT_TRUE(supervisor_->CycleRunning()); // reading the station does not stop the measurement
    SetText(dialog, "EditRHClose", "12");
    Field<QSpinBox>(dialog, "SpinEditNbMonthData")->setValue(7);
    const std::string wav = Root() + "relay.wav";
    WriteWholeFile(wav, "RIFF");
    dialog->FileChooser = [&](QWidget*, const QString&, const QString&, const QString& filter, bool save) {
        EXPECT_FALSE(save);
        EXPECT_TRUE(filter.contains("*.wav"));
        return QString::fromStdString(wav);
    };
    Field<QPushButton>(dialog, "EditPlaySoundRelayChoose")->click();
    EXPECT_EQ(Text(dialog, "EditPlaySoundRelay").toStdString(), wav);
    station_->ClearReceivedOrders();
    dialog->reject();
    QApplication::processEvents();

    EXPECT_EQ(SetupInfos.Sound_at_RelayClose, wav);                        // used until the program ends ...
    EXPECT_EQ(ReadWholeFile(DatabaseRegistry().FileName()), storedBefore); // ... but not stored
    EXPECT_EQ(SetupInfos.RoofCloserCriterias.RH.DefaultValue, before.RH.DefaultValue);
    EXPECT_EQ(SetupInfos.NbMonthtoLoad, 1);
    EXPECT_EQ(CountOrders(0x32), 0);
    EXPECT_TRUE(supervisor_->CycleRunning());
    // The next round trip may start.
    EXPECT_NE(OpenDialog(), nullptr);
}

TEST_F(SettingsDialogTest, ABadFieldStoresNothingAndTheMeasurementGoesOn) {
    StartWithStation();
    const std::string storedBefore = ReadWholeFile(DatabaseRegistry().FileName());
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    SetText(dialog, "NumberEditSeuilCloudy", "-12");
    const struct {
        const char* Field;
        const char* Text;
        const char* Message;
    } cases[] = {
        {"EditRHClose", "1,5", "Entrée incorrecte !"},
        {"NumberEditRHcor", "1.5", "Nombre trop grand par rapport à :1.2"},
        {"NumberEditAutoSav", "0", "Nombre trop petit par rapport à  :1"},
        {"NumberEditGain_IR", "300", "Nombre trop petit par rapport à  :450"},
        {"NumberEditIntPhotoDiode", "", "Entrée incorrecte !"},
    };
    for (const auto& c : cases) {
        const QString good = Text(dialog, c.Field);
        SetText(dialog, c.Field, c.Text);
        QString message;
        QWidget* field = nullptr;
        EXPECT_FALSE(dialog->CollectFields(message, field)) << c.Field;
        EXPECT_EQ(message, Q(c.Message)) << c.Field;
        EXPECT_EQ(field, dialog->findChild<QWidget*>(c.Field));
        SetText(dialog, c.Field, good.toUtf8().constData());
    }
    EXPECT_EQ(ReadWholeFile(DatabaseRegistry().FileName()), storedBefore);
    EXPECT_EQ(SetupInfos.SeuilCloudy, -20);
    EXPECT_TRUE(supervisor_->CycleRunning());
    dialog->reject();
}

// The MQTT tab shows the stored settings, refuses a prefix no broker accepts, and stores what it
// confirms for the next start.
TEST_F(SettingsDialogTest, TheMqttTabShowsStoresAndChecksItsSettings) {
    TMqttSettings stored;
    stored.Enabled = true;
    stored.Host = "broker.lan";
    stored.Port = 8883;
    stored.Tls = true;
    stored.User = "dome";
    stored.Password = "p;w#\"1";
    stored.ClientId = "orvanel-dome";
    stored.QoS = 2;
    WriteMqttSettings(stored);
    StartWithStation();
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(Field<QCheckBox>(dialog, "CheckBoxMqttEnabled")->isChecked());
    EXPECT_EQ(Text(dialog, "EditMqttHost"), Q("broker.lan"));
    EXPECT_EQ(Text(dialog, "NumberEditMqttPort"), Q("8883"));
    EXPECT_TRUE(Field<QCheckBox>(dialog, "CheckBoxMqttTls")->isChecked());
    EXPECT_EQ(Text(dialog, "EditMqttPassword"), Q("p;w#\"1"));
    EXPECT_EQ(Field<QLineEdit>(dialog, "EditMqttPassword")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Field<QComboBox>(dialog, "ComboBoxMqttQoS")->currentIndex(), 2);
    EXPECT_EQ(Text(dialog, "EditMqttTopicPrefix"), Q("orvanel"));

    const std::string storedBefore = ReadWholeFile(DatabaseRegistry().FileName());
    const struct {
        const char* Field;
        const char* Text;
        const char* Message;
    } cases[] = {
        {"EditMqttTopicPrefix", "obs/+/sky", "\"TopicPrefix\""},
        {"EditMqttDiscoveryPrefix", "homeassistant/", "\"DiscoveryPrefix\""},
        {"NumberEditMqttPort", "0", "Nombre trop petit"},
    };
    for (const auto& c : cases) {
        const QString good = Text(dialog, c.Field);
        SetText(dialog, c.Field, c.Text);
        QString message;
        QWidget* field = nullptr;
        EXPECT_FALSE(dialog->CollectFields(message, field)) << c.Field;
        EXPECT_TRUE(message.contains(Q(c.Message))) << message.toStdString();
        EXPECT_EQ(field, dialog->findChild<QWidget*>(c.Field));
        SetText(dialog, c.Field, good.toUtf8().constData());
    }
    EXPECT_EQ(ReadWholeFile(DatabaseRegistry().FileName()), storedBefore);

    SetText(dialog, "EditMqttTopicPrefix", "observatory/dome");
    Field<QCheckBox>(dialog, "CheckBoxMqttDiscovery")->setChecked(false);
    ASSERT_NO_FATAL_FAILURE(ConfirmAndWait(dialog));
    const TMqttSettings read = ReadMqttSettings();
    EXPECT_EQ(read.TopicPrefix, "observatory/dome");
    EXPECT_FALSE(read.Discovery);
    EXPECT_EQ(read.Host, "broker.lan");
    EXPECT_EQ(read.Password, stored.Password);
    EXPECT_EQ(read.QoS, 2);
}

TEST_F(SettingsDialogTest, AChangedPortIsReopenedBeforeTheSetUpIsSent) {
    StartWithStation();
    halvex::sim::StationOptions other;
    other.Speed = 0;
    other.StartClock = BaseClock;
    halvex::sim::HalvexStation second(other);
    second.Start();
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    Field<QComboBox>(dialog, "ComboBoxPortDevice")->setEditText(QString::fromStdString(second.DevicePath()));
    station_->ClearReceivedOrders();
    ConfirmAndWait(dialog);

    EXPECT_EQ(written_, 1);
    int setups = 0;
    for (const auto& order : second.ReceivedOrders())
        setups += !order.empty() && order[0] == 0x32;
    EXPECT_EQ(setups, 1);
    EXPECT_EQ(CountOrders(0x32), 0);
    EXPECT_EQ(SetupInfos.SetupInfos_HW.PortDevice, second.DevicePath());
    EXPECT_EQ(Stored(KeyConfig, "PortDevice"), second.DevicePath());
    const auto lines = LogTexts();
    const int closed = FindLogLine(lines, "COM1 Closed (if valid handle!)");
    const int opened = FindLogLine(lines, "Opened COM " + second.DevicePath(), closed);
    EXPECT_GE(closed, 0);
    EXPECT_LT(opened, FindLogLine(lines, "Retrieved infos and restart", std::max(opened, 0)));
    EXPECT_GE(opened, 0);
    // The readings now come from the second station.
    supervisor_->TimerMainTimer();
    WeatherReading();
    supervisor_.reset();
    second.Stop();
}

TEST_F(SettingsDialogTest, WithoutAStationTheStoredValuesAreShown) {
    WriteWholeFile(DatabaseRegistry().FileName(), "");
    DatabaseRegistry().WriteCFGtoRegister(KeyCloseCriteria, TVariant(-12.5), "TempSky");
    DatabaseRegistry().WriteCFGtoRegister(KeyConfig, TVariant(int32_t{300}), "InterVal_REC_EEP_sec");
    CreateSupervisor(Root() + "no-such-tty", false);
    QObject::connect(supervisor_.get(), &Supervisor::configurationWritten,
                     [this](bool ok) { written_ = ok ? 1 : -1; });
    ASSERT_TRUE(supervisor_->Start());
    TFormConfigTavrel* dialog = OpenDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Field<QLabel>(dialog, "StaticTextIntDate")->text(), Q("??"));
    EXPECT_EQ(Field<QLabel>(dialog, "StaticTextSecElapsed")->text(), Q("??"));
    EXPECT_EQ(Field<QComboBox>(dialog, "ComboBoxInterval")->currentText(), Q("5 minutes"));
    EXPECT_EQ(Text(dialog, "EditSeuilTCclose"), Q("-12.5"));
    EXPECT_EQ(Text(dialog, "EditRHClose"), Q("100"));
    EXPECT_EQ(Text(dialog, "NumberEditWindClose"), Q("50"));
    EXPECT_FALSE(Field<QCheckBox>(dialog, "CheckBoxActiveAlarm")->isChecked());
    EXPECT_EQ(Text(dialog, "NumberEditMagnSeuil"), Q("4.0"));
    // Confirming stores the settings; the station cannot take them, and the start-up keeps trying.
    ConfirmAndWait(dialog);
    EXPECT_EQ(written_, -1);
    EXPECT_EQ(StoredNumber(KeyCloseCriteria, "Wind"), 50);
    EXPECT_TRUE(supervisor_->StartupRetryPending());
    EXPECT_EQ(supervisor_->RelayDisplay().WatchText, "????");
}

// ---- Web publishing -----------------------------------------------------------------------------

TEST_F(SettingsDialogTest, WebDialogRoundTripThroughTheStore) {
    CreateSupervisor("", false);
    SetupInfos.SetupWebPublish = {
        true, "ftp.old.example", "me", "secret", "/www", false, 60, 815, 525, 575, 450, 465, 100};
    TFormWebSetup dialog(*supervisor_, [] { return TPlotSizes{{900, 480}, {640, 400}, 512}; });
    EXPECT_TRUE(Field<QCheckBox>(&dialog, "CheckBoxEnabled")->isChecked());
    EXPECT_EQ(Text(&dialog, "EditIP"), Q("ftp.old.example"));
    EXPECT_EQ(Field<QLineEdit>(&dialog, "Editpass")->echoMode(), QLineEdit::Password);
    EXPECT_EQ(Field<QLabel>(&dialog, "StaticTextJpeg")->text(), Q(" Compression Jpeg : 100%"));
    Field<QSlider>(&dialog, "TrackBarJpegCompress")->setValue(75);
    EXPECT_EQ(Field<QLabel>(&dialog, "StaticTextJpeg")->text(), Q(" Compression Jpeg : 75%"));
    SetText(&dialog, "EditIP", "ftp.new.example");
    SetText(&dialog, "Editpass", "n3w");
    SetText(&dialog, "NumberEditIntervallsec", "2*60");
    Field<QPushButton>(&dialog, "ButtonCurrentSizeGraph")->click();
    Field<QPushButton>(&dialog, "ButtonCurrentWindDirSize")->click();
    Field<QPushButton>(&dialog, "ButtonWindSpeedSize")->click();
    EXPECT_EQ(Text(&dialog, "NumberEditX_Gr"), Q("900"));
    // The certificate check and the page: on by default, both turned off here.
    for (const char* box : {"CheckBoxVerifyPeer", "CheckBoxIndexPage"}) {
        EXPECT_TRUE(Field<QCheckBox>(&dialog, box)->isChecked()) << box;
        Field<QCheckBox>(&dialog, box)->setChecked(false);
    }
    dialog.accept();

    const TSetupWebPublish& web = SetupInfos.SetupWebPublish;
    EXPECT_EQ(web.HostName, "ftp.new.example");
    EXPECT_EQ(web.IntervallSec, 120u);
    EXPECT_EQ(supervisor_->FtpPublishing().FtpTimerIntervalMs(), 120000);
    const std::pair<const char*, double> numbers[] = {
        {"intervallSec", 120}, {"JpegCompress", 75}, {"Lx_AllGraphs", 900}, {"Ly_AllGraphs", 480},
        {"Lx_GrWspeed", 640},  {"Ly_GrWspeed", 400}, {"L_GrWDir", 512},
    };
    for (const auto& [key, value] : numbers)
        EXPECT_EQ(StoredNumber(KeyWebpublish, key), value) << key;
    EXPECT_EQ(Stored(KeyWebpublish, "Hostname"), "ftp.new.example");
    EXPECT_EQ(Stored(KeyWebpublish, "Pass"), "n3w");
    EXPECT_EQ(Stored(KeyWebpublish, "Login"), "me");
    EXPECT_EQ(Stored(KeyWebpublish, "RemotePath"), "/www");
    EXPECT_FALSE(web.VerifyPeer);
    EXPECT_FALSE(web.IndexPage);

    // Read back at the next start, as a new dialog shows them; a cancel keeps them.
    TStartupSettings startup;
    SetupInfos.SetupWebPublish = {};
    ReadStartupSettings(startup);
    TFormWebSetup again(*supervisor_);
    EXPECT_EQ(Text(&again, "EditIP"), Q("ftp.new.example"));
    EXPECT_EQ(Text(&again, "NumberEditX_Gr"), Q("900"));
    EXPECT_FALSE(Field<QCheckBox>(&again, "CheckBoxVerifyPeer")->isChecked());
    EXPECT_FALSE(Field<QCheckBox>(&again, "CheckBoxIndexPage")->isChecked());
    SetText(&again, "EditIP", "ftp.cancelled.example");
    Field<QPushButton>(&again, "ButtonCurrentSizeGraph")->click(); // no plots: the stored sizes
    EXPECT_EQ(Text(&again, "NumberEditX_Gr"), Q("900"));
    again.reject();
    EXPECT_EQ(SetupInfos.SetupWebPublish.HostName, "ftp.new.example");
    EXPECT_EQ(Stored(KeyWebpublish, "Hostname"), "ftp.new.example");
}

// 0 stops the upload; only a negative interval is refused.
TEST_F(SettingsDialogTest, WebDialogUploadIntervalZeroStopsTheUpload) {
    CreateSupervisor("", false);
    SetupInfos.SetupWebPublish.IntervallSec = 60;
    supervisor_->FtpPublishing().SetFtpInterval(60);
    const struct {
        const char* Text;
        bool Accepted;
        uint32_t Seconds;
        bool TimerActive;
    } cases[] = {{"-1", false, 60, true}, {"0", true, 0, false}, {"30", true, 30, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        TFormWebSetup dialog(*supervisor_);
        SetText(&dialog, "NumberEditIntervallsec", c.Text);
        // A refusal is a modal message box: closed as soon as it shows.
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                box->done(QMessageBox::Ok);
        });
        closer.start(10);
        dialog.accept();
        closer.stop();
        EXPECT_EQ(dialog.result() == QDialog::Accepted, c.Accepted);
        EXPECT_EQ(SetupInfos.SetupWebPublish.IntervallSec, c.Seconds);
        EXPECT_EQ(supervisor_->FtpPublishing().FtpTimerActive(), c.TimerActive);
    }
}

// ---- Dark-current calibration -------------------------------------------------------------------

class DarkComputeTest : public SettingsDialogTest {
  protected:
    // A night without Moon under a mask: the photodiode counts its dark current only.
    void StartDark() {
        halvex::sim::StationOptions options;
        options.Scenario = halvex::sim::ParseScenario("mag=30@0-100000");
        StartWithStation(options);
    }
    std::unique_ptr<TFormDlgDarkCompute> Dialog() {
        auto dialog = std::make_unique<TFormDlgDarkCompute>(*supervisor_, nullptr, TDarkComputeTiming{5, 20});
        dialog->ShowMessage = [this](const QString& text) { shown_.push_back(text.toStdString()); };
        return dialog;
    }
    QString Value(TFormDlgDarkCompute& d, const char* name) { return Field<QLabel>(&d, name)->text(); }
    std::vector<std::string> shown_;
};

TEST_F(DarkComputeTest, TwoSamplesTwoMinutesApartGiveTheDarkRate) {
    StartDark();
    auto dialog = Dialog();
    QPushButton* action = Field<QPushButton>(dialog.get(), "ButtonActions");
    action->click();
    ASSERT_TRUE(WaitUntil([&] { return dialog->CalibrationPending(); }));
    EXPECT_EQ(action->text(), Q("Stopper"));
    Advance(120);
    ASSERT_TRUE(WaitUntil([&] { return !dialog->CalibrationPending() && !dialog->SampleRunning(); }));
    EXPECT_TRUE(shown_.empty()) << shown_.front();
    EXPECT_EQ(Value(*dialog, "StaticTextValueFinale"), Q("0.00250"));
    EXPECT_EQ(Value(*dialog, "StaticTextDiff"), Q("30"));
    EXPECT_TRUE(dialog->Completed());
    EXPECT_TRUE(Field<QPushButton>(dialog.get(), "ButtonOkTerminate")->isVisibleTo(dialog.get()));
    EXPECT_EQ(action->text(), Q("Démarrer"));
}

TEST_F(DarkComputeTest, LightReachingThePhotodiodeMakesTheMeasurementInvalid) {
    StartDark();
    auto dialog = Dialog();
    Field<QPushButton>(dialog.get(), "ButtonActions")->click();
    ASSERT_TRUE(WaitUntil([&] { return dialog->CalibrationPending(); }));
    station_->SetScenario(halvex::sim::ParseScenario("mag=4@0-100000")); // the station changes its range
    Advance(120);
    ASSERT_TRUE(WaitUntil([&] { return !dialog->CalibrationPending() && !dialog->SampleRunning(); }));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0], "La mesure n'est pas valide, de la lumière a du arriver sur la photodiode...");
    EXPECT_FALSE(dialog->Completed());
    EXPECT_EQ(Value(*dialog, "StaticTextValueFinale"), Q("-"));
}

TEST_F(DarkComputeTest, StopperEndsTheCountdownWithoutAResult) {
    StartDark();
    auto dialog = Dialog();
    QPushButton* action = Field<QPushButton>(dialog.get(), "ButtonActions");
    action->click();
    ASSERT_TRUE(WaitUntil([&] { return dialog->CalibrationPending(); }));
    EXPECT_NE(Value(*dialog, "StaticTextcptdeb"), Q("-"));
    action->click();
    EXPECT_FALSE(dialog->CalibrationPending());
    EXPECT_FALSE(dialog->Completed());
    EXPECT_EQ(action->text(), Q("Démarrer"));
    for (const char* name :
         {"StaticTextcptdeb", "StaticTextEndCpt", "StaticTextDiff", "StaticTextValueFinale", "StaticTime"})
        EXPECT_EQ(Value(*dialog, name), Q("-")) << name;
    const int samples = CountOrders(0x22);
    EXPECT_FALSE(WaitUntil([&] { return CountOrders(0x22) > samples; }, 300)); // no second sample
}

TEST_F(DarkComputeTest, WithoutAStationTheSerialErrorIsShownAndNothingCounts) {
    CreateSupervisor(Root() + "no-such-tty", false);
    ASSERT_TRUE(supervisor_->Start());
    auto dialog = Dialog();
    Field<QPushButton>(dialog.get(), "ButtonActions")->click();
    ASSERT_TRUE(WaitUntil([&] { return !dialog->SampleRunning(); }));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_FALSE(shown_[0].empty());
    EXPECT_FALSE(dialog->CalibrationPending());
    EXPECT_EQ(Value(*dialog, "StaticTime"), Q("-"));
}

TEST_F(DarkComputeTest, ClosingWhileASampleRunsIsSafe) {
    StartDark();
    auto dialog = Dialog();
    Field<QPushButton>(dialog.get(), "ButtonActions")->click();
    // Its completion can only come through the event loop, which has not run since.
    ASSERT_TRUE(dialog->SampleRunning());
    dialog.reset();
    ASSERT_TRUE(WaitUntil([] { return ComThreadsRunning == 0; }));
    QApplication::processEvents();
    WeatherReading(); // the controller goes on
}

// ---- The numeric field --------------------------------------------------------------------------

TEST(NumberEditTest, LeavingABadFieldReportsItAndTakesTheFocusBack) {
    QWidget window;
    auto* edit = new TNumberEdit(&window);
    edit->SetRange(1, 255);
    auto* other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(WaitUntil([&] { return QApplication::activeWindow() == &window; }, 2000));

    const auto leave = [&](const char* text) {
        QStringList boxes;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                boxes << box->text();
                box->done(QMessageBox::Ok);
            }
        });
        closer.start(10);
        edit->setFocus();
        edit->setText(Q(text));
        other->setFocus();
        QApplication::processEvents();
        // The box has taken the activation away; the window gets it back with its focus.
        window.activateWindow();
        WaitUntil([&] { return QApplication::activeWindow() == &window && QApplication::focusWidget(); },
                  2000);
        return boxes;
    };
    EXPECT_EQ(leave("0"), QStringList(Q("Nombre trop petit par rapport à  :1")));
    EXPECT_EQ(QApplication::focusWidget(), edit);
    EXPECT_EQ(edit->text(), Q("0")); // left as typed
    EXPECT_EQ(leave("12.5"), QStringList(Q("12.5 n'est pas une valeur entière valide !")));
    EXPECT_TRUE(leave("60*2").isEmpty());
    EXPECT_EQ(edit->text(), Q("120"));
    EXPECT_EQ(QApplication::focusWidget(), other);
    EXPECT_TRUE(leave("").isEmpty());
    EXPECT_EQ(edit->text(), QString());
}

} // namespace
