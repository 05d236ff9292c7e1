// Linked into every test program. The tests' expected local times are Korean times (the instrument's
// clock and the operator's screen are in Korea), so each program sets that zone before anything reads
// a clock, whatever zone the machine runs in. Programs the tests start inherit it.
#include <cstdlib>
#include <ctime>

namespace {

const bool kKoreanTimeZone = [] {
    ::setenv("TZ", "Asia/Seoul", 1);
    ::tzset();
    return true;
}();

} // namespace
