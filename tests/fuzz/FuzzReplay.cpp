// Runs a fuzz target over every file of the folders (or files) named on the command line, as
// libFuzzer would run it on one input. A failed check aborts, which fails the test.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace fs = std::filesystem;

static void RunOne(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::fprintf(stderr, "replay %s (%zu bytes)\n", file.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    int count = 0;
    for (int i = 1; i < argc; ++i) {
        const fs::path path = argv[i];
        if (fs::is_directory(path)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') files.push_back(entry);
            std::sort(files.begin(), files.end());
            for (const auto& f : files) RunOne(f), ++count;
        } else if (fs::exists(path)) {
            RunOne(path), ++count;
        }
    }
    std::fprintf(stderr, "%d input(s) replayed\n", count);
    return 0;
}
