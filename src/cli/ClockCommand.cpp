#include "CFt260.h"
#include "CliCommand.h"
#include "Clock.h"
#include "InstrumentClock.h"

namespace {

// Without --set: the instrument's time and service telephone, as the operator's clock display shows them.
// With --set --yes: sets the instrument's clock to the PC's present local time (and writes the program's
// service telephone with it). Every write to the instrument is confirmed, so --set alone refuses.
int RunClock(CliContext &context, const QStringList &arguments)
{
    bool set = false;
    bool yes = false;
    for (const QString &a : arguments) {
        if (a == QLatin1String("--set")) {
            set = true;
        } else if (a == QLatin1String("--yes")) {
            yes = true;
        } else {
            context.err << "clock: unknown argument " << a << Qt::endl;
            return kExitUsage;
        }
    }
    if (set && !yes) {
        context.err << "clock --set writes to the instrument; add --yes to confirm" << Qt::endl;
        return kExitUsage;
    }
    if (yes && !set) {
        context.err << "clock: --yes goes with --set" << Qt::endl;
        return kExitUsage;
    }
    if (!context.Connect())
        return kExitInstrumentFailed;

    uint8_t response[CFt260::kResponseAreaSize] = {};
    if (set) {
        const auto payload = InstrumentClock::SetClockPayloadAt(context.clock.Now());
        if (!payload) {
            context.err << "설정 실패 - 컴퓨터의 현재 시간을 알 수 없어 장비시간을 보내지 않았습니다." << Qt::endl;
            return kExitInstrumentFailed;
        }
        if (context.link.Transact(CMD_SET_CLOCK, payload->data(), InstrumentClock::kPayloadSize, response) < 0) {
            context.err << "설정 실패 - " << context.link.GetResultText() << Qt::endl;
            return kExitInstrumentFailed;
        }
        context.out << "성공" << Qt::endl;
        return kExitOk;
    }

    uint8_t request[CFt260::kResponseAreaSize] = {};
    if (context.link.Transact(CMD_READ_CLOCK, request, 1, response) < 0) {
        context.err << "장비시간 읽기 실패 : " << context.link.GetResultText() << Qt::endl;
        return kExitInstrumentFailed;
    }
    const InstrumentClock::Display display = InstrumentClock::DecodeAnswer(response);
    context.out << "장비 시간\t" << display.time << '\n' << "서비스 전화\t" << display.telephone << Qt::endl;
    return kExitOk;
}

const CliCommandRegistration kClock("clock", "[--set --yes]", RunClock);

} // namespace
