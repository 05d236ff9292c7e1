#include "CliCommand.h"
#include "CliSession.h"
#include "ReportCommands.h"

namespace {
// The eight identity fields as "label<TAB>value" lines, in the order the operator's window reads them.
// A field whose exchange fails, or that is not read because the instrument fell silent, prints an
// empty value; the command then ends with the last failure.
int RunInfo(CliContext &context, const QStringList &arguments)
{
    if (!arguments.isEmpty()) {
        context.err << "info takes no arguments" << Qt::endl;
        return kExitUsage;
    }
    if (!context.Connect())
        return kExitInstrumentFailed;
    InstrumentIdentity identity;
    const int failure = ReadIdentity(context, identity);
    for (size_t i = 0; i < kIdentityFields.size(); ++i)
        context.out << QString::fromUtf8(kIdentityFields[i].label) << '\t' << identity.texts[i] << Qt::endl;
    return failure < 0 ? context.Fail(failure) : kExitOk;
}

const CliCommandRegistration kInfo("info", "", RunInfo);
} // namespace
