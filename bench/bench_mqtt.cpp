// From a processed reading to its state at a subscriber, through a real Mosquitto broker on loopback.
// The anchor is the same trip for a bare libmosquitto publisher handing over a payload of the same
// size: the broker and the loopback themselves, measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mosquitto.h>
#include <thread>
#include <vector>

#include "Conditions.h"
#include "MqttService.h"
#include "MqttTestBroker.h"

namespace {

using Clock = std::chrono::steady_clock;

// Counts the messages of one topic.
struct TArrivals {
    std::atomic<int> Count{0};
    std::string Topic;
};

mosquitto* Connect(uint16_t port, void* user, bool subscriber, const std::string& topic) {
    mosquitto* mosq = mosquitto_new(nullptr, true, user);
    if (subscriber) {
        mosquitto_message_callback_set(mosq, [](mosquitto*, void* u, const mosquitto_message* m) {
            auto& a = *static_cast<TArrivals*>(u);
            if (a.Topic == m->topic) a.Count.fetch_add(1);
        });
    }
    mosquitto_connect(mosq, "127.0.0.1", port, 30);
    if (subscriber) mosquitto_subscribe(mosq, nullptr, topic.c_str(), 1);
    mosquitto_loop_start(mosq);
    return mosq;
}

void Close(mosquitto* mosq) {
    mosquitto_disconnect(mosq);
    mosquitto_loop_stop(mosq, true);
    mosquitto_destroy(mosq);
}

bool WaitFor(const TArrivals& arrivals, int count) {
    const auto limit = Clock::now() + std::chrono::seconds(5);
    while (arrivals.Count.load() < count)
        if (Clock::now() > limit)
            return false;
        else
            std::this_thread::yield();
    return true;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BM_MqttReadingToSubscriber(benchmark::State& state) {
    mosquitto_lib_init();
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("orvanel-bench-mqtt-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        TTestBroker broker(folder.string() + "/");
        if (!broker.Start()) {
            state.SkipWithError("mosquitto did not start");
            return;
        }
        TMqttSettings settings;
        settings.Port = broker.Port();
        settings.ClientId = "orvanel-bench";
        settings.Discovery = false;
        const TPublishedConditions published(Now());
        TMqttService service(settings, published);
        std::string error;
        service.Start(error);
        const auto connected = Clock::now() + std::chrono::seconds(5);
        while (service.Status().Link != TMqttLink::Connected && Clock::now() < connected)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));

        TArrivals states{0, "orvanel/state"}, raw{0, "bench/raw"};
        mosquitto* stateSubscriber = Connect(broker.Port(), &states, true, states.Topic);
        mosquitto* rawSubscriber = Connect(broker.Port(), &raw, true, raw.Topic);
        mosquitto* rawPublisher = Connect(broker.Port(), nullptr, false, {});
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // subscriptions in place

        TcapteursInfos reading{};
        reading.DateSysteme = 46365.5;
        reading.ValidWindGUST = 1;
        reading.ValidLight = 1;
        reading.Lumex = 1.5;
        const TConditions conditions = ClassifyConditions(reading, SetupInfos, std::nullopt);
        const std::string payload(MqttStateJson(reading, conditions, false, false, {}).size(), 'x');

        std::vector<double> ours, anchor;
        for (auto _ : state) {
            reading.DateSysteme += 20.0 / 86400;
            const int before = states.Count.load();
            const auto start = Clock::now();
            service.OnReading(reading, conditions);
            if (!WaitFor(states, before + 1)) {
                state.SkipWithError("no state arrived");
                break;
            }
            ours.push_back(Ms(Clock::now() - start));

            const int rawBefore = raw.Count.load();
            const auto rawStart = Clock::now();
            mosquitto_publish(rawPublisher, nullptr, raw.Topic.c_str(), int(payload.size()), payload.data(),
                              1, true);
            if (!WaitFor(raw, rawBefore + 1)) {
                state.SkipWithError("no raw message arrived");
                break;
            }
            anchor.push_back(Ms(Clock::now() - rawStart));
        }
        state.counters["median_ms"] = Median(ours);
        state.counters["anchor_median_ms"] = Median(anchor);
        state.counters["ratio_to_anchor"] = Median(anchor) > 0 ? Median(ours) / Median(anchor) : 0;
        // The close: "offline", the DISCONNECT and the end of the network thread.
        const auto closing = Clock::now();
        service.Stop();
        state.counters["close_ms"] = Ms(Clock::now() - closing);
        Close(stateSubscriber);
        Close(rawSubscriber);
        Close(rawPublisher);
    }
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(BM_MqttReadingToSubscriber)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(500);
