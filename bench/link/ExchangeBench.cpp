// How long the operator's identity read takes on the simulated instrument in real time: the link opens
// the simulated bridge, then the eight identity exchanges run as the main window and `tonvale-cli info`
// run them. Prints the exchange time of each round and their median; the line itself needs about 22 ms
// for the eight requests and answers.

#include "CFt260.h"
#include "Clock.h"
#include "InstrumentIdentity.h"
#include "Simulation.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRounds = 9;

double IdentityReadMilliseconds(CFt260 &link)
{
    const auto start = std::chrono::steady_clock::now();
    for (const IdentityField &field : kIdentityFields) {
        uint8_t request[CFt260::kResponseAreaSize] = {};
        uint8_t response[CFt260::kResponseAreaSize] = {};
        if (link.Transact(field.readCommand, request, 1, response) != RESULT_OK)
            std::printf("  exchange 0x%02X failed: %d\n", field.readCommand, link.m_nResult);
    }
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    SystemClock clock;
    Simulation sim(Scenario(), clock);
    CFt260 link(sim.Bridge(), sim.Discovery(), clock);
    link.FindDevice();
    if (!link.EnsureOpen()) {
        std::printf("the simulated bridge did not open: %d\n", link.m_nResult);
        return 1;
    }

    std::printf("identity read (8 exchanges) on the simulated instrument, system clock\n");
    std::vector<double> rounds;
    for (int i = 0; i < kRounds; ++i) {
        rounds.push_back(IdentityReadMilliseconds(link));
        std::printf("  round %d  %.1f ms\n", i + 1, rounds.back());
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf("median %.1f ms, fastest %.1f ms, slowest %.1f ms (goal: at most 60 ms)\n", rounds[kRounds / 2],
                rounds.front(), rounds.back());
    return 0;
}
