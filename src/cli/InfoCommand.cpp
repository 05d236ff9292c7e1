#include "CFt260.h"
#include "CliCommand.h"
#include "InstrumentIdentity.h"

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
    QStringList values(int(kIdentityFields.size()));
    const IdentityReadResult read = ReadInstrumentIdentity(context.link, [&](int index, const uint8_t *response) {
        values[index] = IdentityText(kIdentityFields[index], response, CFt260::kResponseAreaSize);
    });
    for (int i = 0; i < int(kIdentityFields.size()); ++i)
        context.out << QString::fromUtf8(kIdentityFields[i].label) << '\t' << values[i] << Qt::endl;
    if (read.result != RESULT_OK) {
        context.link.m_nResult = read.result;
        return context.Fail();
    }
    return kExitOk;
}

const CliCommandRegistration kInfo("info", "", RunInfo);
} // namespace
