// The HTTP request path without a socket: form decoding stays linear in the body (a body of '+'
// once took quadratic time), its goal a ratio to the cat anchor; and how many pipelined requests
// the parser and session answer per second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "CatAnchor.h"
#include "HttpMessage.h"

namespace {

void BM_HttpDecodeFormOfPlus(benchmark::State& state) {
    const auto size = static_cast<size_t>(state.range(0));
    const std::string body = "a=" + std::string(size, '+');
    const TLoopClock clock;
    for (auto _ : state) {
        THttpFields fields = ParseQuery(body);
        benchmark::DoNotOptimize(fields);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * body.size()));
    ReportAgainstCat(state, clock.SecondsPerIteration(state), 20, "(64 MiB of '+', linear)");
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
