// A stored download through the whole real bridge stack (CFt260, HidFt260Device, hidapi-libusb, libusb,
// usbdevfs in umockdev's test bed, the FT260 model) in real time, against the bound the UART sets: every
// byte of the answer takes 86.8 us at 115200 baud 8N1. Prints the time taken, the effective rate and how
// far above the line-rate bound the download came, for 2,000 and 10,000 records.

#include "Ft260UsbModel.h"
#include "UsbTestBed.h"

#include "CFt260.h"
#include "Clock.h"
#include "HidBridge.h"
#include "LocalTime.h"
#include "Simulation.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kFrameBytes = 15;
constexpr double kByteMicros = 86.8;

void Run(int count, int port)
{
    Scenario scenario;
    std::vector<RawRecord> records;
    for (int i = 0; i < count; ++i)
        records.push_back(
            MakeRecord({2024, 1 + i / 1000, 1 + (i / 40) % 25, 8 + i % 8, i % 60, i % 60}, 100 + i % 900, 1));
    scenario.stored = records;
    SystemClock clock;
    Simulation sim(scenario, clock);
    Ft260UsbModel chip({1, UsbTestBed::Instance().NextAddress(), {4, port}, Ft260UsbModel::kModeBoth}, &sim.Line());
    PluggedBridge plugged(chip);
    auto device = MakeHidFt260Device(clock);
    auto discovery = MakeHidDiscovery();
    CFt260 link(*device, *discovery, clock); // rows are only counted

    link.FindDevice();
    link.EnsureOpen();

    int rows = 0;
    const std::clock_t cpuBefore = std::clock();
    const auto start = std::chrono::steady_clock::now();
    const int result = link.DownloadStoredRecords(*LocalTimeFromFields({2023, 1, 1, 0, 0, 0}),
                                                  *LocalTimeFromFields({2026, 1, 1, 0, 0, 0}), &rows);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    // The answer: every record frame and the end marker.
    const double bytes = (count + 1.0) * kFrameBytes;
    const double bound = bytes * kByteMicros / 1e6;
    std::printf("%6d records: result %d, %d rows, %.3f s (line-rate bound %.3f s, %+.2f %%), %.0f bytes/s "
                "of 11520, CPU %.2f s\n",
                count, result, rows, seconds, bound, (seconds / bound - 1.0) * 100.0, bytes / seconds, cpu);
}

} // namespace

int main(int argc, char **argv)
{
    RunInsideUmockdev(argc, argv);
    UsbTestBed::Instance();
    Run(2000, 1);
    Run(10000, 2);
    return 0;
}
