#include "Scenario.h"

#include "AnsiText.h"
#include "Commands.h"

#include <QDate>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTime>

#include <cmath>

const std::array<Scenario::IdentityKey, 8> Scenario::kIdentityKeys = {{
    {"version", CMD_READ_VERSION},
    {"name", CMD_READ_NAME},
    {"serial", CMD_READ_SERIAL},
    {"lc15_sn", CMD_READ_LC15_SN},
    {"lc15_cover_sn", CMD_READ_LC15_COVER_SN},
    {"lc30_sn", CMD_READ_LC30_SN},
    {"lc30_cover_sn", CMD_READ_LC30_COVER_SN},
    {"lc25_cover_sn", CMD_READ_LC25_COVER_SN},
}};

RawRecord MakeRecord(const LocalFields &t, int rawForce, int setting)
{
    return RawRecord{uint8_t(t.year >> 8), uint8_t(t.year),   uint8_t(t.month),  uint8_t(t.day),
                     uint8_t(t.hour),      uint8_t(t.minute), uint8_t(t.second), uint8_t(rawForce >> 8),
                     uint8_t(rawForce),    uint8_t(setting)};
}

Scenario::Scenario()
{
    const char *defaults[] = {"V1.3",       "PFM-3000",  "PF24050117", "L15-24031",
                              "C15-240312", "L30-24027", "C30-240227", "C25-240115"};
    for (size_t i = 0; i < kIdentityKeys.size(); ++i)
        identity[kIdentityKeys[i].readCommand] = QByteArray(defaults[i]);
    calibration[0] = CalibrationTable{{102400, 1150320, 1543110, 1936050}, 102650, {0, 3, -2}};
    calibration[1] = CalibrationTable{{101800, 1120470, 1510220, 1895600}, 101920, {0, -4, 1}};
}

namespace {

// Reads one scenario file; every check fails with a message naming the key, and nothing throws.
class Parser {
  public:
    QString error;

    bool Fail(const QString &where, const QString &what)
    {
        if (error.isEmpty())
            error = where + QStringLiteral(": ") + what;
        return false;
    }

    bool OnlyKeys(const QJsonObject &object, const QString &where, std::initializer_list<const char *> keys)
    {
        QSet<QString> known;
        for (const char *k : keys)
            known.insert(QLatin1String(k));
        for (auto it = object.begin(); it != object.end(); ++it)
            if (!known.contains(it.key()))
                return Fail(where, QStringLiteral("unknown key \"%1\"").arg(it.key()));
        return true;
    }

    bool Integer(const QJsonValue &value, const QString &where, qint64 lo, qint64 hi, qint64 *out)
    {
        const double d = value.toDouble(NAN);
        if (!value.isDouble() || std::floor(d) != d || d < double(lo) || d > double(hi))
            return Fail(where, QStringLiteral("expected a whole number from %1 to %2").arg(lo).arg(hi));
        *out = qint64(d);
        return true;
    }

    bool Text(const QJsonValue &value, const QString &where, QString *out)
    {
        if (!value.isString())
            return Fail(where, QStringLiteral("expected text"));
        *out = value.toString();
        return true;
    }

    // Hex text such as "07 E8 05" or "07E805".
    bool Hex(const QJsonValue &value, const QString &where, QByteArray *out)
    {
        QString text;
        if (!Text(value, where, &text))
            return false;
        text.remove(QLatin1Char(' '));
        static const QRegularExpression hexPairs(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hexPairs.match(text).hasMatch())
            return Fail(where, QStringLiteral("expected hex bytes such as \"07 E8 05\""));
        *out = QByteArray::fromHex(text.toLatin1());
        return true;
    }

    bool Time(const QJsonValue &value, const QString &where, LocalFields *out)
    {
        QString text;
        if (!Text(value, where, &text))
            return false;
        // Date and time of day apart: the instrument's wall-clock fields, whatever the PC's time zone does.
        const QStringList parts = text.split(QLatin1Char(' '));
        const QDate date = parts.size() == 2 ? QDate::fromString(parts[0], QStringLiteral("yyyy-MM-dd")) : QDate();
        const QTime time = parts.size() == 2 ? QTime::fromString(parts[1], QStringLiteral("HH:mm:ss")) : QTime();
        if (!date.isValid() || !time.isValid())
            return Fail(where, QStringLiteral("expected a time \"YYYY-MM-DD HH:MM:SS\", got \"%1\"").arg(text));
        *out = LocalFields{date.year(), date.month(), date.day(), time.hour(), time.minute(), time.second()};
        return true;
    }

    bool Identity(const QJsonValue &value, bool hex, Scenario *s)
    {
        const QString where = QLatin1String(hex ? "identity_hex" : "identity");
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected an object"));
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            const auto key = std::find_if(Scenario::kIdentityKeys.begin(), Scenario::kIdentityKeys.end(),
                                          [&](const auto &k) { return it.key() == QLatin1String(k.key); });
            const QString here = where + QLatin1Char('.') + it.key();
            if (key == Scenario::kIdentityKeys.end())
                return Fail(where, QStringLiteral("unknown key \"%1\"").arg(it.key()));
            QByteArray bytes;
            if (hex) {
                if (!Hex(it.value(), here, &bytes))
                    return false;
            } else {
                QString text;
                if (!Text(it.value(), here, &text))
                    return false;
                const auto encoded = EncodeAnsi(text);
                if (!encoded)
                    return Fail(here, QStringLiteral("has a character the instrument cannot hold"));
                bytes = *encoded;
            }
            const int length = kResponseDataLength[key->readCommand - CMD_FIRST];
            if (bytes.size() > length)
                return Fail(here, QStringLiteral("longer than the field's %1 bytes").arg(length));
            s->identity[key->readCommand] = bytes;
        }
        return true;
    }

    bool Record(const QJsonValue &value, const QString &where, RawRecord *out)
    {
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected a record object"));
        const QJsonObject r = value.toObject();
        if (r.contains(QLatin1String("hex"))) {
            QByteArray bytes;
            if (!OnlyKeys(r, where, {"hex"}) ||
                !Hex(r.value(QLatin1String("hex")), where + QStringLiteral(".hex"), &bytes))
                return false;
            if (bytes.size() != 10)
                return Fail(where + QStringLiteral(".hex"), QStringLiteral("a record is exactly 10 bytes"));
            std::copy(bytes.begin(), bytes.end(), out->begin());
            return true;
        }
        LocalFields time;
        qint64 raw = 0, setting = 1;
        if (!OnlyKeys(r, where, {"time", "raw", "setting"}))
            return false;
        if (!r.contains(QLatin1String("time")) || !r.contains(QLatin1String("raw")))
            return Fail(where, QStringLiteral("a record needs \"time\" and \"raw\" (or \"hex\")"));
        if (!Time(r.value(QLatin1String("time")), where + QStringLiteral(".time"), &time) ||
            !Integer(r.value(QLatin1String("raw")), where + QStringLiteral(".raw"), 0, 65535, &raw) ||
            (r.contains(QLatin1String("setting")) &&
             !Integer(r.value(QLatin1String("setting")), where + QStringLiteral(".setting"), 0, 255, &setting)))
            return false;
        *out = MakeRecord(time, int(raw), int(setting));
        return true;
    }

    bool Records(const QJsonValue &value, const QString &where, std::vector<RawRecord> *out)
    {
        if (!value.isArray())
            return Fail(where, QStringLiteral("expected a list of records"));
        const QJsonArray list = value.toArray();
        out->clear();
        for (int i = 0; i < list.size(); ++i) {
            RawRecord r{};
            if (!Record(list.at(i), QStringLiteral("%1[%2]").arg(where).arg(i), &r))
                return false;
            out->push_back(r);
        }
        return true;
    }

    bool Continuous(const QJsonValue &value, ContinuousRun *run)
    {
        const QString where = QStringLiteral("continuous");
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected an object"));
        const QJsonObject c = value.toObject();
        if (!OnlyKeys(c, where, {"average", "minimum", "maximum", "deviation", "records", "count"}))
            return false;
        const std::pair<const char *, std::optional<quint16> *> stats[] = {{"average", &run->average},
                                                                           {"minimum", &run->minimum},
                                                                           {"maximum", &run->maximum},
                                                                           {"deviation", &run->deviation}};
        for (const auto &[key, target] : stats) {
            qint64 v = 0;
            if (c.contains(QLatin1String(key))) {
                if (!Integer(c.value(QLatin1String(key)), where + QLatin1Char('.') + QLatin1String(key), 0, 65535, &v))
                    return false;
                *target = quint16(v);
            }
        }
        if (c.contains(QLatin1String("records"))) {
            std::vector<RawRecord> records;
            if (!Records(c.value(QLatin1String("records")), where + QStringLiteral(".records"), &records))
                return false;
            run->records = records;
        }
        qint64 count = 0;
        if (c.contains(QLatin1String("count"))) {
            if (!Integer(c.value(QLatin1String("count")), where + QStringLiteral(".count"), 0, 255, &count))
                return false;
            run->count = int(count);
        }
        return true;
    }

    bool Calibration(const QJsonValue &value, Scenario *s)
    {
        const QString where = QStringLiteral("calibration");
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected an object"));
        const QJsonObject cal = value.toObject();
        if (!OnlyKeys(cal, where, {"15", "30"}))
            return false;
        for (int table = 0; table < 2; ++table) {
            const QString key = QLatin1String(table == 0 ? "15" : "30");
            const QString here = where + QLatin1Char('.') + key;
            if (!cal.contains(key))
                continue;
            if (!cal.value(key).isObject())
                return Fail(here, QStringLiteral("expected an object"));
            const QJsonObject t = cal.value(key).toObject();
            CalibrationTable &target = s->calibration[table];
            qint64 v = 0;
            if (!OnlyKeys(t, here, {"points", "live", "corrections"}))
                return false;
            if (t.contains(QLatin1String("points"))) {
                const QJsonArray points = t.value(QLatin1String("points")).toArray();
                if (!t.value(QLatin1String("points")).isArray() || points.size() != 4)
                    return Fail(here + QStringLiteral(".points"), QStringLiteral("expected 4 raw values"));
                for (int i = 0; i < 4; ++i) {
                    if (!Integer(points.at(i), here + QStringLiteral(".points[%1]").arg(i), 0, 0xFFFFFF, &v))
                        return false;
                    target.points[i] = uint32_t(v);
                }
            }
            if (t.contains(QLatin1String("live"))) {
                if (!Integer(t.value(QLatin1String("live")), here + QStringLiteral(".live"), 0, 0xFFFFFF, &v))
                    return false;
                target.live = uint32_t(v);
            }
            if (t.contains(QLatin1String("corrections"))) {
                const QJsonArray corrections = t.value(QLatin1String("corrections")).toArray();
                if (!t.value(QLatin1String("corrections")).isArray() || corrections.size() != 3)
                    return Fail(here + QStringLiteral(".corrections"), QStringLiteral("expected 3 signed values"));
                for (int i = 0; i < 3; ++i) {
                    if (!Integer(corrections.at(i), here + QStringLiteral(".corrections[%1]").arg(i), -2048,
                                 65535 - 2048, &v))
                        return false;
                    target.corrections[i] = int(v);
                }
            }
        }
        return true;
    }

    bool Firmware(const QJsonValue &value, FirmwareBehaviour *firmware)
    {
        const QString where = QStringLiteral("firmware");
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected an object"));
        const QJsonObject f = value.toObject();
        if (!OnlyKeys(f, where, {"reject_header", "crc_error_block"}))
            return false;
        if (f.contains(QLatin1String("reject_header"))) {
            if (!f.value(QLatin1String("reject_header")).isBool())
                return Fail(where + QStringLiteral(".reject_header"), QStringLiteral("expected true or false"));
            firmware->rejectHeader = f.value(QLatin1String("reject_header")).toBool();
        }
        const QJsonValue block = f.value(QLatin1String("crc_error_block"));
        qint64 v = 0;
        if (!block.isUndefined() && !block.isNull()) {
            if (!Integer(block, where + QStringLiteral(".crc_error_block"), 1, 65535, &v))
                return false;
            firmware->crcErrorBlock = int(v);
        }
        return true;
    }

    bool Fault(const QJsonValue &value, const QString &where, FaultPlan *plan)
    {
        if (!value.isObject())
            return Fail(where, QStringLiteral("expected a fault object"));
        const QJsonObject f = value.toObject();
        QString kind;
        if (!Text(f.value(QLatin1String("kind")), where + QStringLiteral(".kind"), &kind))
            return false;
        qint64 v = 0;
        auto need = [&](const char *key, qint64 lo, qint64 hi) {
            if (!f.contains(QLatin1String(key)))
                return Fail(where, QStringLiteral("fault \"%1\" needs \"%2\"").arg(kind, QLatin1String(key)));
            return Integer(f.value(QLatin1String(key)), where + QLatin1Char('.') + QLatin1String(key), lo, hi, &v);
        };
        if (kind == QLatin1String("stored_bad_checksum")) {
            if (!OnlyKeys(f, where, {"kind", "index"}) || !need("index", 0, 1 << 24))
                return false;
            plan->storedBadChecksum.push_back(int(v));
            return true;
        }
        if (kind == QLatin1String("stored_stream_stops_after")) {
            if (!OnlyKeys(f, where, {"kind", "records"}) || !need("records", 0, 1 << 24))
                return false;
            plan->storedStreamStopsAfter = int(v);
            return true;
        }
        if (kind == QLatin1String("unplug_after_exchanges")) {
            if (!OnlyKeys(f, where, {"kind", "count"}) || !need("count", 0, 1 << 24))
                return false;
            plan->unplugAfterExchanges = int(v);
            return true;
        }

        static const std::pair<const char *, AnswerFault::Kind> kinds[] = {
            {"silent", AnswerFault::Kind::Silent},
            {"late", AnswerFault::Kind::Late},
            {"bad_checksum", AnswerFault::Kind::BadChecksum},
            {"bad_stx", AnswerFault::Kind::BadStx},
            {"bad_etx", AnswerFault::Kind::BadEtx},
            {"extra_bytes", AnswerFault::Kind::ExtraBytes},
            {"garbage_before", AnswerFault::Kind::GarbageBefore},
            {"truncate", AnswerFault::Kind::Truncate},
            {"stray_byte", AnswerFault::Kind::StrayByte},
        };
        const auto match = std::find_if(std::begin(kinds), std::end(kinds),
                                        [&](const auto &k) { return kind == QLatin1String(k.first); });
        if (match == std::end(kinds))
            return Fail(where + QStringLiteral(".kind"), QStringLiteral("unknown fault kind \"%1\"").arg(kind));
        AnswerFault fault;
        fault.kind = match->second;
        if (!OnlyKeys(f, where, {"kind", "command", "occurrence", "delay_ms", "bytes", "after"}))
            return false;
        QByteArray command;
        if (!f.contains(QLatin1String("command")))
            return Fail(where, QStringLiteral("fault \"%1\" needs \"command\"").arg(kind));
        QString commandText;
        if (!Text(f.value(QLatin1String("command")), where + QStringLiteral(".command"), &commandText))
            return false;
        if (commandText.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            commandText = commandText.mid(2);
        if (!Hex(QJsonValue(commandText), where + QStringLiteral(".command"), &command) || command.size() != 1 ||
            uint8_t(command[0]) < CMD_FIRST || uint8_t(command[0]) > CMD_LAST)
            return Fail(where + QStringLiteral(".command"), QStringLiteral("expected a command from 30 to 4B"));
        fault.command = uint8_t(command[0]);
        if (f.contains(QLatin1String("occurrence"))) {
            if (!need("occurrence", 1, 1 << 24))
                return false;
            fault.occurrence = int(v);
        }
        if (fault.kind == AnswerFault::Kind::Late) {
            if (!need("delay_ms", 0, 3600 * 1000))
                return false;
            fault.delayMs = int(v);
        }
        if (fault.kind == AnswerFault::Kind::ExtraBytes || fault.kind == AnswerFault::Kind::GarbageBefore ||
            fault.kind == AnswerFault::Kind::Truncate) {
            if (!need("bytes", 0, 1 << 20))
                return false;
            fault.bytes = int(v);
        }
        if (fault.kind == AnswerFault::Kind::StrayByte) {
            if (!need("after", 0, 1 << 24))
                return false;
            fault.bytes = int(v);
        }
        plan->answers.push_back(fault);
        return true;
    }

    bool Parse(const QJsonObject &root, Scenario *s)
    {
        if (!OnlyKeys(root, QStringLiteral("scenario"),
                      {"identity", "identity_hex", "battery", "clock", "telephone", "stored", "continuous",
                       "calibration", "firmware", "faults"}))
            return false;
        // Text fields first, so that raw bytes given for the same field win.
        if (root.contains(QLatin1String("identity")) && !Identity(root.value(QLatin1String("identity")), false, s))
            return false;
        if (root.contains(QLatin1String("identity_hex")) &&
            !Identity(root.value(QLatin1String("identity_hex")), true, s))
            return false;
        qint64 v = 0;
        if (root.contains(QLatin1String("battery"))) {
            if (!Integer(root.value(QLatin1String("battery")), QStringLiteral("battery"), 0, 255, &v))
                return false;
            s->battery = uint8_t(v);
        }
        if (root.contains(QLatin1String("clock"))) {
            LocalFields clock;
            if (!Time(root.value(QLatin1String("clock")), QStringLiteral("clock"), &clock))
                return false;
            s->clock = clock;
        }
        if (root.contains(QLatin1String("telephone"))) {
            QString phone;
            if (!Text(root.value(QLatin1String("telephone")), QStringLiteral("telephone"), &phone))
                return false;
            static const QRegularExpression form(QStringLiteral("^\\d{3}-\\d{4}-\\d{4}$"));
            if (!form.match(phone).hasMatch())
                return Fail(QStringLiteral("telephone"), QStringLiteral("expected the form \"000-0000-0000\""));
            s->telephone = phone;
        }
        if (root.contains(QLatin1String("stored"))) {
            std::vector<RawRecord> stored;
            if (!Records(root.value(QLatin1String("stored")), QStringLiteral("stored"), &stored))
                return false;
            s->stored = stored;
        }
        if (root.contains(QLatin1String("continuous")) &&
            !Continuous(root.value(QLatin1String("continuous")), &s->continuous))
            return false;
        if (root.contains(QLatin1String("calibration")) && !Calibration(root.value(QLatin1String("calibration")), s))
            return false;
        if (root.contains(QLatin1String("firmware")) && !Firmware(root.value(QLatin1String("firmware")), &s->firmware))
            return false;
        if (root.contains(QLatin1String("faults"))) {
            if (!root.value(QLatin1String("faults")).isArray())
                return Fail(QStringLiteral("faults"), QStringLiteral("expected a list of faults"));
            const QJsonArray faults = root.value(QLatin1String("faults")).toArray();
            for (int i = 0; i < faults.size(); ++i)
                if (!Fault(faults.at(i), QStringLiteral("faults[%1]").arg(i), &s->faults))
                    return false;
        }
        return true;
    }
};

} // namespace

std::optional<Scenario> Scenario::FromJson(const QByteArray &json, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    Parser parser;
    Scenario scenario;
    if (document.isNull())
        parser.Fail(
            QStringLiteral("scenario"),
            QStringLiteral("not valid JSON at offset %1: %2").arg(parseError.offset).arg(parseError.errorString()));
    else if (!document.isObject())
        parser.Fail(QStringLiteral("scenario"), QStringLiteral("expected a JSON object"));
    else
        parser.Parse(document.object(), &scenario);
    if (!parser.error.isEmpty()) {
        if (error)
            *error = parser.error;
        return std::nullopt;
    }
    return scenario;
}

std::optional<Scenario> Scenario::FromFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("%1: cannot read: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString reason;
    auto scenario = FromJson(file.readAll(), &reason);
    if (!scenario && error)
        *error = path + QStringLiteral(": ") + reason;
    return scenario;
}
