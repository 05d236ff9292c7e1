// Downloads stored records from the simulated instrument and prints how long the download takes against
// the line-rate bound, the CPU time per record and the peak memory. On the virtual clock: 10,000
// records, once into a sink that only counts (the link's own cost), then into a measurement, which
// every view of a download is built from. In real time (the system clock): 2,000 and 10,000 records into the
// counting sink, the time an operator waits.

#include "CFt260.h"
#include "Clock.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "MeasurementSink.h"
#include "Simulation.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kFrameBytes = 15;
constexpr double kByteMicros = 86.8; // 10 bits at 115200 baud

class CountingOwner : public LinkOwner {
  public:
    int rows = 0;
    PacketLogSink *PacketLog() override { return nullptr; }
    void AddStoredRecordRow(int, const uint8_t *) override { ++rows; }
    void SetContinuousSummary(const uint8_t *) override {}
    void AddContinuousRecordRow(int, const uint8_t *) override {}
};

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

long PeakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

Scenario StoredRecords(int count)
{
    const qint64 first = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    std::vector<RawRecord> records;
    records.reserve(count);
    for (int i = 0; i < count; ++i)
        records.push_back(MakeRecord(*LocalFieldsOf(first + i * 600LL), i % 65536, i % 3));
    Scenario scenario;
    scenario.stored = std::move(records);
    return scenario;
}

void Run(const char *label, int count, Clock &clock, LinkOwner &owner)
{
    Simulation sim(StoredRecords(count), clock);
    CFt260 link(sim.Bridge(), sim.Discovery(), clock, &owner);
    link.FindDevice();
    const qint64 from = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    const qint64 to = *LocalTimeFromFields({2030, 1, 1, 0, 0, 0});

    const long rssBefore = PeakRssKiB();
    const qint64 startMicros = clock.MonotonicMicros();
    const auto startWall = std::chrono::steady_clock::now();
    const double startCpu = CpuSeconds();
    int rows = 0;
    const int result = link.DownloadStoredRecords(from, to, &rows);
    const double cpu = CpuSeconds() - startCpu;
    const double wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - startWall).count();
    const double clockSeconds = (clock.MonotonicMicros() - startMicros) / 1e6;
    const double boundSeconds = count * kFrameBytes * kByteMicros / 1e6;

    std::printf("%s\n", label);
    std::printf("  result %d, rows %d\n", result, rows);
    std::printf("  duration on the link's clock %.3f s (line-rate bound %.3f s, ratio %.4f), wall %.3f s\n",
                clockSeconds, boundSeconds, clockSeconds / boundSeconds, wallSeconds);
    std::printf("  CPU time            %.3f s, %.2f us per record\n", cpu, cpu * 1e6 / count);
    std::printf("  peak RSS            %ld KiB before, %ld KiB after (+%ld KiB)\n", rssBefore, PeakRssKiB(),
                PeakRssKiB() - rssBefore);
}

} // namespace

int main()
{
    std::printf("stored downloads from the simulated instrument\n");
    VirtualClock virtualClock;
    CountingOwner counting;
    Run("10,000 records, virtual clock, into a counting owner (the link alone, plus the simulator)", 10000,
        virtualClock, counting);

    Measurement measurement;
    MeasurementSink sink(measurement);
    Run("10,000 records, virtual clock, into a measurement", 10000, virtualClock, sink);

    SystemClock systemClock;
    CountingOwner realTime2k, realTime10k;
    Run("2,000 records, real time, into a counting owner (goal: within 2 % of the bound)", 2000, systemClock,
        realTime2k);
    Run("10,000 records, real time, into a counting owner (goal: within 2 % of the bound)", 10000, systemClock,
        realTime10k);
    return 0;
}
