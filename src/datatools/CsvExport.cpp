#include "CsvExport.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fmt/format.h>
#include <fmt/printf.h>
#include <iterator>
#include <unistd.h>

#include "Conditions.h"     // WindDisplaySpeed
#include "ConditionTexts.h" // WindUnitText
#include "FileIo.h"
#include "UserText.h"
#include "WeatherFormulas.h"

namespace {

// Lines are gathered into blocks of about this size before each write.
constexpr size_t kBlockBytes = 1 << 20;

// dd/mm/yyyy hh:nn:ss, the same text as DateTimeText, written straight into the buffer.
void AppendDateTime(fmt::memory_buffer& out, TDateTime value) {
    if (!(value >= -693593 && value <= 2958466)) {
        out.append(DateTimeText(value));
        return;
    }
    const auto p = DecodeDateTime(value);
    fmt::format_to(std::back_inserter(out), "{:02d}/{:02d}/{:04d} {:02d}:{:02d}:{:02d}", p.Day, p.Month,
                   p.Year, p.Hour, p.Minute, p.Second);
}

void AppendLine(fmt::memory_buffer& out, const TcapteursInfos& r, const TSetupInfos& setup) {
    const double date = r.DateSysteme;
    const double temp = r.ValueTempDeg, sky = r.ValueSkyDeg, lumex = r.Lumex;
    AppendDateTime(out, date);
    fmt::format_to(std::back_inserter(out),
                   ";{:.6f};{:.2f};{:.2f};{:.2f};{:d};{:.2f};{:.2f};{:.1f};{:.1f};{:.1f};\r\n", date, temp,
                   sky, sky - temp, static_cast<int>(r.RainStatus), (lumex + 3) * 10,
                   Lumex_ToMagnitude(lumex), static_cast<double>(r.DirSpeedMax_deg),
                   WindDisplaySpeed(r.WindSpeedMax_ms, setup), static_cast<double>(r.Humidity));
}

TCsvExportResult Failure(const std::string& target, int error, size_t lines) {
    TCsvExportResult result;
    result.Lines = lines;
    result.Error = error;
    result.Text = fmt::sprintf(Tr("CsvExport", "L'export CSV dans %s a échoué (%s) : le fichier est incomplet, "
                                            "%d ligne(s) de données écrite(s)."),
                               target, std::strerror(error), static_cast<int>(lines));
    return result;
}

} // namespace

std::string CsvFileName(const std::string& chosen) {
    std::string extension;
    if (chosen.size() >= 4) extension = chosen.substr(chosen.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return extension == ".CSV" ? chosen : chosen + ".csv";
}

std::string CsvHeader(const TSetupInfos& setup) {
    std::string header;
    for (const std::string& title :
         {Tr("CsvExport", "Date"), Tr("CsvExport", "Date"), Tr("CsvExport", "Temp °C"), Tr("CsvExport", "Tp Ciel °C"),
          Tr("CsvExport", "Tp Ciel-Temp °C"), Tr("CsvExport", "Pluie"), Tr("CsvExport", "Lumière"),
          Tr("CsvExport", "Lumiere (Mag)"), Tr("CsvExport", "Dir. Vent (°)"),
          Tr("CsvExport", "Vent (") + WindUnitText(setup) + ")", Tr("CsvExport", "Humidité (%)")})
        header += title + ";";
    return header + "\r\n";
}

std::string CsvLine(const TcapteursInfos& record, const TSetupInfos& setup) {
    fmt::memory_buffer out;
    AppendLine(out, record, setup);
    return fmt::to_string(out);
}

TCsvExportResult WriteCsvExport(int fd, std::span<const TcapteursInfos> records, const TSetupInfos& setup,
                                const std::string& target) {
    TCsvExportResult result;
    fmt::memory_buffer out;
    out.append(CsvHeader(setup));
    size_t pending = 0; // lines in the buffer
    auto flush = [&]() -> int {
        const int error = WriteFully(fd, out.data(), out.size());
        if (error == 0) result.Lines += pending;
        out.clear();
        pending = 0;
        return error;
    };
    for (size_t i = records.size(); i-- > 0;) {
        const TcapteursInfos& r = records[i];
        if (!r.ValidLight) continue;
        AppendLine(out, r, setup);
        ++pending;
        if (out.size() >= kBlockBytes)
            if (const int error = flush()) return Failure(target, error, result.Lines);
    }
    if (const int error = flush()) return Failure(target, error, result.Lines);
    return result;
}

TCsvExportResult ExportCsvFile(const std::string& path, std::span<const TcapteursInfos> records,
                               const TSetupInfos& setup) {
    TFileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.IsOpen()) {
        TCsvExportResult result;
        result.Error = errno;
        result.Text =
            fmt::sprintf(Tr("CsvExport", "Le fichier %s ne peut pas être créé (%s) : rien n'a été exporté."),
                         path, std::strerror(result.Error));
        return result;
    }
    TCsvExportResult result = WriteCsvExport(file.Get(), records, setup, path);
    // A delayed write error (a full disk on a network file system) shows up at the close.
    if (const int error = file.Close(); error && result.Succeeded())
        return Failure(path, error, result.Lines);
    return result;
}
