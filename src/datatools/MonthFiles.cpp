#include "MonthFiles.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fmt/format.h>
#include <regex>

#include "HistoryFile.h"
#include "HistoryStore.h" // MonthKeyOf
#include "UserText.h"
#include "Utilities.h"

namespace {

namespace fs = std::filesystem;

// A kind of fault found in records: how many and the first one.
struct TFault {
    size_t Count = 0;
    size_t FirstIndex = 0;
    TDateTime FirstDate = 0;
    void Add(size_t index, TDateTime date) {
        if (Count++ == 0) {
            FirstIndex = index;
            FirstDate = date;
        }
    }
};

bool HasNaN(const TcapteursInfos& r) {
    for (const float v :
         {r.ValueSkyVolts, r.ValueSkyDeg, r.ValueCanVolts, r.ValueCanDeg, r.ValueTempDeg, r.ValueTempFceDeg,
          r.DeltaTempDeg, r.Humidity, r.DewPoint, r.WindSpeedMax_ms, r.DirSpeedMax_deg, r.PowerVolts})
        if (std::isnan(v)) return true;
    return std::isnan(r.Lumex);
}

std::string FaultText(const char* what, const TFault& fault) {
    return fmt::format("{} record(s) {} (the first is record {}, dated {})", fault.Count, what,
                       fault.FirstIndex + 1, DateTimeText(fault.FirstDate));
}

std::string JoinProblems(const TMonthFileReport& report) {
    std::string text = report.Path + ":";
    for (const auto& p : report.Problems)
        text += " " + p + ";";
    text.pop_back();
    return text;
}

} // namespace

namespace {

TMonthFileReport CheckContent(const std::string& path, int year, int month, THistoryFileContent& content) {
    TMonthFileReport report;
    report.Path = path;
    report.Year = year;
    report.Month = month;
    content = ReadHistoryFile(path, false);
    if (!content.Exists) {
        report.Problems.push_back("the file does not exist");
        return report;
    }
    if (!content.Problem.empty()) {
        report.Problems.push_back(content.Problem);
        return report;
    }
    if (content.WrongMagic)
        report.Problems.push_back(fmt::format("bad header: wrong magic number {:08X}", content.Magic));
    const auto& records = content.Records;
    report.Count = records.size();
    if (!records.empty()) {
        report.First = records.front().DateSysteme;
        report.Last = records.back().DateSysteme;
    }
    if (content.HeaderCut)
        report.Problems.push_back("bad header: the file ends inside its header");
    else if (content.Announced < 0 || static_cast<size_t>(content.Announced) != content.Complete)
        report.Problems.push_back(fmt::format("bad header: it announces {} records, the file holds {}",
                                              content.Announced, content.Complete));
    if (content.ZeroRecords)
        report.Problems.push_back(fmt::format("{} record(s) whose every byte is zero", content.ZeroRecords));
    if (content.TrailingBytes)
        report.Problems.push_back(
            fmt::format("length is not a whole number of records: {} byte(s) after the last complete record",
                        content.TrailingBytes));

    const int key = year * 12 + month - 1;
    TFault outOfOrder, outsideMonth, notNumber;
    TDateTime last = -INFINITY;
    for (size_t i = 0; i < records.size(); ++i) {
        const TDateTime d = records[i].DateSysteme;
        if (HasNaN(records[i])) notNumber.Add(i, d);
        if (!std::isfinite(d) || MonthKeyOf(d) != key)
            outsideMonth.Add(i, d);
        else if (d < last)
            outOfOrder.Add(i, d);
        if (std::isfinite(d) && d > last) last = d;
    }
    if (outOfOrder.Count)
        report.Problems.push_back(FaultText("dated before the record preceding them", outOfOrder));
    if (outsideMonth.Count)
        report.Problems.push_back(
            FaultText(fmt::format("dated outside {:04d}-{:02d}", year, month).c_str(), outsideMonth));
    // Not a fault of the file: such a record is used as it is, by the monitor as here.
    if (notNumber.Count) report.Remarks.push_back(FaultText("with values that are not numbers", notNumber));
    return report;
}

} // namespace

TMonthFileReport CheckMonthFile(const std::string& path, int year, int month) {
    THistoryFileContent content;
    return CheckContent(path, year, month, content);
}

std::vector<TMonthFileReport> CheckDataFolder(const std::string& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw EOrvanelError(folder + ": no such data folder");
    static const std::regex monthName(R"((\d{4})_(\d{2})\.bin)");
    std::vector<std::pair<std::string, std::pair<int, int>>> files;
    fs::directory_iterator it(folder, ec), end;
    if (ec) throw EOrvanelError(folder + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec) throw EOrvanelError(folder + ": " + ec.message());
        const std::string name = it->path().filename().string();
        std::smatch m;
        if (!std::regex_match(name, m, monthName)) continue;
        const int month = std::stoi(m[2]);
        if (month < 1 || month > 12) continue;
        files.push_back({name, {std::stoi(m[1]), month}});
    }
    std::sort(files.begin(), files.end());
    std::string base = folder;
    IncludeBackslash(base);
    std::vector<TMonthFileReport> reports;
    for (const auto& [name, ym] : files)
        reports.push_back(CheckMonthFile(base + name, ym.first, ym.second));
    return reports;
}

TTDataStation ReadRecordsInRange(const std::string& folder, TDateTime from, TDateTime to) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) throw EOrvanelError(folder + ": no such data folder");
    std::string base = folder;
    IncludeBackslash(base);
    TTDataStation result;
    if (!(from <= to)) return result;
    for (int key = MonthKeyOf(from); key <= MonthKeyOf(to); ++key) {
        const int year = key / 12, month = key % 12 + 1;
        const std::string path = base + MonthFileName(year, month);
        if (!fs::exists(path, ec)) continue;
        THistoryFileContent content;
        const TMonthFileReport report = CheckContent(path, year, month, content);
        if (!report.Sound()) throw EOrvanelError(JoinProblems(report));
        for (const auto& r : content.Records)
            if (from <= r.DateSysteme && r.DateSysteme <= to) result.push_back(r);
    }
    return result;
}
