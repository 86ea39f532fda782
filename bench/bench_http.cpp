// The HTTP request path without a socket: form decoding stays linear in the body (a body of '+'
// once took quadratic time), its goal a ratio to copying the same bytes in the same run;
// and how many pipelined requests the parser and session answer per second.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "HttpMessage.h"

namespace {

// Seconds to copy `bytes` bytes into a new string (allocation and page faults included, as for any
// decoded text), the best of a few rounds.
double CopySeconds(size_t bytes) {
    const std::string from(bytes, '+');
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        std::string to(from);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
        best =
            std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

void BM_HttpDecodeFormOfPlus(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    const std::string body = "a=" + std::string(size, '+');
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        THttpFields fields = ParseQuery(body);
        benchmark::DoNotOptimize(fields);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
    state.counters["x_copy"] = seconds / static_cast<double>(state.iterations()) / CopySeconds(body.size());
    state.SetLabel("goal: at most 4 x copying the same bytes into a new string (linear)");
}
BENCHMARK(BM_HttpDecodeFormOfPlus)->Arg(64 << 20)->Unit(benchmark::kMillisecond);

void BM_HttpPipelinedRequests(benchmark::State& state) {
    const std::string one = "GET /api/v1/safetymonitor/0/issafe?ClientID=1&ClientTransactionID=7 HTTP/1.1\r\n"
                            "Host: 127.0.0.1:11111\r\nUser-Agent: bench\r\nAccept: */*\r\n\r\n";
    std::string bytes;
    size_t requests = 0;
    for (; bytes.size() < (1 << 20); ++requests)
        bytes += one;
    const std::vector<THttpHandler> handlers = {[](const THttpRequest&) -> std::optional<THttpResponse> {
        THttpResponse answer;
        answer.ContentType = "application/json";
        answer.Body = R"({"Value":true})";
        return answer;
    }};
    THttpLimits limits;
    limits.MaxPendingReplyBytes = size_t(1) << 30; // the bench reads every reply
    for (auto _ : state) {
        std::string out = ServeHttpBytes(bytes, handlers, limits);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
    state.counters["requests_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(requests), benchmark::Counter::kIsRate);
    state.SetLabel("1 MB of pipelined requests parsed and answered; for information, no goal");
}
BENCHMARK(BM_HttpPipelinedRequests)->Unit(benchmark::kMillisecond);

} // namespace
