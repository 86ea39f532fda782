#include "SimulatedLink.h"

#include <cmath>
#include <mutex>
#include <random>

#include "Conversions.h"

namespace {

// Random(n): a uniform integer from 0 to n - 1.
int Random(int n) {
    static std::mt19937 generator{std::random_device{}()};
    static std::mutex generatorLock;
    std::lock_guard guard(generatorLock);
    return std::uniform_int_distribution<int>(0, n - 1)(generator);
}

} // namespace

bool TSimulatedStationLink::Answer(Tcommand command, TListValues values) {
    switch (command) {
    case TCom_GetVersion:
        Version(values.Setup);
        return true;
    case TCom_GetDate:
        values.Setup.SetupInfos_HW.LastDateSyst.Value = Now();
        values.Setup.SetupInfos_HW.LastDateSyst.Valid = true;
        return true;
    case TCom_getSensorInfos:
        Weather(values.Current);
        return true;
    case TCom_GetLightLevel:
        Light(values.Current, values.Light);
        return true;
    case TCom_DownLoadData: // no memory, no clock to set, nothing to wait for
    case TCom_SetDate:
    case TCom_GetVersion_Wait:
        return true;
    case TCom_Setup:
    case TCom_RearmTrig:
    case TCom_SetIR:
    case TCom_CalibratePD:
        return false;
    }
    return false;
}

void TSimulatedStationLink::Version(TSetupInfos& setup) const {
    setup.SetupInfos_HW.Version = "1.11";
    setup.SetupInfos_HW.InterVal_Rec_EEPROM.Value = 3;
}

void TSimulatedStationLink::Weather(TcapteursInfos& c) {
    const double k = tick_;
    c.ValueTempDeg = static_cast<float>(Random(1001) / 1000.0 * 10 + 20);
    c.Humidity = static_cast<float>(Random(1001) / 1000.0 * 10 + 70);
    c.DewPoint = static_cast<float>(DewPointOf(c.ValueTempDeg, c.Humidity));
    c.DateSysteme = Now();
    c.ValueTempFceDeg = static_cast<float>(Random(1001) / 1000.0 * 10 + 20);
    c.ValueSkyVolts = static_cast<float>(std::sin(k / 10 * M_PI) * 2 + 2);
    c.ValueSkyDeg = static_cast<float>(SkyVolts_ToDegrees(c.ValueSkyVolts));
    c.ValueCanVolts = static_cast<float>(std::sin(k / 14 * M_PI) * 2 + 2.5);
    c.ValueCanDeg = static_cast<float>(Thermistor_ToDegrees(c.ValueCanVolts) - 2.0);
    c.RainStatus = static_cast<uint8_t>(Random(2));
    c.PowerVolts = static_cast<float>(Random(10) / 10.0 + 12);
    c.DirSpeedMax_deg = static_cast<float>(Sector_ToDegrees(static_cast<uint8_t>(Random(16))));
    c.WindSpeedMax_ms = static_cast<float>(Random(5) + 20);
    c.ValidWindGUST = 1;
    c.DeltaTempDeg = c.ValueSkyDeg - c.ValueTempDeg;
    WriteInfoData(c);
    ++tick_;
}

void TSimulatedStationLink::Light(TcapteursInfos& current, std::optional<TLightSample>& light) const {
    TLightSample sample;
    sample.Simulated = true;
    sample.Counter = tick_ == 0 ? 0 : current.LightValueAbs + static_cast<uint32_t>(10 + Random(3));
    sample.Gain = 100;
    sample.Divider = 1;
    sample.Time = current.DateSysteme;
    current.LightValueAbs = sample.Counter; // the next simulated reading of this list counts on
    light = sample;
}
