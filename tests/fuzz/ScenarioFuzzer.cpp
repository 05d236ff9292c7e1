// The scenario loader on any text. Checked: a text is either refused with a message that names where the
// problem is, or gives a scenario whose identity fields fit the instrument's answers and which runs: a
// simulated instrument built from it, without faults on its line, answers the version and battery reads
// with what the scenario says.
//
// Input: the scenario text.

#include "FuzzCheck.h"

#include "CFt260.h"
#include "Clock.h"
#include "Commands.h"
#include "Scenario.h"
#include "Simulation.h"

#include <cstring>

namespace {

void CheckRuns(const Scenario &scenario)
{
    VirtualClock clock;
    Simulation sim(scenario, clock);
    CFt260 link(sim.Bridge(), sim.Discovery(), clock);
    link.FindDevice();
    const uint8_t zero = 0;
    uint8_t response[CFt260::kResponseAreaSize];

    FUZZ_CHECK(link.Transact(CMD_READ_VERSION, &zero, 1, response) == RESULT_OK);
    const QByteArray version = scenario.identity.at(CMD_READ_VERSION);
    const int length = kResponseDataLength[CMD_READ_VERSION - CMD_FIRST];
    // The field as the instrument holds it: the scenario's bytes, NUL-padded.
    FUZZ_CHECK(std::memcmp(response, version.constData(), size_t(version.size())) == 0);
    for (int i = int(version.size()); i < length; ++i)
        FUZZ_CHECK(response[i] == 0);

    FUZZ_CHECK(link.Transact(CMD_READ_BATTERY, &zero, 1, response) == RESULT_OK);
    FUZZ_CHECK(response[0] == scenario.battery);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const std::optional<Scenario> scenario = Scenario::FromJson(text, &error);
    if (!scenario) {
        FUZZ_CHECK(!error.isEmpty());
        return 0;
    }
    for (const Scenario::IdentityKey &key : Scenario::kIdentityKeys) {
        const auto field = scenario->identity.find(key.readCommand);
        FUZZ_CHECK(field != scenario->identity.end());
        FUZZ_CHECK(field->second.size() <= kResponseDataLength[key.readCommand - CMD_FIRST]);
    }
    FUZZ_CHECK(scenario->identity.size() == Scenario::kIdentityKeys.size());
    if (scenario->faults.answers.empty() && scenario->faults.unplugAfterExchanges < 0)
        CheckRuns(*scenario);
    return 0;
}
