// The page's files, built into the program from resources/web/ so that it serves them itself: no
// installation path to find, no request leaving the observatory.
#pragma once

#include <string_view>

struct TWebFile {
    std::string_view Path; // "index.html", "dashboard.js", "uPlot.min.css"...
    std::string_view ContentType;
    std::string_view Bytes;
};

// The file of that name (no folders), or nullptr.
const TWebFile* FindWebFile(std::string_view name);
