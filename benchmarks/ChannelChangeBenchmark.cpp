// Benchmark, not a test: the cost of one channel change against the platform stand-in as the
// number of present HID interfaces grows, with the transmitter last (every interface examined)
// and first (one examined). Also counts the platform calls and heap allocations per change.
//
//   build/native-plain/channel_change_benchmark

#include "PlatformModel.h"
#include "TunerPlugin.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

standin::Scenario Interfaces(int count, bool transmitterFirst)
{
    standin::Scenario scenario;
    for (int i = 0; i < count - 1; ++i) {
        scenario.Interfaces.push_back(
            standin::Device("\\\\?\\hid#other" + std::to_string(i), 0x046D, static_cast<std::uint16_t>(i)));
    }
    const standin::HidInterface transmitter = standin::Transmitter("\\\\?\\hid#transmitter");
    scenario.Interfaces.insert(transmitterFirst ? scenario.Interfaces.begin() : scenario.Interfaces.end(), transmitter);
    return scenario;
}

void ChannelChange(benchmark::State& state, bool transmitterFirst)
{
    const int count = static_cast<int>(state.range(0));
    standin::Install(Interfaces(count, transmitterFirst));
    double calls = 0;
    double allocations = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SetTunerFrequency(123));
        state.PauseTiming();
        const std::vector<std::string> made = standin::Calls();
        calls += static_cast<double>(made.size());
        allocations += static_cast<double>(std::count_if(made.begin(), made.end(), [](const std::string& call) {
            return call.rfind("HeapAlloc(", 0) == 0;
        }));
        standin::ForgetRecords();
        state.ResumeTiming();
    }
    const double iterations = static_cast<double>(state.iterations());
    const int examined = transmitterFirst ? 1 : count;
    state.counters["interfaces_examined"] = examined;
    state.counters["platform_calls"] = calls / iterations;
    state.counters["heap_allocs"] = allocations / iterations;
    state.counters["per_interface"] =
        benchmark::Counter(iterations * examined, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void TransmitterLast(benchmark::State& state)
{
    ChannelChange(state, false);
}

void TransmitterFirst(benchmark::State& state)
{
    ChannelChange(state, true);
}

BENCHMARK(TransmitterLast)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond);
BENCHMARK(TransmitterFirst)->Arg(4096)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
