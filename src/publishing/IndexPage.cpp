#include "IndexPage.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "ConditionFiles.h"
#include "DateTime.h"
#include "FtpLoader.h"
#include "Records.h"

namespace {

std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Trimmed(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first);
}

} // namespace

std::string IndexPageHtml(const std::string& infoDataText, uint32_t refreshSeconds,
                          const std::string& stamp) {
    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html lang=\"fr\">\n<head>\n<meta charset=\"utf-8\">\n"
         << "<meta http-equiv=\"refresh\" content=\"" << std::max<uint32_t>(refreshSeconds, 10) << "\">\n"
         << "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         << "<title>Orvanel</title>\n<style>\n"
         << "body{background:#10131c;color:#dde;font-family:sans-serif;margin:1em}\n"
         << "img{max-width:100%;border:1px solid #334;margin:4px 0}\n"
         << ".grid{display:flex;flex-wrap:wrap;gap:12px}\n"
         << "table{border-collapse:collapse}td{padding:2px 10px;border-bottom:1px solid #334}\n"
         << "</style>\n</head>\n<body>\n<h1>Orvanel</h1>\n<p>" << Escaped(stamp) << "</p>\n<table>\n";
    std::istringstream lines(infoDataText);
    std::string line;
    bool any = false;
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        page << "<tr><td>" << Escaped(Trimmed(line.substr(0, eq))) << "</td><td>"
             << Escaped(Trimmed(line.substr(eq + 1))) << "</td></tr>\n";
        any = true;
    }
    if (!any) page << "<tr><td>-</td></tr>\n";
    page << "</table>\n<div class=\"grid\">\n";
    // Overview and dial first, then the plots.
    for (const char* name :
         {SnapshotFile::Overview, SnapshotFile::WindDisplay, SnapshotFile::SkyCloud, SnapshotFile::SkyLight,
          SnapshotFile::Temp, SnapshotFile::Humidity, SnapshotFile::WindSpeed})
        page << "<img src=\"" << name << "\" alt=\"" << name << "\">\n";
    page << "</div>\n</body>\n</html>\n";
    return page.str();
}

void WriteIndexPage(const std::string& path, uint32_t refreshSeconds) {
    std::string info;
    if (std::ifstream in(PathDatas + InfoDataFileName, std::ios::binary); in) {
        std::ostringstream all;
        all << in.rdbuf();
        info = all.str();
    }
    WriteFileAtomically(path, IndexPageHtml(info, refreshSeconds, DateTimeText(Now())));
}
