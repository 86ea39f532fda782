#include "ConditionFiles.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "Conditions.h"
#include "Log.h"
#include "NumberText.h"
#include "ReadingValues.h"
#include "UserText.h"

namespace {

constexpr const char* CrLf = "\r\n";

std::string SystemErrorText(const std::string& what, const std::string& path, int error) {
    return fmt::format("{} {}: {}", what, path, std::strerror(error));
}

std::string ReplaceErrorText(const std::string& path, const TReplaceResult& result) {
    switch (result.Step) {
    case TReplaceStep::Create:
        return SystemErrorText("Cannot create", result.TemporaryPath, result.Error);
    case TReplaceStep::Write:
        return SystemErrorText("Cannot write", result.TemporaryPath, result.Error);
    case TReplaceStep::Replace:
        break;
    }
    return SystemErrorText("Cannot replace", path, result.Error);
}

// ---- One-line file ----------------------------------------------------------------------------

// The line is laid out on a template of blanks: each field starts at its 1-based column. A field
// that would run into the one before it (a value wider than its gap) is put one blank after it
// instead, so that values stay apart and nothing is cut off at the end.
class TLineBuilder {
  public:
    TLineBuilder() : line_(130, ' ') {}

    void Put(size_t column, const std::string& field) {
        size_t at = column - 1;
        if (end_ > 0 && at <= end_) at = end_ + 1;
        line_.insert(at, field);
        end_ = at + field.size();
    }

    // Cut to the layout's length; only template blanks are dropped.
    std::string Finish(size_t length) const { return line_.substr(0, std::max(length, end_)); }
    // The line as far as it was built, for the log.
    std::string Partial() const { return line_.substr(0, end_); }

  private:
    std::string line_;
    size_t end_ = 0; // one past the last character of the last field
};

std::string DateTimeField(const TDateTimeParts& p) {
    return fmt::format("{}-{}-{} {}:{}:{}", p.Year, TwoDigitField(p.Month), TwoDigitField(p.Day),
                       TwoDigitField(p.Hour), TwoDigitField(p.Minute), TwoDigitField(p.Second));
}

// Seconds from the measurement to now. Raises when negative or beyond 32 bits unsigned.
long long DataAgeSeconds(TDateTime measured, TDateTime now) {
    const double age = std::nearbyint((now - measured) * 86400.0);
    if (!(age >= 0) || age > 4294967295.0)
        throw EOrvanelError(fmt::format("Data age out of range ({:.0f} s)", age));
    return static_cast<long long>(age);
}

std::string DataAgeFieldII(TDateTime measured, TDateTime now) {
    try {
        return FiveDigitField(DataAgeSeconds(measured, now));
    } catch (const std::exception&) {
        LogToday(fmt::sprintf("Exception CS II-> %d", 0));
        return "00000";
    }
}

std::string Decimal(double value) {
    return fmt::sprintf("%2.1f", value);
}

void BuildFlavourI(TLineBuilder& b, const TcapteursInfos& r, const TAutomationValues& v, TDateTime now) {
    b.Put(1, DateTimeField(DecodeDateTime(r.DateSysteme)));
    b.Put(21, "C");
    b.Put(24, Decimal(r.DeltaTempDeg));
    b.Put(32, Decimal(r.ValueTempDeg));
    b.Put(38, Decimal(r.ValueCanDeg));
    b.Put(43, TwoDigitField(r.PowerRainDet));
    b.Put(46, r.RainStatus != 0 ? "1" : "0");
    b.Put(48, FiveDigitField(DataAgeSeconds(r.DateSysteme, now)));
    b.Put(54, fmt::sprintf("%1.5f", now));
    b.Put(67, fmt::format("{}", v.CloudCondition));
}

// The flavour-II fields up to and including the daylight code.
void BuildFlavourIIConditions(TLineBuilder& b, const TcapteursInfos& r, const TAutomationValues& v,
                              TDateTime now) {
    const TDateTimeParts when = DecodeDateTime(r.DateSysteme);
    const std::string rain = r.RainStatus != 0 ? "2" : "0";
    b.Put(1, DateTimeField(when) + "." + TwoDigitField(when.MilliSecond / 10));
    b.Put(24, "C K");
    b.Put(28, Decimal(r.DeltaTempDeg));
    b.Put(35, Decimal(r.ValueTempDeg));
    b.Put(41, Decimal(r.ValueCanDeg));
    b.Put(49, Decimal(MsToKmh(r.WindSpeedMax_ms)));
    b.Put(56, TwoDigitField(static_cast<long long>(std::nearbyint(r.Humidity))));
    b.Put(60, Decimal(r.DewPoint));
    b.Put(67, TwoDigitField(r.PowerRainDet));
    b.Put(71, rain);
    b.Put(73, rain);
    b.Put(75, DataAgeFieldII(r.DateSysteme, now));
    b.Put(81, "0" + fmt::sprintf("%1.5f", now));
    b.Put(94, fmt::format("{}", v.CloudCondition));
    b.Put(96, fmt::format("{}", v.WindCondition));
    b.Put(98, fmt::format("{}", v.RainCondition));
    b.Put(100, fmt::format("{}", v.DayCondition));
}

void BuildFlavourII(TLineBuilder& b, const TcapteursInfos& r, const TAutomationValues& v, TDateTime now) {
    BuildFlavourIIConditions(b, r, v, now);
    b.Put(103, fmt::sprintf("%1.1f", v.MagnitudeSec));
    b.Put(110, fmt::sprintf("%1.0f", v.WindDir));
}

void BuildFlavourIIStrict(TLineBuilder& b, const TcapteursInfos& r, const TAutomationValues& v,
                          TDateTime now) {
    BuildFlavourIIConditions(b, r, v, now);
    b.Put(102, v.RoofCloseRequested ? "1" : "0");
    b.Put(104, v.RoofCloseRequested || r.RainStatus != 0 ? "1" : "0");
}

std::string BuildOneLine(TLineBuilder& b, TFileVersionDataCS flavour, const TcapteursInfos& r,
                         const TAutomationValues& v, TDateTime now) {
    switch (flavour) {
    case CloudSensorI_File:
        BuildFlavourI(b, r, v, now);
        return b.Finish(OneLineLengthI);
    case CloudSensorII_File:
        BuildFlavourII(b, r, v, now);
        return b.Finish(OneLineLengthII);
    case CloudSensorIIStrict_File:
        BuildFlavourIIStrict(b, r, v, now);
        return b.Finish(OneLineLengthIIStrict);
    default:
        throw EOrvanelError(fmt::format("Unknown condition file layout {}", static_cast<int>(flavour)));
    }
}

// ---- Information file -----------------------------------------------------------------------

std::string NoDataOr(bool valid, const std::string& text) {
    return valid ? text : "NoData";
}

} // namespace

void WriteFileAtomically(const std::string& path, const std::string& content) {
    // Created with the usual permissions (0666 less the umask) so other programs may read it.
    const TByteRun runs[] = {std::as_bytes(std::span(content))};
    const TReplaceResult result = ReplaceFileAtomically(path, runs);
    if (!result.Succeeded()) throw EOrvanelError(ReplaceErrorText(path, result));
}

std::string TwoDigitField(long long value) {
    return value > 9 ? fmt::format("{}", value) : fmt::format("0{}", value);
}

std::string FiveDigitField(long long value) {
    if (value > 9999) return fmt::format("{}", value);
    return fmt::format("{:05d}", value);
}

std::string InfoDataText(const TcapteursInfos& r) {
    const TDateTimeParts p = DecodeDateTime(r.DateSysteme);
    const bool wind = r.ValidWindGUST != 0;
    const bool light = r.ValidLight != 0;
    const std::string lines[] = {
        "Fileversion          = 1.01",
        fmt::sprintf("DateYear             = %d", p.Year),
        fmt::sprintf("DateMonth            = %d", p.Month),
        fmt::sprintf("DateDay              = %d", p.Day),
        fmt::sprintf("DateHour             = %d", p.Hour),
        fmt::sprintf("DateMin              = %d", p.Minute),
        fmt::sprintf("DateSec              = %d", p.Second),
        "TempExt (°C)         = " + ReadingValueText(r, TReadingValue::AmbientTemperature),
        "Humidity (%RH)       = " + ReadingValueText(r, TReadingValue::Humidity),
        "DewPoint (°C)        = " + ReadingValueText(r, TReadingValue::DewPoint),
        "TempRainSensor (°C)  = " + ReadingValueText(r, TReadingValue::RainSensorTemperature),
        "TempSkyIR   (°C)     = " + ReadingValueText(r, TReadingValue::SkyTemperature),
        "TempDetectorIR (°C)  = " + ReadingValueText(r, TReadingValue::DetectorTemperature),
        std::string("RainFall             = ") + (r.RainStatus != 0 ? "Yes" : "No"),
        "WindSpeedGust (km/h) = " + NoDataOr(wind, ReadingValueText(r, TReadingValue::WindGust)),
        "WinDirection (°)     = " + NoDataOr(wind, ReadingValueText(r, TReadingValue::WindDirection)),
        "PowerDry (%)         = " + ReadingValueText(r, TReadingValue::Heater),
        "PowerIn (V)          = " + ReadingValueText(r, TReadingValue::Supply),
        "LighLevel (Log a.u)  = " + NoDataOr(light, ReadingValueText(r, TReadingValue::LightLevel)),
        "LighLevel (Mag/sec²) = " +
            (light ? ReadingValueText(r, TReadingValue::SkyBrightness) : std::string("NoData ")),
    };
    std::string text;
    for (const auto& line : lines)
        text += line + CrLf;
    return text;
}

void WriteInfoDataFile(const TcapteursInfos& reading) {
    WriteFileAtomically(PathDatas + InfoDataFileName, InfoDataText(reading));
}

std::string OneLineText(TFileVersionDataCS flavour, const TcapteursInfos& reading,
                        const TAutomationValues& values, TDateTime now) {
    TLineBuilder builder;
    return BuildOneLine(builder, flavour, reading, values, now);
}

TConditionFileTarget ConditionFileTarget(const std::string& path) {
    const uid_t me = ::geteuid();
    auto refuse = [&](const std::string& reason, const char* refusal) {
        return TConditionFileTarget{
            {},
            "Condition file " + path + " not written: " + reason,
            // Short: the status line keeps 70 characters of a longer text.
            fmt::sprintf(Tr("ConditionFiles", "%s non écrit : %s"), path, Tr("ConditionFiles", refusal))};
    };
    // A name erased by hand: the layout still asks for a file.
    if (path.empty())
        return {{},
                "Condition file not written: no file name (BoltWoodFileName)",
                Tr("ConditionFiles", "Fichier de conditions non écrit : aucun nom de fichier (réglage "
                                     "\"BoltWoodFileName\" sous [Config])")};
    std::string current = path;
    for (int links = 0; links < 16; ++links) {
        struct stat st {};
        // Missing: a new file (a missing folder is the write's own failure).
        if (::lstat(current.c_str(), &st) != 0) return {current, {}, {}};
        if (S_ISLNK(st.st_mode)) {
            if (st.st_uid != me)
                return refuse(
                    fmt::format("{} is a symbolic link of another user (uid {})", current, st.st_uid),
                    TrNoop("ConditionFiles", "c'est un lien symbolique d'un autre utilisateur"));
            std::string next(4096, '\0');
            const ssize_t n = ::readlink(current.c_str(), next.data(), next.size());
            if (n <= 0 || size_t(n) >= next.size()) return {current, {}, {}};
            next.resize(size_t(n));
            if (next.front() != '/') {
                const size_t slash = current.rfind('/');
                if (slash != std::string::npos) next = current.substr(0, slash + 1) + next;
            }
            current = next;
            continue;
        }
        if (!S_ISREG(st.st_mode))
            return refuse(current + " is not a regular file",
                          TrNoop("ConditionFiles", "ce n'est pas un fichier ordinaire"));
        if (st.st_uid != me)
            return refuse(fmt::format("{} belongs to another user (uid {})", current, st.st_uid),
                          TrNoop("ConditionFiles", "il appartient à un autre utilisateur"));
        return {current, {}, {}};
    }
    return refuse("too many symbolic links", TrNoop("ConditionFiles", "trop de liens symboliques"));
}

bool WriteOneLineFile(const std::string& path, TFileVersionDataCS flavour, const TcapteursInfos& reading,
                      const TAutomationValues& values, TConditionFileTarget* refused) {
    if (flavour == CloudSensor_NOFile) return false;
    const TConditionFileTarget target = ConditionFileTarget(path);
    if (target.Path.empty()) {
        if (refused)
            *refused = target;
        else
            LogToday(target.Reason);
        return false;
    }
    TLineBuilder builder;
    std::string line;
    try {
        line = BuildOneLine(builder, flavour, reading, values, Now()) + CrLf;
    } catch (const std::exception& e) {
        LogToday("Write of " + path + " CSII/I file has failed -> " + e.what() + " " + builder.Partial());
        return false;
    }
    const TByteRun runs[] = {std::as_bytes(std::span(line))};
    const TReplaceResult result = ReplaceFileAtomically(target.Path, runs);
    if (result.Succeeded()) return true;
    // A folder that is missing or closed stays so from one reading to the next: told like a refusal.
    const std::string reason =
        "Write of " + path + " CSII/I file has failed -> " + ReplaceErrorText(target.Path, result);
    if (refused)
        *refused = {{},
                    reason,
                    fmt::sprintf(Tr("ConditionFiles", "%s non écrit : %s"), path, std::strerror(result.Error))};
    else
        LogToday(reason);
    return false;
}

std::string TConditionFileWriter::Write(const std::string& path, TFileVersionDataCS flavour,
                                        const TcapteursInfos& reading, const TAutomationValues& values) {
    TConditionFileTarget refused;
    if (WriteOneLineFile(path, flavour, reading, values, &refused)) told_.clear();
    if (refused.Refusal.empty() || refused.Refusal == told_) return {};
    told_ = refused.Refusal;
    LogToday(refused.Reason);
    return refused.Refusal;
}
