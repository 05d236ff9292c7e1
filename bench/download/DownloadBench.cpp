// Downloads 10,000 stored records from the simulated instrument on the virtual clock and prints how
// long the download takes on the simulated line against the line-rate bound, the CPU time per record
// and the peak memory. Run once into a sink that only counts (the link's own cost), then into the
// record sheet as the operator's window fills it.

#include "CFt260.h"
#include "CSpreadSheet.h"
#include "Clock.h"
#include "LinkOwner.h"
#include "LocalTime.h"
#include "RecordTables.h"
#include "SheetRecordSink.h"
#include "Simulation.h"

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kRecords = 10000;
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

Scenario TenThousandRecords()
{
    const qint64 first = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    std::vector<RecordBytes> records;
    records.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i)
        records.push_back(MakeRecord(*LocalFieldsOf(first + i * 600LL), i % 65536, i % 3));
    Scenario scenario;
    scenario.stored = std::move(records);
    return scenario;
}

void Run(const char *label, LinkOwner &owner)
{
    VirtualClock clock;
    Simulation sim(TenThousandRecords(), clock);
    CFt260 link(sim.Bridge(), sim.Discovery(), clock, &owner);
    link.FindDevice();
    const qint64 from = *LocalTimeFromFields({2024, 1, 1, 0, 0, 0});
    const qint64 to = *LocalTimeFromFields({2030, 1, 1, 0, 0, 0});

    const long rssBefore = PeakRssKiB();
    const qint64 startMicros = clock.MonotonicMicros();
    const double startCpu = CpuSeconds();
    int rows = 0;
    const int result = link.DownloadStoredRecords(from, to, &rows);
    const double cpu = CpuSeconds() - startCpu;
    const double simulatedSeconds = (clock.MonotonicMicros() - startMicros) / 1e6;
    const double boundSeconds = kRecords * kFrameBytes * kByteMicros / 1e6;

    std::printf("%s\n", label);
    std::printf("  result %d, rows %d\n", result, rows);
    std::printf("  simulated duration  %.3f s (line-rate bound %.3f s, ratio %.3f)\n", simulatedSeconds, boundSeconds,
                simulatedSeconds / boundSeconds);
    std::printf("  CPU time            %.3f s, %.2f us per record\n", cpu, cpu * 1e6 / kRecords);
    std::printf("  peak RSS            %ld KiB before, %ld KiB after (+%ld KiB)\n", rssBefore, PeakRssKiB(),
                PeakRssKiB() - rssBefore);
}

} // namespace

int main()
{
    std::printf("stored download of %d records from the simulated instrument, virtual clock\n", kRecords);
    CountingOwner counting;
    Run("into a counting owner (the link alone, plus the simulator)", counting);

    CSpreadSheet grid;
    SetUpRecordSheets(grid, RecordSheetColors{});
    SheetRecordSink sink(grid);
    Run("into the record sheet through the row builders", sink);
    return 0;
}
