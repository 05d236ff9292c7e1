#include "ResultCodes.h"

#include <QStringList>

namespace {
const char *ResultTemplate(int code)
{
    switch (code) {
    case RESULT_OK: return "성공 (%d)";
    case RESULT_OPEN_FAILED: return "장비 열기 실패 (%d)";
    case RESULT_NOT_FOUND: return "장비 찾기 실패 (%d)";
    case RESULT_UART_INIT_FAILED: return "UART 초기화 실패 (%d)";
    case RESULT_UART_GET_CONFIG_FAILED: return "UART 정보 불러오기 실패 (%d)";
    case RESULT_UART_BAUD_FAILED: return "UART 통신 속도 설정 실패 (%d)";
    case RESULT_WRITE_FAILED: return "UART 쓰기 실패 (%d)";
    case RESULT_READ_FAILED: return "UART 읽기 실패 (%d)";
    case RESULT_BAD_STX: return "패킷 수신 실패 (STX) (%d)";
    case RESULT_BAD_ETX: return "패킷 수신 실패 (ETX) (%d)";
    case RESULT_BAD_LENGTH: return "패킷 수신 실패 (LENGTH) (%d)";
    case RESULT_BAD_ID: return "패킷 수신 실패 (ID) (%d)";
    case RESULT_BAD_CRC: return "패킷 수신 실패 (CRC) (%d)";
    case RESULT_TIMEOUT: return "패킷 수신 실패 (타임아웃) (%d)";
    case RESULT_FW_HEADER_FAILED: return "펌웨어 헤더 체크 실패 (%d)";
    case RESULT_FW_CRC_ERROR: return "펌웨어 업로드 CRC 에러 (%d)";
    case RESULT_RECORD_TIME_INVALID: return "측정 시간 오류 - 데이터 조회 중단 (%d)";
    case RESULT_CANCELLED: return "데이터 조회 취소 (%d)";
    default: return nullptr;
    }
}
} // namespace

QString ResultText(int code)
{
    const char *text = ResultTemplate(code);
    if (!text)
        return QString();
    return QString::fromUtf8(text).replace(QStringLiteral("%d"), QString::number(code));
}

QString DamagedRecordsText(int count)
{
    if (count <= 0)
        return QString();
    return QStringLiteral("수신 중 손상된 데이터 %1건은 제외되었습니다.").arg(count);
}

QString IncompleteTableText(bool endedEarly, int rows, int damaged)
{
    QStringList why;
    if (endedEarly)
        why << QStringLiteral("%1건만 받음").arg(rows);
    if (damaged > 0)
        why << QStringLiteral("손상된 기록 %1건 제외").arg(damaged);
    return why.join(QStringLiteral(", "));
}
