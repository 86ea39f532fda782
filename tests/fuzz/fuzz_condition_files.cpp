// The small files other software polls, written from whatever a reading holds (a damaged record, a
// station that sends nonsense): infodata.txt keeps its twenty labelled lines, and the one-line file
// its length and every field at its column, or the line is refused with a clear error.
#include <cstring>
#include <string>
#include <vector>

#include "ConditionFiles.h"
#include "FuzzCheck.h"
#include "SettingsTable.h"
#include "UserText.h"

namespace {

// Fills value from the input as far as it lasts (zeros after).
template <typename T> void Take(const uint8_t*& data, size_t& size, T& value) {
    unsigned char bytes[sizeof(T)] = {};
    const size_t n = std::min(size, sizeof(T));
    std::memcpy(bytes, data, n);
    data += n;
    size -= n;
    std::memcpy(&value, bytes, sizeof(T));
}

const char* const InfoDataLabels[] = {
    "Fileversion          = ", "DateYear             = ", "DateMonth            = ", "DateDay              = ",
    "DateHour             = ", "DateMin              = ", "DateSec              = ", "TempExt (°C)         = ",
    "Humidity (%RH)       = ", "DewPoint (°C)        = ", "TempRainSensor (°C)  = ", "TempSkyIR   (°C)     = ",
    "TempDetectorIR (°C)  = ", "RainFall             = ", "WindSpeedGust (km/h) = ", "WinDirection (°)     = ",
    "PowerDry (%)         = ", "PowerIn (V)          = ", "LighLevel (Log a.u)  = ", "LighLevel (Mag/sec²) = ",
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InstallSettingDefaults();
    InitStartValues();
    PathLogs.clear();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TcapteursInfos reading{};
    Take(data, size, reading);
    uint8_t flavourByte = 0;
    Take(data, size, flavourByte);
    TDateTime now = 0;
    Take(data, size, now);
    TAutomationValues v;
    Take(data, size, v.CloudCondition);
    Take(data, size, v.WindCondition);
    Take(data, size, v.RainCondition);
    Take(data, size, v.DayCondition);
    for (double* d : {&v.RelSkyT, &v.AmbientT, &v.SensorT, &v.Wind, &v.WindDir, &v.HumidityPercent, &v.DewPointT,
                      &v.HeaterPercent, &v.MagnitudeSec, &v.CloudyThreshT, &v.VCloudyThreshT, &v.WindyThreshSpeed,
                      &v.VWindyThreshSpeed, &v.DateLastMeasurement})
        Take(data, size, *d);
    uint8_t flags = 0;
    Take(data, size, flags);
    v.RainF = flags & 1;
    v.RoofCloseRequested = flags & 2;

    const std::string info = InfoDataText(reading);
    size_t at = 0;
    for (const char* label : InfoDataLabels) {
        FUZZ_CHECK(info.compare(at, std::strlen(label), label) == 0, "infodata.txt line at %zu is not '%s': %s", at,
                   label, info.c_str());
        const size_t end = info.find("\r\n", at);
        FUZZ_CHECK(end != std::string::npos, "infodata.txt line '%s' without its CR LF", label);
        const std::string line = info.substr(at, end - at);
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos && line.size() > std::strlen(label),
                   "infodata.txt line '%s' broken or empty", line.c_str());
        at = end + 2;
    }
    FUZZ_CHECK(at == info.size(), "infodata.txt has more than its lines: %s", info.c_str() + at);

    const auto flavour = static_cast<TFileVersionDataCS>(1 + flavourByte % 3);
    const size_t length = flavour == CloudSensorI_File    ? OneLineLengthI
                          : flavour == CloudSensorII_File ? OneLineLengthII
                                                          : OneLineLengthIIStrict;
    std::string line;
    try {
        line = OneLineText(flavour, reading, v, now);
    } catch (const EOrvanelError& e) {
        FUZZ_CHECK(flavour == CloudSensorI_File && *e.what() != 0, "flavour %d refused a line: %s", int(flavour),
                   e.what());
        return 0;
    }
    FUZZ_CHECK(line.size() == length, "flavour %d line of %zu characters instead of %zu: '%s'", int(flavour),
               line.size(), length, line.c_str());
    FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "a line end inside the line '%s'", line.c_str());

    // Each field at its column, after a blank. In the short layout a heater of 100 % moves the
    // fields after it by one; the cloud code still ends the line.
    static const std::vector<size_t> columnsI = {1, 21, 24, 32, 38, 43, 67};
    static const std::vector<size_t> columnsII = {1,  24, 28, 35, 41, 49, 56, 60,  67,  71,
                                                  73, 75, 81, 94, 96, 98, 100, 103, 110};
    static const std::vector<size_t> columnsStrict = {1,  24, 28, 35, 41, 49, 56, 60,  67,  71,  73,
                                                      75, 81, 94, 96, 98, 100, 102, 104};
    const auto& columns = flavour == CloudSensorI_File    ? columnsI
                          : flavour == CloudSensorII_File ? columnsII
                                                          : columnsStrict;
    for (const size_t column : columns) {
        FUZZ_CHECK(line[column - 1] != ' ' && (column == 1 || line[column - 2] == ' '),
                   "flavour %d: no field starts at column %zu of '%s'", int(flavour), column, line.c_str());
    }
    size_t tokens = 0;
    for (size_t i = 0; i < line.size(); ++i)
        tokens += line[i] != ' ' && (i == 0 || line[i - 1] == ' ');
    FUZZ_CHECK(tokens == (flavour == CloudSensorI_File ? 11u : 21u), "flavour %d: %zu fields in '%s'", int(flavour),
               tokens, line.c_str());
    return 0;
}
