#include "Utilities.h"

#include <algorithm>
#include <climits>
#include <sys/resource.h>
#include <cstdlib>
#include <filesystem>
#include <fmt/printf.h>
#include <fnmatch.h>
#include <system_error>
#include <unistd.h>

#include "Records.h"
#include "UserText.h"

namespace fs = std::filesystem;

namespace {

// Byte offsets of each UTF-8 character start, so that lengths count characters, not bytes.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
    return starts;
}

std::string Trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool IsExecutableFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

void QuickSort(std::vector<double>& a, long lo, long hi) {
    while (lo < hi) {
        const double pivot = a[static_cast<size_t>(lo + (hi - lo) / 2)];
        long i = lo, j = hi;
        while (i <= j) {
            while (a[static_cast<size_t>(i)] < pivot)
                ++i;
            while (a[static_cast<size_t>(j)] > pivot)
                --j;
            if (i <= j) std::swap(a[static_cast<size_t>(i++)], a[static_cast<size_t>(j--)]);
        }
        // Recurse into the smaller side so that the stack stays shallow on sorted input.
        if (j - lo < hi - i) {
            QuickSort(a, lo, j);
            lo = i;
        } else {
            QuickSort(a, i, hi);
            hi = j;
        }
    }
}

} // namespace

void IncludeBackslash(std::string& path) {
    if (path.empty() || path.back() != '/') path += '/';
}

std::string TryEnsureFolder(const std::string& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) return {};
    fs::create_directories(path, ec);
    if (fs::is_directory(path, ec)) return {};
    return fmt::sprintf(
        Tr("Utilities",
           "Le chemin suivant [%s] n'existe pas et ne peut pas être créé, le programme sera terminé !"),
        path);
}

void EnsureFolder(const std::string& path) {
    const std::string message = TryEnsureFolder(path);
    if (message.empty()) return;
    ShowUserMessage(message);
    std::exit(1);
}

void MoveFilesTo(const std::string& sourceFolder, const std::string& mask, const std::string& destFolder) {
    std::error_code ec;
    if (!fs::is_directory(sourceFolder, ec)) return;
    std::vector<fs::path> sources;
    for (const auto& entry : fs::directory_iterator(sourceFolder, ec)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_regular_file(ec) && ::fnmatch(mask.c_str(), name.c_str(), FNM_PERIOD) == 0)
            sources.push_back(entry.path());
    }
    const auto cannotDelete = [](const fs::path& p) {
        ShowUserMessage(fmt::sprintf(
            Tr("Utilities",
               "Ne peut effacer ce fichier [%s], des droits administrateurs sont sans doute requis !"),
            p.string()));
    };
    for (const auto& source : sources) {
        const fs::path destination = fs::path(destFolder) / source.filename();
        if (fs::exists(destination, ec)) {
            if (!fs::remove(source, ec)) cannotDelete(source);
            continue;
        }
        if (!fs::copy_file(source, destination, fs::copy_options::overwrite_existing, ec)) {
            ShowUserMessage(fmt::sprintf(Tr("Utilities", "Erreur ! Ne peut copier [%s]  vers [%s] !"),
                                         source.string(), destination.string()));
            continue;
        }
        if (!fs::remove(source, ec)) cannotDelete(source);
    }
}

std::string ShortenForDisplay(const std::string& text, int maxLength) {
    const auto starts = CharacterStarts(text);
    const long count = static_cast<long>(starts.size());
    if (count <= maxLength) return text;
    const long k = std::max(0L, static_cast<long>(maxLength - 5) / 2);
    const std::string head = text.substr(0, k < count ? starts[static_cast<size_t>(k)] : text.size());
    const std::string tail = text.substr(starts[static_cast<size_t>(count - k)]);
    return head + "..." + tail;
}

TProgramCommand SplitProgramCommandLine(const std::string& c) {
    if (c.size() < 5) return {};
    size_t end = 0;
    for (size_t n = c.size(); n >= 5 && end == 0; --n) {
        std::string three = c.substr(n - 3, 3);
        std::transform(three.begin(), three.end(), three.begin(),
                       [](unsigned char ch) { return std::toupper(ch); });
        if (three == "EXE" || three == "COM" || three == "BAT") end = n;
    }
    if (end == 0) {
        // Linux programs rarely carry an extension: accept the longest leading part, cut at a blank,
        // that names an executable file.
        for (size_t n = c.size(); n > 0 && end == 0; --n)
            if ((n == c.size() || c[n] == ' ') && IsExecutableFile(Trim(c.substr(0, n)))) end = n;
    }
    if (end == 0)
        throw EOrvanelError(Tr("Utilities", "N'est pas un fichier éxécutable valide : ") + c + " [-1]");
    TProgramCommand command{Trim(c.substr(0, end)), Trim(c.substr(end))};
    if (!FileExists(command.Program))
        throw EOrvanelError(Tr("Utilities", "Fichier non trouvé : ") + "\"" + command.Program + "\"");
    return command;
}

std::vector<std::string> SplitParameters(const std::string& parameters) {
    std::vector<std::string> out;
    std::string current;
    bool quoted = false, any = false;
    for (char ch : parameters) {
        if (ch == '"') {
            quoted = !quoted;
            any = true;
        } else if ((ch == ' ' || ch == '\t') && !quoted) {
            if (any) out.push_back(current);
            current.clear();
            any = false;
        } else {
            current += ch;
            any = true;
        }
    }
    if (any) out.push_back(current);
    return out;
}

std::string ResolveSoundFile(const std::string& fileName) {
    if (fileName.empty()) return {};
    if (FileExists(fileName)) return fileName;
    if (FileExists(PathExe + fileName)) return PathExe + fileName;
    return {};
}

void SortFloats(std::vector<double>& values) {
    if (values.size() > 1) QuickSort(values, 0, static_cast<long>(values.size()) - 1);
}

double MedianOfFloats(std::vector<double>& values, int n) {
    if (n < 1 || static_cast<size_t>(n) > values.size())
        throw EOrvanelError("MedianOfFloats: empty or short list");
    QuickSort(values, 0, n - 1);
    const size_t half = static_cast<size_t>(n / 2);
    if (n % 2 == 1) return values[half];
    return (values[half - 1] + values[half]) / 2.0;
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

long RaiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > static_cast<rlim_t>(LONG_MAX)) return LONG_MAX;
    return static_cast<long>(limit.rlim_cur);
}

int ServerConnectionCap(long openFileLimit, int wanted) {
    return static_cast<int>(std::max(1L, std::min<long>(wanted, openFileLimit / 4)));
}

std::string PathWithoutHome(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (!home || !*home) return path;
    std::string prefix = home;
    while (prefix.size() > 1 && prefix.back() == '/')
        prefix.pop_back();
    if (prefix == "/") return path;
    if (path == prefix) return "~";
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
        path[prefix.size()] == '/')
        return "~" + path.substr(prefix.size());
    return path;
}
