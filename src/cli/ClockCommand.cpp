#include "CliCommand.h"
#include "CliSession.h"
#include "Commands.h"
#include "InstrumentClock.h"
#include "SessionJobs.h"

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

    if (set) {
        const JobResult written = context.session.Run(SessionJobs::SetClockNow(InstrumentClock::ServiceTelephone()));
        if (written.nothingSent) {
            context.err << "설정 실패 - 컴퓨터의 현재 시간을 알 수 없어 장비시간을 보내지 않았습니다." << Qt::endl;
            return kExitInstrumentFailed;
        }
        if (written.code < 0) {
            context.err << "설정 실패 - " << written.text << Qt::endl;
            return kExitInstrumentFailed;
        }
        context.out << "성공" << Qt::endl;
        return kExitOk;
    }

    const JobResult read = context.session.Run(SessionJobs::Read(CMD_READ_CLOCK));
    if (read.code < 0) {
        context.err << "장비시간 읽기 실패 : " << read.text << Qt::endl;
        return kExitInstrumentFailed;
    }
    const InstrumentClock::Display display =
        InstrumentClock::DecodeAnswer(reinterpret_cast<const uint8_t *>(read.exchanges.first().response.constData()));
    context.out << "장비 시간\t" << display.time << '\n' << "서비스 전화\t" << display.telephone << Qt::endl;
    return kExitOk;
}

const CliCommandRegistration kClock("clock", "[--set --yes]", RunClock);

} // namespace
