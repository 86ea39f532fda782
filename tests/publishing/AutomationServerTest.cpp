// The automation server as a client sees it: a private session bus, the server in this thread and
// an independent python-dbus client in another process.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <sys/types.h>

#include "AutomationBus.h"
#include "AutomationServer.h"
#include "AutomationSwitches.h"
#include "Log.h"
#include "MedianObject.h"
#include "PublishedConditions.h"

namespace {

const QString NameII = QStringLiteral("ClarityII.CloudSensorII");
const QString NameI = QStringLiteral("ClarityII.CloudSensor");
const QString PathII = QStringLiteral("/CloudSensorII");
const QString PathI = QStringLiteral("/CloudSensor");
const QString IfaceII = QStringLiteral("ClarityII.ICloudSensorII");
const QString IfaceI = QStringLiteral("ClarityII.ICloudSensor");

struct Enumeration {
    const char* Name;
    const char* Guid;
    const char* Values;
};
const Enumeration CloudCond{"CloudCond", "{DF508683-BD54-4D19-8C3C-2107F064652A}",
                            "cloudUnknown=0 cloudClear=1 cloudCloudy=2 cloudVeryCloudy=3"};
const Enumeration WindCond{"WindCond", "{1DDE88E1-692C-4D26-9DF5-735B010D69D1}",
                           "windUnknown=0 windCalm=1 windWindy=2 windVeryWindy=3"};
const Enumeration RainCond{"RainCond", "{CC613783-1FBD-43ED-975B-7338FFD06017}",
                           "rainUnknown=0 rainDry=1 rainWet=2 rainRain=3"};
const Enumeration DayCond{"DayCond", "{27754769-9031-4F5B-A6D7-42890DFA9C49}",
                          "dayUnknown=0 dayDark=1 dayLight=2 dayVeryLight=3"};
const Enumeration SkyCond{"SkyCond", "{77548FF8-07AE-4BC1-AED6-769FEE3F9BC0}",
                          "SkyUnknown=0 SkyClear=1 SkyCloudy=2 SkyVeryCloudy=3 SkyWet=4"};

// What a client relies on: member, slot order (the table order), kind, type, DISPID, and the
// value before any measurement (thresholds not yet published).
struct Member {
    const char* Name;
    bool Method;
    const char* Type;
    int Dispid;
    const Enumeration* Enum;
    QJsonValue StartValue;
};

const std::vector<Member> MembersII = {
    {"ClarityIIVersion", false, "s", 201, nullptr, "v1.56"},
    {"FirmwareVersion", false, "i", 202, nullptr, 257},
    {"CloudCondition", false, "i", 203, &CloudCond, 0},
    {"WindCondition", false, "i", 204, &WindCond, 0},
    {"DayCondition", false, "i", 205, &DayCond, 0},
    {"RelSkyT", false, "d", 206, nullptr, 0.0},
    {"SensorT", false, "d", 208, nullptr, 0.0},
    {"Wind", false, "d", 209, nullptr, 0.0},
    {"HumidityPercent", false, "d", 210, nullptr, 0.0},
    {"DewPointT", false, "d", 211, nullptr, 0.0},
    {"RainCondition", false, "i", 212, &RainCond, 0},
    {"DayLightV", false, "i", 213, nullptr, 0},
    {"RainF", false, "b", 214, nullptr, false},
    {"WetF", false, "b", 215, nullptr, false},
    {"HeaterPercent", false, "d", 216, nullptr, 0.0},
    {"CloudyThreshT", false, "d", 217, nullptr, 0.0},
    {"VCloudyThreshT", false, "d", 218, nullptr, 0.0},
    {"WindyThreshSpeed", false, "d", 219, nullptr, 0.0},
    {"VWindyThreshSpeed", false, "d", 220, nullptr, 0.0},
    {"DayThreshV", false, "d", 221, nullptr, 0.0},
    {"VDayThreshV", false, "d", 222, nullptr, 0.0},
    {"RainThreshV", false, "i", 223, nullptr, 0},
    {"WetThreshV", false, "i", 224, nullptr, 0},
    {"Fahrenheit", false, "b", 225, nullptr, false},
    {"WindUnits", false, "i", 226, nullptr, 0},
    {"Mph", false, "b", 227, nullptr, false},
    {"SecondsSinceGoodData", false, "i", 228, nullptr, 0},
    {"RoofCloseRequested", false, "b", 229, nullptr, false},
    {"DataReady", true, "b", 230, nullptr, true},
    {"RoofClose", true, "b", 231, nullptr, false},
    {"MagnitudeSec", false, "d", 232, nullptr, 0.0},
    {"AmbientT", false, "d", 207, nullptr, 0.0},
    {"WindDir", false, "d", 233, nullptr, 0.0},
};

const std::vector<Member> MembersI = {
    {"SkyCondition", false, "i", 201, &SkyCond, 0},
    {"RelSkyT", false, "d", 202, nullptr, 0.0},
    {"AmbientT", false, "d", 203, nullptr, 0.0},
    {"SensorT", false, "d", 204, nullptr, 0.0},
    {"WetF", false, "b", 205, nullptr, false},
    {"HeatingF", false, "b", 206, nullptr, false},
    {"HeaterPercent", false, "d", 207, nullptr, 0.0},
    {"CloudyThreshT", false, "d", 208, nullptr, 0.0},
    {"VCloudyThreshT", false, "d", 209, nullptr, 0.0},
    {"Fahrenheit", false, "b", 210, nullptr, false},
    {"SecondsSinceGoodData", false, "i", 211, nullptr, 0},
};

struct Served {
    QString Name, Path, Iface;
    const std::vector<Member>* Members;
    const char* InterfaceGuid;
    const char* ClassName;
    const char* ClassGuid;
};
const Served ServedII{NameII,
                      PathII,
                      IfaceII,
                      &MembersII,
                      "{F8567373-AC03-4A03-8622-5874A2947227}",
                      "CloudSensorII",
                      "{E6DEBF91-4036-4A0D-AE04-89B8C92E37ED}"};
const Served ServedI{NameI,
                     PathI,
                     IfaceI,
                     &MembersI,
                     "{882AE0F0-F100-41BB-B90B-50F613CE1801}",
                     "CloudSensor",
                     "{782C0A2F-CC19-45DD-AB47-3E71E8C55A4D}"};

double LumexForMagnitude(double magnitude) {
    return (12.4 - magnitude) * std::log10(2.512);
}

// A dark, clear, dry night with a strong gust.
TcapteursInfos NightReading(TDateTime when) {
    TcapteursInfos r{};
    r.DateSysteme = when;
    r.DeltaTempDeg = -25;
    r.ValueTempDeg = 8;
    r.ValueCanDeg = 10.5f;
    r.Humidity = 45;
    r.DewPoint = -3.5f;
    r.ValidWindGUST = 1;
    r.WindSpeedMax_ms = static_cast<float>(20 / 3.6);
    r.DirSpeedMax_deg = 270;
    r.RainStatus = 0;
    r.PowerRainDet = 5;
    r.ValidLight = 1;
    r.Lumex = LumexForMagnitude(19);
    return r;
}

// A bus with the server of this process on it.
class AutomationServerTest : public PrivateBusTest {
  protected:
    void SetUp() override {
        PrivateBusTest::SetUp();
        if (IsSkipped()) return;
        SetClockForTests([this] { return clock_; });
        published_.Reset(Now());
        ASSERT_NO_FATAL_FAILURE(StartBus());
        server_ = std::make_unique<TAutomationServer>(published_);
        ASSERT_TRUE(server_->Start(Address()));
    }
    void TearDown() override {
        server_.reset();
        PrivateBusTest::TearDown();
    }

    QJsonObject GetAll(const Served& s) {
        const auto answer = Client({QStringLiteral("getall"), s.Name, s.Path, s.Iface});
        EXPECT_TRUE(answer.Error.isEmpty()) << answer.Output.toStdString();
        return answer.Result.toObject();
    }
    QJsonValue Get(const Served& s, const char* property) {
        const auto answer = Client({QStringLiteral("get"), s.Name, s.Path, s.Iface, QLatin1String(property)});
        EXPECT_TRUE(answer.Error.isEmpty()) << answer.Output.toStdString();
        return answer.Result;
    }

    // One reading as the controller classifies and publishes it, its sky pushed into the median.
    void Process(const TcapteursInfos& reading, const TSetupInfos& setup, TMedianObject& median,
                 TToggle_bool& goodCond) {
        double m = 0;
        const bool ready = median.Return(reading.DeltaTempDeg, m);
        ProcessConditions(reading, setup, ready ? std::optional<double>(m) : std::nullopt, goodCond, {},
                          published_);
    }

    TDateTime clock_ = EncodeDateTime(2013, 3, 27, 4, 0, 0);
    TPublishedConditions published_{clock_};
    std::unique_ptr<TAutomationServer> server_;
};

// [type, value] as the client received it.
void ExpectTyped(const QJsonValue& typed, const char* type, const QJsonValue& value, const char* what) {
    const QJsonArray pair = typed.toArray();
    ASSERT_EQ(pair.size(), 2) << what;
    EXPECT_EQ(pair[0].toString().toStdString(), type) << what;
    EXPECT_EQ(pair[1], value) << what << ": got " << pair[1].toVariant().toString().toStdString();
}

double Number(const QJsonObject& all, const char* name) {
    return all.value(QLatin1String(name)).toArray()[1].toDouble();
}
int Integer(const QJsonObject& all, const char* name) {
    return all.value(QLatin1String(name)).toArray()[1].toInt(-99);
}
bool Boolean(const QJsonObject& all, const char* name) {
    return all.value(QLatin1String(name)).toArray()[1].toBool();
}

TEST_F(AutomationServerTest, IntrospectionListsBothInterfacesWithEveryMemberAndItsIdentifiers) {
    for (const Served* s : {&ServedII, &ServedI}) {
        SCOPED_TRACE(s->Path.toStdString());
        const auto answer = Client({QStringLiteral("introspect"), s->Name, s->Path});
        ASSERT_TRUE(answer.Error.isEmpty()) << answer.Output.toStdString();
        const QJsonObject node = answer.Result.toObject();
        const QJsonArray interfaces = node.value("interfaces").toArray();
        QStringList names;
        for (const auto& i : interfaces)
            names << i.toObject().value("name").toString();
        EXPECT_EQ(names, QStringList({s->Iface, "org.freedesktop.DBus.Properties",
                                      "org.freedesktop.DBus.Introspectable", "org.freedesktop.DBus.Peer"}));

        const QJsonObject iface = interfaces[0].toObject();
        const QJsonObject notes = iface.value("annotations").toObject();
        EXPECT_EQ(notes.value("ClarityII.TypeLibrary").toString(), "ClarityII");
        EXPECT_EQ(notes.value("ClarityII.TypeLibrary.GUID").toString(),
                  "{D13A72A8-CD35-4194-A17D-F5E2F13EFA8D}");
        EXPECT_EQ(notes.value("ClarityII.TypeLibrary.Version").toString(), "8.0");
        EXPECT_EQ(notes.value("ClarityII.Interface.GUID").toString(), s->InterfaceGuid);
        EXPECT_EQ(notes.value("ClarityII.Class").toString(), s->ClassName);
        EXPECT_EQ(notes.value("ClarityII.Class.GUID").toString(), s->ClassGuid);
        EXPECT_EQ(notes.value("ClarityII.ProgID").toString(), QStringLiteral("ClarityII.") + s->ClassName);

        const QJsonArray members = iface.value("members").toArray();
        ASSERT_EQ(members.size(), static_cast<qsizetype>(s->Members->size()));
        for (size_t slot = 0; slot < s->Members->size(); ++slot) {
            const Member& want = (*s->Members)[slot];
            const QJsonObject got = members[slot].toObject();
            SCOPED_TRACE(want.Name);
            EXPECT_EQ(got.value("name").toString(), want.Name);
            EXPECT_EQ(got.value("kind").toString(), want.Method ? "method" : "property");
            if (want.Method) {
                const QJsonArray args = got.value("args").toArray();
                ASSERT_EQ(args.size(), 1);
                EXPECT_EQ(args[0].toObject().value("name").toString(), "Param1");
                EXPECT_EQ(args[0].toObject().value("type").toString(), want.Type);
                EXPECT_EQ(args[0].toObject().value("direction").toString(), "out");
            } else {
                EXPECT_EQ(got.value("type").toString(), want.Type);
                EXPECT_EQ(got.value("access").toString(), "read");
            }
            const QJsonObject memberNotes = got.value("annotations").toObject();
            EXPECT_EQ(memberNotes.value("ClarityII.DISPID").toString(), QString::number(want.Dispid));
            EXPECT_EQ(memberNotes.value("ClarityII.Slot").toString(), QString::number(slot + 1));
            EXPECT_EQ(memberNotes.value("ClarityII.Enumeration").toString(),
                      want.Enum ? want.Enum->Name : "");
            EXPECT_EQ(memberNotes.value("ClarityII.Enumeration.GUID").toString(),
                      want.Enum ? want.Enum->Guid : "");
            EXPECT_EQ(memberNotes.value("ClarityII.Enumeration.Values").toString(),
                      want.Enum ? want.Enum->Values : "");
        }
    }
}

TEST_F(AutomationServerTest, BeforeAnyMeasurementConditionsAreUnknownAndTheAgeCountsFromStart) {
    for (const Served* s : {&ServedII, &ServedI}) {
        SCOPED_TRACE(s->Path.toStdString());
        const QJsonObject all = GetAll(*s);
        qsizetype properties = 0;
        for (const Member& m : *s->Members) {
            if (m.Method) {
                ExpectTyped(Client({"call", s->Name, s->Path, s->Iface, m.Name}).Result, m.Type, m.StartValue,
                            m.Name);
            } else {
                ++properties;
                ExpectTyped(all.value(QLatin1String(m.Name)), m.Type, m.StartValue, m.Name);
            }
        }
        EXPECT_EQ(all.size(), properties) << "GetAll serves exactly the properties";
    }

    clock_ += 42.0 / 86400;
    ExpectTyped(Get(ServedII, "SecondsSinceGoodData"), "i", 42, "ICloudSensorII");
    ExpectTyped(Get(ServedI, "SecondsSinceGoodData"), "i", 42, "ICloudSensor");
}

TEST_F(AutomationServerTest, PropertiesAreReadOnlyAndUnknownMembersAreErrors) {
    const struct {
        QStringList Args;
        const char* Error;
    } cases[] = {
        {{"set", NameII, PathII, IfaceII, "CloudCondition"}, "org.freedesktop.DBus.Error.PropertyReadOnly"},
        {{"set", NameI, PathI, IfaceI, "SkyCondition"}, "org.freedesktop.DBus.Error.PropertyReadOnly"},
        {{"get", NameII, PathII, IfaceII, "SkyCondition"}, "org.freedesktop.DBus.Error.UnknownProperty"},
        {{"get", NameII, PathII, IfaceI, "RelSkyT"}, "org.freedesktop.DBus.Error.UnknownInterface"},
        {{"call", NameI, PathI, IfaceI, "DataReady"}, "org.freedesktop.DBus.Error.UnknownMethod"},
        {{"call", NameII, PathII, IfaceII, "CloudCondition"}, "org.freedesktop.DBus.Error.UnknownMethod"},
    };
    for (const auto& c : cases) {
        const auto answer = Client(c.Args);
        EXPECT_EQ(answer.Error.toStdString(), c.Error) << c.Args.join(' ').toStdString();
    }
    ExpectTyped(Get(ServedII, "CloudCondition"), "i", 0, "unchanged by the refused write");
}

TEST_F(AutomationServerTest, MeasurementsShowOnBothInterfacesAsClassified) {
    TSetupInfos setup = SetupInfos; // thresholds: sky -20/-7, wind 5/15 km/h, dry below 50 %
    TMedianObject median(MedianSkySamples);
    TToggle_bool goodCond;
    TcapteursInfos reading = NightReading(clock_);

    // First reading: the sky median is not full yet, everything else is classified.
    Process(reading, setup, median, goodCond);
    QJsonObject ii = GetAll(ServedII), i = GetAll(ServedI);
    EXPECT_EQ(Integer(ii, "CloudCondition"), 0);
    EXPECT_EQ(Integer(i, "SkyCondition"), 0);
    EXPECT_EQ(Integer(ii, "WindCondition"), 3);
    EXPECT_NEAR(Number(ii, "Wind"), 20, 1e-3);
    EXPECT_EQ(Number(ii, "WindDir"), 270);
    EXPECT_EQ(Integer(ii, "RainCondition"), 1);
    EXPECT_EQ(Integer(ii, "DayCondition"), 1);
    EXPECT_NEAR(Number(ii, "MagnitudeSec"), 19, 1e-9);
    for (const QJsonObject* all : {&ii, &i}) {
        EXPECT_EQ(Number(*all, "RelSkyT"), -25);
        EXPECT_EQ(Number(*all, "AmbientT"), 8);
        EXPECT_EQ(Number(*all, "SensorT"), 10.5);
        EXPECT_EQ(Number(*all, "HeaterPercent"), 5);
        EXPECT_FALSE(Boolean(*all, "WetF"));
    }
    EXPECT_EQ(Number(ii, "HumidityPercent"), 45);
    EXPECT_EQ(Number(ii, "DewPointT"), -3.5);

    // The median fills: the sky is classified, the same on both interfaces.
    for (int n = 1; n < MedianSkySamples; ++n)
        Process(reading, setup, median, goodCond);
    EXPECT_EQ(Integer(GetAll(ServedII), "CloudCondition"), 1);
    EXPECT_EQ(Integer(GetAll(ServedI), "SkyCondition"), 1);

    // Rain in very humid air, no gust, no light: the wind stays that of the last valid gust.
    reading.DateSysteme = clock_ + 20.0 / 86400;
    reading.Humidity = 95;
    reading.RainStatus = 1;
    reading.ValidWindGUST = 0;
    reading.WindSpeedMax_ms = -1;
    reading.DirSpeedMax_deg = 0;
    reading.ValidLight = 0;
    reading.DeltaTempDeg = -3; // very cloudy, once the median window holds only such readings
    for (int n = 0; n < MedianSkySamples; ++n)
        Process(reading, setup, median, goodCond);
    clock_ = reading.DateSysteme + 30.0 / 86400;
    ii = GetAll(ServedII);
    i = GetAll(ServedI);
    EXPECT_EQ(Integer(ii, "WindCondition"), 0);
    EXPECT_NEAR(Number(ii, "Wind"), 20, 1e-3);
    EXPECT_EQ(Number(ii, "WindDir"), 270);
    EXPECT_EQ(Integer(ii, "RainCondition"), 2) << "rain is told by RainF, never by condition 3";
    EXPECT_TRUE(Boolean(ii, "RainF"));
    EXPECT_TRUE(Boolean(ii, "WetF"));
    EXPECT_TRUE(Boolean(i, "WetF"));
    EXPECT_EQ(Integer(ii, "DayCondition"), 0);
    EXPECT_EQ(Number(ii, "MagnitudeSec"), 0);
    EXPECT_EQ(Integer(ii, "CloudCondition"), 3);
    EXPECT_EQ(Integer(i, "SkyCondition"), 3);
    EXPECT_EQ(Integer(ii, "SecondsSinceGoodData"), 30);
    EXPECT_EQ(Integer(i, "SecondsSinceGoodData"), 30);

    // Just above the dry threshold is already wet.
    reading.Humidity = 50.5f;
    reading.RainStatus = 0;
    Process(reading, setup, median, goodCond);
    ii = GetAll(ServedII);
    EXPECT_EQ(Integer(ii, "RainCondition"), 2);
    EXPECT_FALSE(Boolean(ii, "RainF"));
}

TEST_F(AutomationServerTest, RoofCloseRequestedFollowsTheReportedRelay) {
    const struct {
        TT_Bool Relay;
        bool Expected;
    } steps[] = {
        {{true, false, true}, true},
        {{false, false, false}, true}, // state not reported: unchanged
        {{false, false, true}, false},
    };
    for (const auto& step : steps) {
        published_.PublishRoofState(step.Relay);
        ExpectTyped(Get(ServedII, "RoofCloseRequested"), "b", step.Expected, "RoofCloseRequested");
    }
}

TEST_F(AutomationServerTest, ChangedThresholdsShowAtOnceOnBothInterfaces) {
    TSetupInfos setup = SetupInfos;
    for (const auto& [cloudy, veryCloudy, windy, veryWindy] :
         {std::tuple{-20, -7, 5, 15}, std::tuple{-18, -4, 12, 30}}) {
        setup.SeuilCloudy = cloudy;
        setup.SeuilVeryCloudy = veryCloudy;
        setup.SeuilWindy_km = windy;
        setup.SeuilVeryWindy_km = veryWindy;
        published_.PublishThresholds(setup);
        for (const Served* s : {&ServedII, &ServedI}) {
            ExpectTyped(Get(*s, "CloudyThreshT"), "d", double(cloudy), "CloudyThreshT");
            ExpectTyped(Get(*s, "VCloudyThreshT"), "d", double(veryCloudy), "VCloudyThreshT");
        }
        ExpectTyped(Get(ServedII, "WindyThreshSpeed"), "d", double(windy), "WindyThreshSpeed");
        ExpectTyped(Get(ServedII, "VWindyThreshSpeed"), "d", double(veryWindy), "VWindyThreshSpeed");
    }
}

TEST_F(AutomationServerTest, ASecondServerLeavesTheNamesToTheFirst) {
    TAutomationServer second(published_);
    EXPECT_FALSE(second.Start(Address()));
    EXPECT_TRUE(second.ServedNames().empty());
    EXPECT_NE(ReadWholeFile(PathLogs + LogFileNameToday()).find("bus name ClarityII.CloudSensorII is taken"),
              std::string::npos);
    ExpectTyped(Client({"call", NameII, PathII, IfaceII, "DataReady"}).Result, "b", true, "first server");
}

class AutomationWithoutBusTest : public SandboxTest {};

TEST_F(AutomationWithoutBusTest, LogsOneLineAndRunsOn) {
    const QByteArray saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string deadBus = "unix:path=" + Root() + "no-bus-here";
    ::setenv("DBUS_SESSION_BUS_ADDRESS", deadBus.c_str(), 1);
    {
        TPublishedConditions published(Now());
        TAutomationServer server(published);
        EXPECT_FALSE(server.Start()) << "the address comes from DBUS_SESSION_BUS_ADDRESS";
        EXPECT_FALSE(server.IsConnected());
    }
    if (saved.isNull())
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    else
        ::setenv("DBUS_SESSION_BUS_ADDRESS", saved.constData(), 1);
    const auto lines = SplitLines(ReadWholeFile(PathLogs + LogFileNameToday()));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Automation server: no D-Bus session bus"), std::string::npos) << lines[0];
}

// ---- Activation by the bus -------------------------------------------------------------------

class AutomationActivationTest : public PrivateBusTest {
  protected:
    // Registers `program` for the current user, then starts the bus so that it reads the files.
    void RegisterAndStartBus(const QString& program) {
        ASSERT_EQ(HandleAutomationSwitches({"orvanel", "/REGSERVERPERUSER"}, program), 0);
        ASSERT_NO_FATAL_FAILURE(StartBus());
    }
    // Asks for the name as a client would; the bus starts its program. The owner's process id.
    pid_t ActivatedOwner(const QString& name) {
        const auto answer = Client({"owner-pid", name});
        EXPECT_TRUE(answer.Error.isEmpty()) << answer.Output.toStdString();
        const pid_t pid = answer.Result.toInt();
        if (pid > 0) started_.push_back(pid);
        return pid;
    }
    void TearDown() override {
        // The bus started them: end them, by their id.
        for (const pid_t pid : started_)
            ::kill(pid, SIGTERM);
        PrivateBusTest::TearDown();
    }
    std::vector<pid_t> started_;
};

QString ExecutableOf(pid_t pid) {
    return QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).canonicalFilePath();
}

// The test program stands in for the headless program (see the test main): the activation file,
// its quoting and the server's start on the bus the bus daemon hands over are the real ones.
TEST_F(AutomationActivationTest, ThePerUserFileStartsTheProgramWhenAClientAsksForItsName) {
    const std::string folder = Root() + "my programs/";
    std::filesystem::create_directories(folder);
    const QString program = QString::fromStdString(folder) + "l'orvanel";
    std::filesystem::create_symlink(QCoreApplication::applicationFilePath().toStdString(),
                                    program.toStdString());
    ASSERT_NO_FATAL_FAILURE(RegisterAndStartBus(program));

    const pid_t owner = ActivatedOwner(NameII);
    ASSERT_GT(owner, 0);
    EXPECT_EQ(ExecutableOf(owner), QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    EXPECT_EQ(ActivatedOwner(NameI), owner) << "one process serves both names";
    ExpectTyped(Client({"get", NameI, PathI, IfaceI, "CloudyThreshT"}).Result, "d", -20.0,
                "stand-in thresholds");
}

// The same with the real program, once it runs headless.
TEST_F(AutomationActivationTest, ThePerUserFileStartsTheRealHeadlessProgram) {
    const QString program = QCoreApplication::applicationDirPath() + "/orvanel";
    if (!QFileInfo(program).isExecutable()) GTEST_SKIP() << program.toStdString() << " is not built";
    ASSERT_NO_FATAL_FAILURE(RegisterAndStartBus(program));

    // Does it stay running headless and take its names? Started by hand first, with a client
    // waiting for the name; whichever ends first decides.
    QProcess direct, waiter;
    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", Address());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    direct.setProcessEnvironment(environment);
    QEventLoop loop;
    for (QProcess* p : {&direct, &waiter}) {
        QObject::connect(p, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    }
    direct.start(program, ActivationArguments);
    waiter.start(PythonWithDbus(), {AUTOMATION_CLIENT_SCRIPT, Address(), "wait-name", NameII});
    loop.exec();
    if (waiter.state() != QProcess::NotRunning) { // the program ended first
        waiter.kill();
        waiter.waitForFinished(10000);
    }
    const bool named = waiter.readAllStandardOutput().contains("true");
    const bool ran = named && direct.state() == QProcess::Running;
    if (direct.state() != QProcess::NotRunning) {
        direct.terminate();
        if (!direct.waitForFinished(20000)) direct.kill();
        direct.waitForFinished(10000);
    }
    if (!ran)
        GTEST_SKIP() << "build/orvanel --headless AUTOMATION "
                     << (named ? "did not stay running" : "ended or ran without taking its bus name")
                     << ": the headless program is not there yet";

    const pid_t owner = ActivatedOwner(NameII);
    ASSERT_GT(owner, 0);
    EXPECT_EQ(ExecutableOf(owner), QFileInfo(program).canonicalFilePath());
    ExpectTyped(Client({"call", NameII, PathII, IfaceII, "DataReady"}).Result, "b", true, "DataReady");
}

} // namespace
