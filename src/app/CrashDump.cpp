#include "CrashDump.h"

#include <QFile>

#include <atomic>
#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <typeinfo>
#include <ucontext.h>
#include <unistd.h>

#include <cxxabi.h>

namespace CrashDump {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr size_t kPathMax = 4096;
constexpr size_t kStackFrames = 128;

// Prepared at install time; read by the handler.
char g_dumpDir[kPathMax];             // ends in '/'
std::atomic<long> g_utcOffset{0};     // seconds east of UTC
std::atomic<bool> g_installed{false}; //
std::atomic<int> g_crashing{0};       // set by the first thread that crashes
char g_exceptionText[1024];           // what an uncaught exception said
alignas(16) char g_altStack[64 * 1024];

// ---- async-signal-safe output ------------------------------------------------------------------

void Put(int fd, const char *s, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, s, n);
        if (w <= 0)
            return;
        s += w;
        n -= size_t(w);
    }
}

void Put(int fd, const char *s)
{
    Put(fd, s, std::strlen(s));
}

// Decimal text of v, at least minDigits long, into out; returns the length.
int Decimal(long long v, int minDigits, char *out)
{
    char tmp[24];
    int n = 0;
    const bool negative = v < 0;
    unsigned long long u = negative ? 0ULL - (unsigned long long)v : (unsigned long long)v;
    do {
        tmp[n++] = char('0' + u % 10);
        u /= 10;
    } while (u != 0 || n < minDigits);
    int len = 0;
    if (negative)
        out[len++] = '-';
    while (n > 0)
        out[len++] = tmp[--n];
    out[len] = '\0';
    return len;
}

void PutDecimal(int fd, long long v)
{
    char buf[24];
    Put(fd, buf, size_t(Decimal(v, 1, buf)));
}

void PutHex(int fd, unsigned long long v)
{
    char buf[19] = "0x";
    for (int i = 0; i < 16; ++i)
        buf[2 + i] = "0123456789abcdef"[(v >> (60 - 4 * i)) & 0xF];
    Put(fd, buf, 18);
}

const char *SignalName(int sig)
{
    switch (sig) {
    case SIGSEGV: return "SIGSEGV (invalid memory access)";
    case SIGBUS: return "SIGBUS (bus error)";
    case SIGFPE: return "SIGFPE (arithmetic error)";
    case SIGILL: return "SIGILL (illegal instruction)";
    case SIGABRT: return "SIGABRT (abort)";
    default: return "unknown signal";
    }
}

unsigned long long InstructionPointer(const void *context)
{
    if (!context)
        return 0;
    const auto *uc = static_cast<const ucontext_t *>(context);
#if defined(__x86_64__)
    return (unsigned long long)uc->uc_mcontext.gregs[REG_RIP];
#elif defined(__aarch64__)
    return (unsigned long long)uc->uc_mcontext.pc;
#else
    (void)uc;
    return 0;
#endif
}

// Creates the missing directories of g_dumpDir, so that a crash before the configuration has made
// Dmp still leaves its dump.
void MakeDumpDir()
{
    char prefix[kPathMax];
    for (size_t i = 1; g_dumpDir[i] != '\0'; ++i) {
        if (g_dumpDir[i] != '/')
            continue;
        std::memcpy(prefix, g_dumpDir, i + 1);
        prefix[i + 1] = '\0';
        ::mkdir(prefix, 0777);
    }
}

// Writes the dump and ends the process. sig is 0 for an uncaught exception.
[[noreturn]] void WriteDumpAndExit(int sig, const siginfo_t *info, const void *context)
{
    // A second thread crashing while the first writes waits for the first to end the process.
    if (g_crashing.exchange(1) != 0) {
        for (;;)
            ::pause();
    }
    if (g_dumpDir[0] == '\0')
        ::_exit(0);

    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long offset = g_utcOffset.load();

    char path[kPathMax + 64];
    const size_t dirLength = std::strlen(g_dumpDir);
    std::memcpy(path, g_dumpDir, dirLength);
    const int stemLength = FormatDumpStem(now.tv_sec, offset, path + dirLength);
    std::memcpy(path + dirLength + stemLength, ".dmp", 5);

    MakeDumpDir();
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        ::_exit(0);

    Put(fd, "Tonvale crash dump\n");
    Put(fd, "time: ");
    Put(fd, path + dirLength, size_t(stemLength));
    Put(fd, " (UTC offset ");
    PutDecimal(fd, offset);
    Put(fd, " s)\nprocess: ");
    PutDecimal(fd, ::getpid());
    Put(fd, "\n");
    if (sig == 0) {
        Put(fd, "uncaught C++ exception: ");
        Put(fd, g_exceptionText[0] ? g_exceptionText : "(none: std::terminate was called)");
        Put(fd, "\n");
    } else {
        Put(fd, "signal: ");
        PutDecimal(fd, sig);
        Put(fd, " ");
        Put(fd, SignalName(sig));
        Put(fd, ", code ");
        PutDecimal(fd, info ? info->si_code : 0);
        if (info && info->si_code <= 0) {
            // Sent by kill(), raise() or abort(): there is no faulting address, only a sender.
            Put(fd, "\nsent by process: ");
            PutDecimal(fd, info->si_pid);
        } else {
            Put(fd, "\nfault address: ");
            PutHex(fd, info ? (unsigned long long)info->si_addr : 0);
        }
        Put(fd, "\ninstruction pointer: ");
        PutHex(fd, InstructionPointer(context));
        Put(fd, "\n");
    }

    Put(fd, "\nstack trace:\n");
    void *frames[kStackFrames];
    const int depth = ::backtrace(frames, int(kStackFrames));
    ::backtrace_symbols_fd(frames, depth, fd);

    Put(fd, "\nloaded modules (/proc/self/maps):\n");
    const int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(maps, buf, sizeof buf)) > 0)
            Put(fd, buf, size_t(n));
        ::close(maps);
    }
    ::close(fd);
    ::_exit(0);
}

void OnFatalSignal(int sig, siginfo_t *info, void *context)
{
    WriteDumpAndExit(sig, info, context);
}

// Copies "type: what" of the exception in flight into g_exceptionText.
void DescribeCurrentException()
{
    g_exceptionText[0] = '\0';
    const std::exception_ptr current = std::current_exception();
    if (!current)
        return;
    const std::type_info *type = abi::__cxa_current_exception_type();
    const char *typeName = type ? type->name() : "unknown type";
    int status = -1;
    char *demangled = abi::__cxa_demangle(typeName, nullptr, nullptr, &status);
    std::string text = status == 0 && demangled ? demangled : typeName;
    std::free(demangled);
    try {
        std::rethrow_exception(current);
    } catch (const std::exception &e) {
        text += ": ";
        text += e.what();
    } catch (...) {
    }
    std::strncpy(g_exceptionText, text.c_str(), sizeof g_exceptionText - 1);
    g_exceptionText[sizeof g_exceptionText - 1] = '\0';
}

[[noreturn]] void OnTerminate()
{
    DescribeCurrentException();
    WriteDumpAndExit(0, nullptr, nullptr);
}

} // namespace

int FormatDumpStem(long long epochSeconds, long utcOffsetSeconds, char *out)
{
    const long long local = epochSeconds + utcOffsetSeconds;
    long long days = local / 86400;
    long long secs = local % 86400;
    if (secs < 0) {
        secs += 86400;
        --days;
    }
    // Civil date of a day count since 1970-01-01 (proleptic Gregorian calendar).
    const long long z = days + 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1;
    const long long month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    int n = Decimal(year, 1, out);
    const long long rest[] = {month, day, secs / 3600, secs / 60 % 60, secs % 60};
    const char separators[] = {'-', '-', '_', '-', '-'};
    for (int i = 0; i < 5; ++i) {
        out[n++] = separators[i];
        n += Decimal(rest[i], 2, out + n);
    }
    out[n] = '\0';
    return n;
}

void RefreshUtcOffset()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        g_utcOffset.store(local.tm_gmtoff);
}

bool Install(const QString &dumpDir)
{
    const QByteArray dir = QFile::encodeName(dumpDir);
    if (size_t(dir.size()) + 1 > kPathMax || !dir.endsWith('/'))
        return false;
    // The handler reads the directory only after a crash; it is set before the handler can run.
    std::memcpy(g_dumpDir, dir.constData(), size_t(dir.size()) + 1);
    RefreshUtcOffset();
    if (g_installed.exchange(true))
        return true;

    // The first backtrace() loads the unwinder, which must not happen inside the handler.
    void *warmUp[4];
    ::backtrace(warmUp, 4);

    // An alternate stack, so that a stack overflow still reaches the handler.
    stack_t alt{};
    alt.ss_sp = g_altStack;
    alt.ss_size = sizeof g_altStack;
    ::sigaltstack(&alt, nullptr);

    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int sig : kFatalSignals)
        sigaddset(&action.sa_mask, sig);
    for (int sig : kFatalSignals)
        ::sigaction(sig, &action, nullptr);
    std::set_terminate(OnTerminate);
    return true;
}

bool IsInstalled()
{
    return g_installed.load();
}

} // namespace CrashDump
