#pragma once

#include <QString>

// Result codes of every link operation: 0 success, failures negative.
enum ResultCode : int {
    RESULT_OK = 0,
    RESULT_OPEN_FAILED = -1100,
    RESULT_NOT_FOUND = -1099,
    RESULT_UART_INIT_FAILED = -1098,
    RESULT_UART_GET_CONFIG_FAILED = -1097,
    RESULT_UART_BAUD_FAILED = -1096,
    RESULT_UART_FLOW_FAILED = -1095,
    RESULT_UART_DATA_FAILED = -1094,
    RESULT_WRITE_FAILED = -1093,
    RESULT_READ_FAILED = -1092,
    RESULT_BAD_STX = -1091,
    RESULT_BAD_ETX = -1090,
    // Also reported, without touching the wire, for request data longer than a frame can carry.
    RESULT_BAD_LENGTH = -1089,
    // Also reported, without touching the wire, for a command ID outside 0x30 .. 0x4B.
    RESULT_BAD_ID = -1088,
    RESULT_BAD_CRC = -1087,
    RESULT_TIMEOUT = -1086,
    RESULT_FW_HEADER_FAILED = -1085,
    RESULT_FW_CRC_ERROR = -1084,
    // A downloaded record whose time fields cannot be a calendar time (the download is abandoned), or a
    // requested date that has no local calendar day (nothing is sent).
    RESULT_RECORD_TIME_INVALID = -1083,
    // The operator stopped a download; the rows received before stay.
    RESULT_CANCELLED = -1082,
};

// The Korean message of a result code with the code in place of %d; empty for a code without a text
// (including every positive code).
QString ResultText(int code);

// What the operator is told when a download left out records that arrived damaged; empty for none.
QString DamagedRecordsText(int count);

// Why a downloaded table is incomplete, for the window's note, the export's question and the report:
// "12건만 받음" when the download ended early with `rows` rows, "손상된 기록 2건 제외" for damaged records
// left out, or both; empty when the table is complete.
QString IncompleteTableText(bool endedEarly, int rows, int damaged);
