#include "CFt260.h"
#include "CliCommand.h"
#include "InstrumentIdentity.h"

namespace {
// The eight identity fields as "label<TAB>value" lines, in the order the operator's window reads them.
// A field whose exchange fails prints an empty value; the command then ends with the last failure.
int RunInfo(CliContext &context, const QStringList &arguments)
{
    if (!arguments.isEmpty()) {
        context.err << "info takes no arguments" << Qt::endl;
        return kExitUsage;
    }
    if (!context.Connect())
        return kExitInstrumentFailed;
    int failure = RESULT_OK;
    for (const IdentityField &field : kIdentityFields) {
        uint8_t request[CFt260::kResponseAreaSize] = {};
        uint8_t response[CFt260::kResponseAreaSize] = {};
        const int result = context.link.Transact(field.readCommand, request, 1, response);
        QString value;
        if (result >= 0)
            value = IdentityText(field, response, CFt260::kResponseAreaSize);
        else
            failure = result;
        context.out << QString::fromUtf8(field.label) << '\t' << value << Qt::endl;
    }
    if (failure != RESULT_OK) {
        context.link.m_nResult = failure;
        return context.Fail();
    }
    return kExitOk;
}

const CliCommandRegistration kInfo("info", "", RunInfo);
} // namespace
