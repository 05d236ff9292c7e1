// Crashes on purpose. Usage: tonvale_crash_helper MODE [--before-config]
//   MODE segv | abort | throw
// The dump lands in Dmp beside this executable, as for the program. With --before-config the crash
// comes after the handler is installed but before the configuration has created Dmp.
#include "CIniSysInfo.h"
#include "CrashDump.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

extern "C" {
__attribute__((noinline)) void TonvaleCrashBySegv()
{
    // Not null, so that a sanitizer's null check lets the fault itself happen.
    volatile int *nowhere = reinterpret_cast<volatile int *>(std::uintptr_t(8));
    *nowhere = 42;
}
__attribute__((noinline)) void TonvaleCrashByThrow()
{
    throw std::runtime_error("bridge answered nonsense");
}
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    CIniSysInfo info;
    info.ResolvePaths();
    if (!CrashDump::Install(info.dumpDir))
        return 3;
    if (!(argc > 2 && std::strcmp(argv[2], "--before-config") == 0))
        info.Load();

    if (std::strcmp(argv[1], "segv") == 0)
        TonvaleCrashBySegv();
    else if (std::strcmp(argv[1], "abort") == 0)
        std::abort();
    else if (std::strcmp(argv[1], "throw") == 0)
        TonvaleCrashByThrow();
    return 1; // not reached
}
