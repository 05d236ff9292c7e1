#pragma once

#include <cstdint>
#include <vector>

// A fault applied to the instrument's answer to one command.
struct AnswerFault {
    enum class Kind {
        Silent,        // no answer at all
        Late,          // the answer starts delayMs later than usual
        BadChecksum,   // the checksum byte of the (first) answer frame is wrong
        BadStx,        // byte 0 of the (first) answer frame is not STX
        BadEtx,        // the last byte of the (last) answer frame is not ETX
        ExtraBytes,    // `bytes` more bytes follow the answer
        GarbageBefore, // `bytes` bytes of noise precede the answer
        Truncate,      // only the first `bytes` bytes of the answer are sent
        StrayByte,     // one stray STX byte comes after the first `bytes` bytes of the answer's frames
    };
    Kind kind = Kind::Silent;
    uint8_t command = 0;
    int occurrence = 0; // which request of that command, from 1; 0 = every one
    int delayMs = 0;
    int bytes = 0;
};

// Everything that may go wrong on the wire. Kept by the UART line; the instrument stays a clean peer.
struct FaultPlan {
    std::vector<AnswerFault> answers;
    // Stored records (index from 0 in the order the instrument sends them) whose frame carries a wrong checksum.
    std::vector<int> storedBadChecksum;
    // The stored stream stops after this many record frames, without an end marker; -1 = never.
    int storedStreamStopsAfter = -1;
    // The bridge disappears once the answer to this many requests has been delivered; -1 = never.
    int unplugAfterExchanges = -1;
};
