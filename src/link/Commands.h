#pragma once

#include <cstdint>

// Command IDs of the instrument protocol. Every read request carries one data byte 0x00.
enum : uint8_t {
    CMD_READ_VERSION = 0x30,
    CMD_READ_NAME = 0x31,
    CMD_READ_SERIAL = 0x32,
    CMD_READ_BATTERY = 0x33,
    CMD_SET_CLOCK = 0x34,
    CMD_READ_MEMORY = 0x35,
    CMD_WRITE_SERIAL = 0x36,
    CMD_READ_LC15_SN = 0x37,
    CMD_WRITE_LC15_SN = 0x38,
    CMD_READ_LC15_COVER_SN = 0x39,
    CMD_WRITE_LC15_COVER_SN = 0x3A,
    CMD_READ_LC30_SN = 0x3B,
    CMD_WRITE_LC30_SN = 0x3C,
    CMD_READ_LC30_COVER_SN = 0x3D,
    CMD_WRITE_LC30_COVER_SN = 0x3E,
    CMD_READ_LC25_COVER_SN = 0x3F,
    CMD_WRITE_LC25_COVER_SN = 0x40,
    CMD_READ_OUTPUT = 0x41,
    CMD_OUTPUT_RECORD = 0x42,
    CMD_READ_CAL15 = 0x43,
    CMD_CAL15_FROM_LIVE = 0x44,
    CMD_READ_CAL30 = 0x45,
    CMD_CAL30_FROM_LIVE = 0x46,
    CMD_WRITE_CAL = 0x47,
    CMD_FW_REQUEST = 0x48,
    CMD_FW_HEADER = 0x49,
    CMD_FW_DATA = 0x4A,
    CMD_READ_CLOCK = 0x4B,
};

constexpr uint8_t CMD_FIRST = CMD_READ_VERSION;
constexpr uint8_t CMD_LAST = CMD_READ_CLOCK;
constexpr int CMD_COUNT = CMD_LAST - CMD_FIRST + 1;

// Data bytes of the instrument's answer to each command, 0x30 .. 0x4B. An answer is a short frame of
// these plus 5 bytes.
constexpr int kResponseDataLength[CMD_COUNT] = {4, 9,  11, 1, 1,  10, 1, 9,  1, 10, 1, 9, 1, 10,
                                                1, 10, 1,  9, 11, 21, 1, 21, 1, 1,  1, 1, 1, 13};

constexpr uint8_t FRAME_STX = 0x02;
constexpr uint8_t FRAME_ETX = 0x03;
