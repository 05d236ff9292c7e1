#pragma once

#include <cstdint>

// What one record download makes of the frames of its stream; the link reads the stream and hands it
// each whole frame.
class DownloadStream {
  public:
    enum class Frame {
        Counted,     // a frame of the download: the silence allowed starts again
        Stray,       // not of this download, passed over
        Complete,    // the download has all it expects
        TimeInvalid, // a record with an impossible time: the download fails
    };
    virtual ~DownloadStream() = default;
    // How long the frame expected next is.
    virtual int NextLength() const = 0;
    virtual Frame Handle(const uint8_t *frame, int length) = 0;
    // Whether the download ends at its completing frame, reading (and logging) what is queued behind it;
    // otherwise the frames read with it are still handed on and the rest is left to the next request's
    // flush.
    virtual bool StopsAtCompletion() const = 0;
};
