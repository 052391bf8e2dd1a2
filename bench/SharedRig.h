// What the benchmark programs with one costly set-up share: the set-up is
// made by the first benchmark that asks for it and taken down by main() after
// the last (while the processes, mounts and folders it stops still exist), and
// their samples are summed up by percentiles.
#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

template <class Rig>
std::unique_ptr<Rig>& rigSlot() {
    static std::unique_ptr<Rig> slot;
    return slot;
}

template <class Rig>
Rig& sharedRig() {
    auto& slot = rigSlot<Rig>();
    if (!slot)
        slot = std::make_unique<Rig>();
    return *slot;
}

// Runs the benchmarks the command line selects, then takes the rig down.
template <class Rig>
int runBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rigSlot<Rig>().reset();
    return 0;
}

// The sample of rank `p` (0 to 1, nearest rank) among `samples`; 0 when none.
inline double percentile(std::vector<double> samples, double p) {
    if (samples.empty())
        return 0.0;
    std::sort(samples.begin(), samples.end());
    const auto i = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(i, samples.size() - 1)];
}
