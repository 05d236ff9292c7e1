// Bytes per second of the two checksum forms: the 32-bytes-a-step fold the link uses, and the plain
// byte-by-byte XOR it must always agree with.
#include "CFt260.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {
std::vector<uint8_t> Bytes(size_t n)
{
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; ++i)
        bytes[i] = uint8_t(i * 131 + 7);
    return bytes;
}

void BM_ChecksumFold(benchmark::State &state)
{
    const auto bytes = Bytes(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CFt260::Checksum(bytes.data(), int(bytes.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_ChecksumBytewise(benchmark::State &state)
{
    const auto bytes = Bytes(size_t(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(CFt260::ChecksumBytewise(bytes.data(), int(bytes.size())));
    state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

// A short answer, a stored-record frame, a firmware block frame and a whole transmit buffer.
BENCHMARK(BM_ChecksumFold)->Arg(6)->Arg(13)->Arg(1028)->Arg(4094);
BENCHMARK(BM_ChecksumBytewise)->Arg(6)->Arg(13)->Arg(1028)->Arg(4094);
} // namespace

BENCHMARK_MAIN();
