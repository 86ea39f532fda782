#include "SimOptions.h"

#include <cstdio>
#include <stdexcept>

#include "StationEncoding.h"

namespace halvex::sim {

namespace {

double Number(const std::string& option, const std::string& text, double low, double high) {
    try {
        std::size_t used = 0;
        const double v = std::stod(text, &used);
        if (used == text.size() && v >= low && v <= high) return v;
    } catch (const std::exception&) {
    }
    throw std::invalid_argument(option + ": '" + text + "' is not a number from " + std::to_string(low) +
                                " to " + std::to_string(high));
}

double Rate(const std::string& option, const std::string& text) {
    return Number(option, text, 0, 1);
}

std::vector<std::string> SplitList(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        if (comma > start) parts.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return parts;
}

TDateTime ParseClock(const std::string& text) {
    int y, mo, d, h = 0, mi = 0, s = 0;
    char tail = 0;
    const int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d%c", &y, &mo, &d, &h, &mi, &s, &tail);
    if ((n == 3 || n == 6) && y >= 2000 && y <= 2099 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 &&
        h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60)
        return EncodeDateTime(y, mo, d, h, mi, s);
    throw std::invalid_argument("--clock: '" + text + "' is not YYYY-MM-DD[ HH:MM:SS] (2000 to 2099)");
}

RoofCriteria ParseCriteria(const std::string& text, RoofCriteria c) {
    for (const std::string& item : SplitList(text)) {
        const std::size_t eq = item.find('=');
        if (eq == std::string::npos)
            throw std::invalid_argument("--criteria: '" + item + "' is not NAME=VALUE");
        const std::string name = item.substr(0, eq), value = item.substr(eq + 1);
        if (name == "watch")
            c.DoWatch = Number("--criteria watch", value, 0, 1) != 0;
        else if (name == "sky")
            c.TempSky24 = FloatToFloat24(Number("--criteria sky", value, -100, 100));
        else if (name == "rh")
            c.RhByte = static_cast<uint8_t>(Number("--criteria rh", value, 0, 255));
        else if (name == "wind")
            c.WindKmh = static_cast<uint8_t>(Number("--criteria wind", value, 0, 255));
        else if (name == "light")
            c.Light = Number("--criteria light", value, 0, 1) != 0;
        else if (name == "mag")
            c.MagCounter = MagnitudeToCounter(Number("--criteria mag", value, -5, 25));
        else
            throw std::invalid_argument("--criteria: unknown name '" + name + "'");
    }
    return c;
}

} // namespace

SimCommandLine ParseSimCommandLine(const std::vector<std::string>& arguments) {
    SimCommandLine result;
    StationOptions& o = result.Station;
    LineFaults& f = o.Faults;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::string value;
        bool hasValue = false;
        const std::size_t eq = option.find('=');
        if (option.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = option.substr(eq + 1);
            option = option.substr(0, eq);
            hasValue = true;
        }
        auto next = [&]() -> const std::string& {
            if (!hasValue) {
                if (i + 1 >= arguments.size()) throw std::invalid_argument(option + " needs a value");
                value = arguments[++i];
                hasValue = true;
            }
            return value;
        };
        auto flag = [&] {
            if (hasValue) throw std::invalid_argument(option + " takes no value");
        };
        if (option == "--help" || option == "-h") {
            flag();
            result.Help = true;
        } else if (option == "--link")
            result.LinkPath = next();
        else if (option == "--firmware") {
            o.Firmware = next();
            try {
                ParseFirmwareVersion(o.Firmware);
            } catch (const std::invalid_argument& e) {
                throw std::invalid_argument(option + ": " + e.what());
            }
        } else if (option == "--seed")
            o.Seed = static_cast<uint64_t>(Number(option, next(), 0, 1e15));
        else if (option == "--speed")
            o.Speed = Number(option, next(), 0.001, 1e6);
        else if (option == "--day-length")
            o.DayLengthSeconds = 60 * Number(option, next(), 1, 1440);
        else if (option == "--clock")
            o.StartClock = ParseClock(next());
        else if (option == "--interval")
            o.IntervalSec = static_cast<uint16_t>(Number(option, next(), 1, 65535));
        else if (option == "--idle")
            o.IdleSeconds = Number(option, next(), 0, 1e9);
        else if (option == "--records")
            o.PrefillRecords = static_cast<uint32_t>(Number(option, next(), 0, RingRecords - 1));
        else if (option == "--wraps")
            o.PrefillWraps = static_cast<uint32_t>(Number(option, next(), 0, 255));
        else if (option == "--erase") {
            for (const std::string& k : SplitList(next()))
                o.ErasedRecords.push_back(static_cast<uint32_t>(Number(option, k, 1, RingRecords)));
        } else if (option == "--analog-wind") {
            flag();
            o.GustSensor = false;
            o.AnalogWind = true;
        } else if (option == "--no-wind") {
            flag();
            o.GustSensor = false;
            o.AnalogWind = false;
        } else if (option == "--criteria")
            o.Criteria = ParseCriteria(next(), o.Criteria);
        else if (option == "--silent") {
            flag();
            f.Silent = true;
        } else if (option == "--lose")
            f.LostByteRate = Rate(option, next());
        else if (option == "--corrupt")
            f.CorruptByteRate = Rate(option, next());
        else if (option == "--bad-checksum")
            f.BadChecksumRate = Rate(option, next());
        else if (option == "--wrong-start")
            f.WrongStartRate = Rate(option, next());
        else if (option == "--long-length")
            f.LongLengthRate = Rate(option, next());
        else if (option == "--short-answer")
            f.ShortAnswerRate = Rate(option, next());
        else if (option == "--delay")
            f.DelayMs = static_cast<int>(Number(option, next(), 0, 60000));
        else if (option == "--split")
            f.SplitPieces = static_cast<int>(Number(option, next(), 1, 64));
        else if (option == "--split-gap")
            f.SplitGapMs = static_cast<int>(Number(option, next(), 0, 10000));
        else if (option == "--line-timing") {
            flag();
            f.LineTiming = true;
        } else if (option == "--scenario")
            o.Scenario = ParseScenario(next());
        else if (option == "--record-log")
            o.RecordLog = next();
        else if (option == "--verbose" || option == "-v") {
            flag();
            o.Verbose = true;
        } else
            throw std::invalid_argument("unknown option '" + arguments[i] + "' (see --help)");
    }
    return result;
}

std::string SimUsage() {
    return R"(Usage: halvex-sim [OPTIONS]
A Halvex sky station in software, on a pseudo-terminal. Prints the device path, then serves it
until interrupted (Ctrl+C).

Station:
  --link PATH            make PATH a symbolic link to the device (removed at exit)
  --firmware X.Y         version reported (default 2.65); below 2.65 the roof criteria come in
                         the 0x1A answer, from 2.65 in the 0x35 answer ("2.100" reads as 2.1)
  --seed N               weather and fault randomness (default 1); the same seed gives the same run
  --speed X              simulated seconds per real second (default 1; 60 = an hour a minute)
  --day-length MIN       length of a day and night cycle in simulated minutes (default 1440,
                         following the station clock)
  --clock "YYYY-MM-DD HH:MM:SS"  station clock at start (default: the computer's clock)
  --interval SEC         memory recording interval at start (default 60)
  --idle SEC             no order for this long (simulated) and the memory records (default 120)
  --records N            memory already holds N records in its current pass (0 to 7709)
  --wraps W              ... and has wrapped W times (0 to 255)
  --erase K[,K...]       records K (from 1) read as erased memory (bytes 0xFF)
  --analog-wind          no gust anemometer (0x23 reports no data); the 4-20 mA sensor (0x33) has the wind
  --no-wind              no wind sensor at all
  --criteria LIST        roof criteria held at start, e.g. watch=1,sky=-10,rh=90,wind=50,light=0,mag=5
  --scenario LIST        scripted weather, NAME[=VALUE]@FROM-TO in simulated minutes, e.g.
                         "rain@3-5,wind=40@10-12". Names: rain, dry, wind (km/h), dir (degrees),
                         sky (sky minus air, °C), rh (%), temp (°C), mag (mag/arcsec²),
                         silent (no answers)
  --record-log PATH      append the clock of every record written to the memory to PATH
  --verbose              print every order and answer on standard error

Line faults (RATE from 0 to 1):
  --silent               never answer
  --lose RATE            each answer byte lost at this rate
  --corrupt RATE         each answer byte altered at this rate
  --bad-checksum RATE    answers with a wrong checksum
  --wrong-start RATE     answers with a wrong start byte (0x1E)
  --long-length RATE     answers whose length byte says 40 (above the 22 the PC accepts)
  --short-answer RATE    answers one byte shorter than the order's layout
  --delay MS             every answer this late
  --split N              every answer written in N pieces
  --split-gap MS         pause between the pieces (default 2)
  --line-timing          pace bytes as a 115200-baud line does (about 87 µs a byte)
  --help                 this text
  --version              the version
)";
}

} // namespace halvex::sim
