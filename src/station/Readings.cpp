// Weather and light readings of the communication thread.
#include <cmath>
#include <exception>
#include <fmt/format.h>
#include <fmt/printf.h>

#include "Conversions.h"
#include "Log.h"
#include "ThreadCommunicate.h"
#include "UserText.h"

namespace {

const char* BoolText(bool b) {
    return b ? "True" : "False";
}

uint16_t WordLE(const TArrayByte& a, size_t low) {
    return Bytes_ToWord(AnswerByte(a, low + 1), AnswerByte(a, low));
}

// The last line of a reading says whether it came through: "End getting [...]" only when it did.
class TEndLine {
  public:
    explicit TEndLine(const char* reading) : reading_(reading), exceptions_(std::uncaught_exceptions()) {}
    ~TEndLine() {
        try {
            if (std::uncaught_exceptions() > exceptions_)
                LogToday(fmt::format("Getting [{}] -> failed", reading_));
            else
                LogToday(fmt::format("End getting [{}]", reading_));
        } catch (...) {
        }
    }
    TEndLine(const TEndLine&) = delete;
    TEndLine& operator=(const TEndLine&) = delete;

  private:
    const char* reading_;
    int exceptions_;
};

} // namespace

void TThread_Communicate::GetSensorInfos() {
    LogToday("Start getting [Weather Data]");
    TEndLine end("Weather Data");
    DecodeWeather(Exchange({halvex::OrderGetWeather}));
    DecodeGustWind(Exchange({halvex::OrderGetGustWind}));
    DecodeFlags(Exchange({halvex::OrderGetFlags}));
    if (setup_.Log.VerboseLevel == LogExpert) {
        const TcapteursInfos& c = current_;
        LogToday(fmt::sprintf("TempExt (°C)          = %2.2f", FieldValue(c.ValueTempDeg)));
        LogToday(fmt::sprintf("TempRainSensor (°C)   = %1.2f", FieldValue(c.ValueTempFceDeg)));
        LogToday(fmt::sprintf("TempDetectorIR (°C)   = %1.2f", FieldValue(c.ValueCanDeg)));
        LogToday(fmt::sprintf("PowerDry (%%)          = %d", c.PowerRainDet));
        LogToday(fmt::sprintf("PowerIn (V)           = %1.2f", FieldValue(c.PowerVolts)));
    }
    WriteInfoData(current_);
    weatherRead_ = true;
}

void TThread_Communicate::DecodeWeather(const TArrayByte& a) {
    TcapteursInfos& c = current_;
    c.ValueTempDeg = static_cast<float>(Raw_ToTemperature(WordLE(a, 0)));
    c.PowerVolts = static_cast<float>(Raw_ToSupplyVolts(WordLE(a, 2)));
    c.Humidity = static_cast<float>(Raw_ToHumidity(WordLE(a, 4), setup_.SetupInfos_HW.RH_Correction));
    c.DateSysteme = StationDateTime(2000 + Bcd_ToByte(AnswerByte(a, 11)), Bcd_ToByte(AnswerByte(a, 10)),
                                    Bcd_ToByte(AnswerByte(a, 9)), Bcd_ToByte(AnswerByte(a, 8)),
                                    Bcd_ToByte(AnswerByte(a, 7)), Bcd_ToByte(AnswerByte(a, 6)));
    c.ValueTempFceDeg = static_cast<float>(Raw_ToTemperature(WordLE(a, 12)));
    c.ValueSkyVolts = static_cast<float>(Raw_ToVolts(WordLE(a, 14)));
    c.ValueSkyDeg = static_cast<float>(SkyVolts_ToDegrees(c.ValueSkyVolts));
    c.ValueCanVolts = static_cast<float>(Raw_ToVolts(WordLE(a, 16)));
    c.ValueCanDeg = static_cast<float>(Thermistor_ToDegrees(c.ValueCanVolts) - 2.0);
    const uint8_t rain = AnswerByte(a, 18);
    if (rain > 1) throw EOrvanelError(RangeErrorText);
    c.RainStatus = static_cast<uint8_t>(1 - rain);
    c.DewPoint = static_cast<float>(DewPointOf(c.ValueTempDeg, c.Humidity));
    c.DeltaTempDeg = c.ValueSkyDeg - c.ValueTempDeg;
}

void TThread_Communicate::DecodeGustWind(const TArrayByte& a) {
    TcapteursInfos& c = current_;
    const bool gust = WordLE(a, 1) != 0x8000;
    c.ValidWindGUST = gust;
    if (gust) {
        c.WindSpeedMax_ms = static_cast<float>(Tenths_ToValue(WordLE(a, 12)));
        c.DirSpeedMax_deg = static_cast<float>(Sector_ToDegrees(AnswerByte(a, 11)));
        return;
    }
    // No gust anemometer: the analog sensor, still under the lock.
    const TArrayByte analog = Exchange({halvex::OrderGetAnalogWind});
    float speed = 0, direction = 0;
    if (Analog_ToWindSpeed(WordLE(analog, 0), speed)) {
        c.WindSpeedMax_ms = speed;
        c.ValidWindGUST = true;
        c.DirSpeedMax_deg = 0;
        Analog_ToWindDir(WordLE(analog, 2), direction);
        c.DirSpeedMax_deg = direction;
    } else {
        c.ValidWindGUST = false;
        c.WindSpeedMax_ms = -1.0f;
        c.DirSpeedMax_deg = -1.0f;
    }
}

void TThread_Communicate::DecodeFlags(const TArrayByte& a) {
    auto& hw = setup_.SetupInfos_HW;
    current_.PowerRainDet = AnswerByte(a, 3);
    const auto flag = [&](TT_Bool& cell, size_t i) {
        cell.Value = AnswerByte(a, i) == 1;
        cell.Valid = true;
    };
    flag(hw.DefrostEnabled, 15);
    flag(hw.RainCleanEnabled, 14);
    flag(hw.RainStatus, 13);
    flag(hw.RoofSwitchActive, 16);
}

void TThread_Communicate::GetLightLevel() {
    LogToday("Start getting [light Data]");
    TEndLine end("Light Data");
    const TArrayByte a = Exchange({halvex::OrderGetLight});
    TLightSample sample;
    sample.Time = Now();
    sample.Counter = Bytes_ToLong(AnswerByte(a, 0), AnswerByte(a, 1), AnswerByte(a, 2), AnswerByte(a, 3));
    sample.Divider = AnswerByte(a, 4);
    sample.Gain = AnswerByte(a, 5);
    light_ = sample;
}

void ApplyLightSample(const TLightSample& sample, TcapteursInfos& c, const TSetupInfos& setup) {
    if (sample.Simulated) {
        c.LightValueAbs = sample.Counter;
        c.GainLight = sample.Gain;
        c.DividLight = sample.Divider;
        bool valid = LightPrevGain == 100 && LightPrevDivider == 1;
        c.Lumex = 0;
        const double seconds = (sample.Time - LightPrevDate) * 24 * 3600;
        // Two readings with no weather reading between them share one time stamp: no rate to compute.
        if (valid && seconds > 0 && c.LightValueAbs > LightPrevCounter)
            c.Lumex = std::log10((c.LightValueAbs - LightPrevCounter) / seconds * c.DividLight / c.GainLight);
        else
            valid = false;
        c.ValidLight = valid;
    } else {
        const uint32_t counter = sample.Counter;
        const uint8_t divider = sample.Divider, gain = sample.Gain;
        const TDateTime t = sample.Time;
        const auto logPhotodiode = [&setup](const std::string& text) {
            if (setup.Log.VerboseLevel == LogExpert) LogWrite("Photodiode.log", text);
        };
        c.LightValueAbs = counter;
        c.GainLight = gain;
        c.DividLight = divider;
        const int64_t d = static_cast<int64_t>(counter) - static_cast<int64_t>(LightPrevCounter);
        // A reading with no time elapsed since the previous one (the clock set back) has no rate.
        bool valid = gain == LightPrevGain && divider == LightPrevDivider && d > 0 && t > LightPrevDate;
        c.Lumex = 0;
        logPhotodiode(fmt::sprintf("Counter          = %d", counter));
        logPhotodiode(fmt::sprintf("GainLight        = %d", gain));
        logPhotodiode(fmt::sprintf("DividLight       = %d", divider));
        logPhotodiode(std::string("Gain changed     = ") + BoolText(!valid));
        logPhotodiode(fmt::sprintf("Ticks Delta (raw)= %d", d));
        if (valid) {
            const double r = CountRate(counter, LightPrevCounter, divider, gain, LightPrevDate, t);
            double lumex = LumexLogOf(setup.SetupInfos_HW.OffsetLevelLight, r, valid);
            c.Lumex = lumex;
            logPhotodiode(fmt::sprintf("Delta T (sec)    = %2.1f", (t - LightPrevDate) * 86400.0));
            logPhotodiode(fmt::sprintf("Ticks/sec (raw)  = %1.3f", r * 100));
            logPhotodiode(fmt::sprintf("LumexLog         = %1.3f", lumex));
            logPhotodiode(fmt::sprintf("Magnitude        = %1.2f", Lumex_ToMagnitude(lumex)));
            logPhotodiode(std::string("Data above Dark C= ") + BoolText(valid) + "\r\n");
            LightDeltaCounter = counter - LightPrevCounter;
        } else {
            LightDeltaCounter = 0;
            logPhotodiode("Gain changed/negative data !\r\n");
        }
        c.ValidLight = valid;
    }
    LightPrevDate = sample.Time;
    LightPrevCounter = sample.Counter;
    LightPrevGain = sample.Gain;
    LightPrevDivider = sample.Divider;
}
