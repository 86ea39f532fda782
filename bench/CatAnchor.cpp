#include "CatAnchor.h"

#include <algorithm>
#include <fcntl.h>
#include <fmt/format.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>

extern char** environ;

namespace {

// One run of cat over the files, output to /dev/null; the seconds it took, process start included.
double CatOnce(const std::vector<std::string>& files) {
    std::vector<char*> argv{const_cast<char*>("cat")};
    for (const auto& f : files)
        argv.push_back(const_cast<char*>(f.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int error = ::posix_spawnp(&pid, "cat", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start cat");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("cat failed");
    return elapsed.count();
}

} // namespace

double CatAnchorSeconds() {
    static const double seconds = [] {
        const auto& files = HistoryBenchFiles();
        CatOnce(files); // into the page cache
        std::vector<double> runs;
        for (int i = 0; i < 15; ++i)
            runs.push_back(CatOnce(files));
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }();
    return seconds;
}

void ReportAgainstCat(benchmark::State& state, double secondsPerIteration, double goal, const std::string& what) {
    const double anchor = CatAnchorSeconds();
    state.counters["x_cat"] = secondsPerIteration / anchor;
    state.counters["cat_ms"] = anchor * 1e3;
    state.SetLabel(fmt::format("goal: at most {:g} x cat{}{}", goal, what.empty() ? "" : ", ", what));
}
