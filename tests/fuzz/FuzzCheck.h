#pragma once

// What every fuzz target shares: a property check that stops the run (libFuzzer then saves the input as a
// crash), and the rules of a well-formed instrument frame, stated here on their own terms so that the
// link's code is checked against them rather than against itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#define FUZZ_CHECK(condition)                                                                                          \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);                     \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

// Reads the fuzzer's bytes from the front, so that a seed input reads as the target consumes it. Past
// the end every byte reads as 0.
class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}

    size_t Remaining() const { return m_size - m_pos; }
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    bool Bool() { return Byte() & 1; }
    uint16_t U16() { return uint16_t(Byte() | Byte() << 8); }
    std::vector<uint8_t> Bytes(size_t count)
    {
        count = std::min(count, Remaining());
        std::vector<uint8_t> out(m_data + m_pos, m_data + m_pos + count);
        m_pos += count;
        return out;
    }
    std::vector<uint8_t> Rest() { return Bytes(Remaining()); }

  private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

namespace fuzzrules {

// A received short frame is accepted when it has room for STX, LEN, ID, checksum and ETX, starts with STX
// (0x02), ends with ETX (0x03), and the XOR of the bytes its LEN byte covers (STX, LEN, ID and LEN - 1
// data bytes) equals the byte before ETX. The covered bytes must lie before that checksum byte.
inline bool IsAcceptedFrame(const uint8_t *bytes, int count)
{
    if (count < 5 || bytes[0] != 0x02 || bytes[count - 1] != 0x03)
        return false;
    const int covered = bytes[1] + 2;
    if (covered > count - 2)
        return false;
    uint8_t sum = 0;
    for (int i = 0; i < covered; ++i)
        sum ^= bytes[i];
    return sum == bytes[count - 2];
}

inline uint8_t XorOf(const uint8_t *bytes, int count)
{
    uint8_t sum = 0;
    for (int i = 0; i < count; ++i)
        sum ^= bytes[i];
    return sum;
}

} // namespace fuzzrules
