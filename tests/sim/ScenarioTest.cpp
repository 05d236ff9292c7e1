#include "Commands.h"
#include "SimTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

std::optional<Scenario> Parse(const char *json, QString *error = nullptr)
{
    QString ignored;
    return Scenario::FromJson(json, error ? error : &ignored);
}

} // namespace

TEST(ScenarioFile, EmptyObjectGivesAPlausibleInstrument)
{
    const auto scenario = Parse("{}");
    ASSERT_TRUE(scenario);
    SimRig rig(*scenario);
    EXPECT_EQ(rig.AskData(CMD_READ_NAME), QByteArray("PFM-3000\0", 9));
    EXPECT_EQ(rig.AskData(CMD_READ_VERSION), QByteArray("V1.3"));
    EXPECT_EQ(rig.AskData(CMD_READ_BATTERY), Hex("57"));
    for (uint8_t read : {CMD_READ_SERIAL, CMD_READ_LC15_SN, CMD_READ_LC15_COVER_SN, CMD_READ_LC30_SN,
                         CMD_READ_LC30_COVER_SN, CMD_READ_LC25_COVER_SN}) {
        const QByteArray field = rig.AskData(read);
        EXPECT_NE(uint8_t(field[0]), 0x00) << int(read);
        EXPECT_NE(uint8_t(field[0]), 0xFF) << int(read);
    }
    // Without a clock the instrument shows the shared clock's local time.
    const auto now = LocalFieldsOf(rig.clock.Now());
    const LocalFields shown = rig.Instrument().ClockFields();
    EXPECT_EQ(std::tie(shown.year, shown.month, shown.day, shown.hour, shown.minute),
              std::tie(now->year, now->month, now->day, now->hour, now->minute));
    EXPECT_EQ(rig.Instrument().TelephoneText(), "031-8765-4321");
}

TEST(ScenarioFile, TextAndHexIdentityRecordsAndFirmware)
{
    const auto scenario = Parse(R"({
        "identity": {"name": "압력계", "serial": "A1234567890", "lc15_sn": "X"},
        "identity_hex": {"lc15_sn": "FFFFFFFFFFFFFFFFFF", "version": "56 32 2E 30"},
        "battery": 255,
        "stored": [{"hex": "07E805010000000000 03"}, {"time": "2024-02-29 23:59:59", "raw": 65535}],
        "firmware": {"reject_header": true, "crc_error_block": 7},
        "faults": [{"kind": "late", "command": "0x4b", "delay_ms": 3000},
                   {"kind": "truncate", "command": "35", "occurrence": 2, "bytes": 20}]})");
    ASSERT_TRUE(scenario);
    EXPECT_EQ(scenario->identity.at(CMD_READ_NAME), QByteArray("\xBE\xD0\xB7\xC2\xB0\xE8")); // code page 949
    EXPECT_EQ(scenario->identity.at(CMD_READ_SERIAL), QByteArray("A1234567890"));
    EXPECT_EQ(scenario->identity.at(CMD_READ_LC15_SN), QByteArray(9, '\xFF')); // raw bytes win over text
    EXPECT_EQ(scenario->identity.at(CMD_READ_VERSION), QByteArray("V2.0"));
    EXPECT_EQ(scenario->battery, 255);
    ASSERT_TRUE(scenario->stored);
    ASSERT_EQ(scenario->stored->size(), 2u);
    EXPECT_EQ((*scenario->stored)[0], (RawRecord{0x07, 0xE8, 5, 1, 0, 0, 0, 0, 0, 3}));
    EXPECT_EQ((*scenario->stored)[1], (RawRecord{0x07, 0xE8, 2, 29, 23, 59, 59, 0xFF, 0xFF, 1}));
    EXPECT_TRUE(scenario->firmware.rejectHeader);
    EXPECT_EQ(scenario->firmware.crcErrorBlock, 7);
    ASSERT_EQ(scenario->faults.answers.size(), 2u);
    EXPECT_EQ(scenario->faults.answers[0].command, CMD_READ_CLOCK);
    EXPECT_EQ(scenario->faults.answers[0].occurrence, 0);
    EXPECT_EQ(scenario->faults.answers[0].delayMs, 3000);
    EXPECT_EQ(scenario->faults.answers[1].kind, AnswerFault::Kind::Truncate);
    EXPECT_EQ(scenario->faults.answers[1].occurrence, 2);

    SimRig rig(*scenario);
    EXPECT_EQ(rig.AskData(CMD_READ_NAME), QByteArray("\xBE\xD0\xB7\xC2\xB0\xE8\0\0\0", 9)); // NUL-padded
}

// Bad input is reported with the key that is wrong; nothing throws and nothing half-loads.
TEST(ScenarioFile, BadInputGivesAClearReason)
{
    const std::pair<const char *, const char *> cases[] = {
        {"{\"battery\": 87", "not valid JSON"},
        {"[1, 2]", "expected a JSON object"},
        {R"({"batery": 87})", "unknown key \"batery\""},
        {R"({"battery": 256})", "battery"},
        {R"({"battery": 8.5})", "battery"},
        {R"({"clock": "2024-02-30 10:00:00"})", "clock"},
        {R"({"telephone": "031-123-4567"})", "telephone"},
        {R"({"identity": {"serial": "ABCDEFGHIJKL"}})", "identity.serial: longer than the field's 11 bytes"},
        {R"({"identity": {"name": "😀"}})", "identity.name"},
        {R"({"identity_hex": {"lc15_sn": "F"}})", "identity_hex.lc15_sn"},
        {R"({"identity_hex": {"owner": "00"}})", "unknown key \"owner\""},
        {R"({"stored": [{"hex": "07 E8 05"}]})", "stored[0].hex"},
        {R"({"stored": [{"raw": 10}]})", "stored[0]"},
        {R"({"stored": [{"time": "2024-05-01 10:00:00", "raw": 70000}]})", "stored[0].raw"},
        {R"({"continuous": {"count": 256}})", "continuous.count"},
        {R"({"calibration": {"15": {"points": [1, 2, 3]}}})", "calibration.15.points"},
        {R"({"calibration": {"30": {"corrections": [0, 0, -2049]}}})", "calibration.30.corrections[2]"},
        {R"({"calibration": {"45": {}}})", "unknown key \"45\""},
        {R"({"firmware": {"reject_header": "yes"}})", "firmware.reject_header"},
        {R"({"faults": [{"kind": "smoke", "command": "31"}]})", "unknown fault kind \"smoke\""},
        {R"({"faults": [{"kind": "late", "command": "31"}]})", "needs \"delay_ms\""},
        {R"({"faults": [{"kind": "silent", "command": "99"}]})", "faults[0].command"},
        {R"({"faults": [{"kind": "silent", "command": "31", "occurrence": 0}]})", "faults[0].occurrence"},
        {R"({"faults": [{"kind": "stored_bad_checksum"}]})", "needs \"index\""},
    };
    for (const auto &[json, reason] : cases) {
        QString error;
        EXPECT_FALSE(Parse(json, &error)) << json;
        EXPECT_TRUE(error.contains(QString::fromUtf8(reason))) << json << " -> " << error.toStdString();
    }
    QString error;
    EXPECT_FALSE(Scenario::FromFile("/nonexistent/scenario.json", &error));
    EXPECT_TRUE(error.contains("/nonexistent/scenario.json"));
}

TEST(ScenarioFile, ShippedScenariosLoad)
{
    QString error;
    const auto defaults = Scenario::FromFile(QStringLiteral(TONVALE_SCENARIO_DIR "/default.json"), &error);
    ASSERT_TRUE(defaults) << error.toStdString();
    const Scenario builtIn;
    EXPECT_EQ(defaults->identity, builtIn.identity);
    EXPECT_EQ(defaults->calibration[0].points, builtIn.calibration[0].points);
    EXPECT_EQ(defaults->calibration[1].corrections, builtIn.calibration[1].corrections);

    const auto erased = Scenario::FromFile(QStringLiteral(TONVALE_SCENARIO_DIR "/erased-serial.json"), &error);
    ASSERT_TRUE(erased) << error.toStdString();
    SimRig rig(*erased);
    EXPECT_EQ(rig.AskData(CMD_READ_LC15_SN), QByteArray(9, '\xFF'));
    EXPECT_EQ(rig.AskData(CMD_READ_NAME), QByteArray("PFM-3000\0", 9));
    EXPECT_EQ(SplitFrames(rig.Ask(CMD_READ_MEMORY, Hex("07 E8 05 01 00 00 00"))).size(), 3u);
}
