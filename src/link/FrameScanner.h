#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

// Finds the frames of a download stream in its bytes as they come. A frame is taken where STX, a LEN
// byte that gives one of the stream's frame lengths, the checksum and ETX all check out; a byte that
// cannot begin such a frame is skipped, so that a stray byte or a damaged frame costs at most the
// frame it touched and the frames behind it are found again.
class FrameScanner {
  public:
    static constexpr int kMaxFrameLength = 258; // STX, LEN, 255 bytes, checksum, ETX; never more

    // lengths: the whole-frame lengths (STX to ETX) the stream carries. recordLength: the length of one
    // record's frame, by which the skipped stretches are counted as damaged records.
    FrameScanner(std::initializer_list<int> lengths, int recordLength);

    void Append(const uint8_t *bytes, int count);
    // Takes the next whole frame off the head into `frame` (kMaxFrameLength bytes) and its length into
    // `length`, skipping whatever cannot begin a frame; false when more bytes must come first.
    bool Take(uint8_t *frame, int *length);
    // After Take returned false: how many more bytes the frame at the head needs at least, when the next
    // frame is expected to be `nextLength` long.
    int Wanted(int nextLength) const;
    int Buffered() const { return static_cast<int>(m_bytes.size() - m_head); }

    // Records lost to damage in the bytes skipped so far. A skipped stretch counts one record for every
    // frame start in it (STX and a frame LEN, at least a frame apart) and at least one for every whole
    // record length it spans, so noise between frames costs nothing and a damaged record costs one.
    int DamagedRecords() const { return m_damaged + StretchRecords(); }

  private:
    bool AllowedLength(int length) const;
    bool FrameStartAtHead() const;
    void SkipHeadByte();
    int StretchRecords() const;

    std::vector<int> m_lengths;
    int m_recordLength;
    int m_shortestLength;
    std::vector<uint8_t> m_bytes;
    size_t m_head = 0;

    int m_damaged = 0;
    // The stretch of bytes skipped since the last frame.
    int m_stretchBytes = 0;
    int m_stretchStarts = 0;
    int m_nextCountedStart = 0;
};
