#include "PressRegister.h"

#include "MeasurementArchive.h"
#include "MeasurementRecord.h"

#include <QMap>
#include <QSet>
#include <QVariant>

#include <algorithm>

namespace {

QVariant NullInt()
{
    return QVariant(QMetaType::fromType<int>());
}

QVariantList RangeValues(const std::optional<ForceRange> &range)
{
    return {range ? QVariant(range->lowTenths) : NullInt(), range ? QVariant(range->highTenths) : NullInt()};
}

std::optional<ForceRange> RangeOf(const QVariant &low, const QVariant &high)
{
    if (low.isNull() || high.isNull())
        return std::nullopt;
    return ForceRange{low.toInt(), high.toInt()};
}

int VerdictCode(Verdict verdict)
{
    return verdict == Verdict::Pass ? 1 : verdict == Verdict::Fail ? 2 : 0;
}

Verdict VerdictOfCode(int code)
{
    return code == 1 ? Verdict::Pass : code == 2 ? Verdict::Fail : Verdict::None;
}

const char *const kPressColumns =
    "SELECT id, name, location, press_class, interval_days, range_low, range_high, in_service FROM presses";

Press PressOfRow(const QSqlQuery &query)
{
    Press press;
    press.id = query.value(0).toString();
    press.name = query.value(1).toString();
    press.location = query.value(2).toString();
    press.pressClass = query.value(3).toInt();
    press.intervalDays = query.value(4).toInt();
    press.range = RangeOf(query.value(5), query.value(6));
    press.inService = query.value(7).toInt() != 0;
    return press;
}

const char *const kCheckColumns =
    "SELECT id, press_id, measured_at, measured_until, assigned_at, assigned_by, station, range_low, range_high,"
    " record_count, mean, minimum, maximum, deviation, verdict FROM press_checks";

PressCheck CheckOfRow(const QSqlQuery &query)
{
    PressCheck check;
    check.id = query.value(0).toLongLong();
    check.pressId = query.value(1).toString();
    check.measuredAt = query.value(2).toLongLong();
    check.measuredUntil = query.value(3).toLongLong();
    check.assignedAt = query.value(4).toLongLong();
    check.assignedBy = query.value(5).toString();
    check.station = query.value(6).toString();
    check.range = RangeOf(query.value(7), query.value(8));
    check.statistics.count = query.value(9).toInt();
    check.statistics.mean = query.value(10).toDouble();
    check.statistics.minimum = query.value(11).toDouble();
    check.statistics.maximum = query.value(12).toDouble();
    check.statistics.deviation = query.value(13).toDouble();
    check.verdict = VerdictOfCode(query.value(14).toInt());
    return check;
}

// The check's times, statistics and verdict from its records, against check.range; false when no record
// has a calendar time.
bool Measure(PressCheck &check, const std::vector<RawRecord> &records)
{
    std::vector<int> tenths;
    std::optional<qint64> first, last;
    for (const RawRecord &record : records) {
        tenths.push_back(StoredForceTenths(RecordRawForce(record.data())));
        if (const std::optional<qint64> time = RecordTime(record.data())) {
            first = first ? std::min(*first, *time) : *time;
            last = last ? std::max(*last, *time) : *time;
        }
    }
    if (!first)
        return false;
    check.measuredAt = *first;
    check.measuredUntil = *last;
    check.statistics = ComputeForceStatistics(tenths);
    check.verdict = JudgeForces(tenths, check.range);
    return true;
}

RawRecord RecordOfColumns(const QSqlQuery &query, int firstColumn)
{
    RawRecord record{};
    MakeRawRecord(query.value(firstColumn).toString(), query.value(firstColumn + 1).toInt(),
                  query.value(firstColumn + 2).toInt(), record);
    return record;
}

} // namespace

QStringList AssignmentQuestions::Texts() const
{
    QStringList texts;
    if (recordsOfOtherClass > 0) {
        QStringList classes;
        for (const int code : otherSettingCodes)
            classes << (PressClassOfSetting(code) ? PressClassLimits::ClassName(code)
                                                  : QStringLiteral("설정 코드 %1").arg(code));
        texts << QStringLiteral("설비 %1의 등급(%2)이 아닌 기록이 %3개 있습니다: %4")
                     .arg(press.id, PressClassLimits::ClassName(press.pressClass))
                     .arg(recordsOfOtherClass)
                     .arg(classes.join(QStringLiteral(", ")));
    }
    if (recordsElsewhere > 0)
        texts << QStringLiteral("기록 %1개가 이미 다른 점검에 지정되어 있어 이 점검으로 옮깁니다: 점검 %2")
                     .arg(recordsElsewhere)
                     .arg(otherChecks.join(QStringLiteral(", ")));
    return texts;
}

QString PressRegister::Failure() const
{
    return m_problem.isEmpty() ? m_archive.LastError().Reason() : m_problem;
}

bool PressRegister::Problem(const QString &text)
{
    m_problem = text;
    return false;
}

bool PressRegister::ArchiveFailed()
{
    m_problem.clear();
    return false;
}

bool PressRegister::Begin()
{
    m_problem.clear();
    m_archive.m_error = {};
    return m_archive.BeginBatch();
}

bool PressRegister::Commit()
{
    return m_archive.CommitBatch();
}

void PressRegister::Rollback()
{
    m_archive.RollbackBatch();
}

bool PressRegister::AddPress(const Press &press)
{
    m_problem.clear();
    if (!press.Problem().isEmpty())
        return Problem(press.Problem());
    QSqlQuery query;
    const QVariantList range = RangeValues(press.range);
    // A number taken is the operator's mistake, told as such; the database's uniqueness decides it.
    if (!m_archive.Run(
            query,
            "INSERT INTO presses (id, name, location, press_class, interval_days, range_low, range_high,"
            " in_service) VALUES (?, ?, COALESCE(?, ''), ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING RETURNING id",
            {press.id, press.name, press.location, press.pressClass, press.intervalDays, range[0], range[1],
             press.inService ? 1 : 0}))
        return ArchiveFailed();
    if (!query.next())
        return Problem(QStringLiteral("이미 등록된 설비 번호입니다: %1").arg(press.id));
    return true;
}

bool PressRegister::EditPress(const Press &press)
{
    m_problem.clear();
    if (!press.Problem().isEmpty())
        return Problem(press.Problem());
    QSqlQuery query;
    const QVariantList range = RangeValues(press.range);
    if (!m_archive.Run(query,
                       "UPDATE presses SET name = ?, location = COALESCE(?, ''), press_class = ?, interval_days = ?, "
                       "range_low = ?,"
                       " range_high = ?, in_service = ? WHERE id = ?",
                       {press.name, press.location, press.pressClass, press.intervalDays, range[0], range[1],
                        press.inService ? 1 : 0, press.id}))
        return ArchiveFailed();
    if (query.numRowsAffected() < 1)
        return Problem(QStringLiteral("등록되지 않은 설비입니다: %1").arg(press.id));
    return true;
}

bool PressRegister::RetirePress(const QString &id)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Run(query, "UPDATE presses SET in_service = 0 WHERE id = ?", {id}))
        return ArchiveFailed();
    if (query.numRowsAffected() < 1)
        return Problem(QStringLiteral("등록되지 않은 설비입니다: %1").arg(id));
    return true;
}

std::optional<Press> PressRegister::FindPress(const QString &id)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Run(query, (QByteArray(kPressColumns) + " WHERE id = ?").constData(), {id}))
        return std::nullopt;
    if (!query.next())
        return std::nullopt;
    return PressOfRow(query);
}

std::optional<QList<PressOverview>> PressRegister::ListPresses(bool includeRetired)
{
    m_problem.clear();
    // The latest check of each press, found through its index: one look-up a press.
    const char *const allSql =
        "SELECT p.id, p.name, p.location, p.press_class, p.interval_days, p.range_low, p.range_high, p.in_service,"
        " c.measured_at, c.verdict FROM presses p LEFT JOIN press_checks c ON c.id = (SELECT l.id FROM"
        " press_checks l WHERE l.press_id = p.id ORDER BY l.measured_at DESC, l.id DESC LIMIT 1)"
        " ORDER BY p.id";
    const char *const inServiceSql =
        "SELECT p.id, p.name, p.location, p.press_class, p.interval_days, p.range_low, p.range_high, p.in_service,"
        " c.measured_at, c.verdict FROM presses p LEFT JOIN press_checks c ON c.id = (SELECT l.id FROM"
        " press_checks l WHERE l.press_id = p.id ORDER BY l.measured_at DESC, l.id DESC LIMIT 1)"
        " WHERE p.in_service <> 0 ORDER BY p.id";
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!m_archive.Run(query, includeRetired ? allSql : inServiceSql, {}))
        return std::nullopt;
    QList<PressOverview> presses;
    while (query.next()) {
        PressOverview overview;
        overview.press = PressOfRow(query);
        if (!query.value(8).isNull()) {
            overview.lastCheckAt = query.value(8).toLongLong();
            overview.lastVerdict = VerdictOfCode(query.value(9).toInt());
        }
        presses << overview;
    }
    return presses;
}

std::optional<QList<PressCheck>> PressRegister::Checks(const QString &pressId)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Run(
            query, (QByteArray(kCheckColumns) + " WHERE press_id = ? ORDER BY measured_at DESC, id DESC").constData(),
            {pressId}))
        return std::nullopt;
    QList<PressCheck> checks;
    while (query.next())
        checks << CheckOfRow(query);
    return checks;
}

std::optional<std::vector<int>> PressRegister::ForcesOfLatestChecks(const QString &pressId, int checkCount)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Run(query,
                       "SELECT s.raw_force FROM check_records cr JOIN stored_records s ON s.id = cr.record_id"
                       " WHERE cr.check_id IN (SELECT id FROM press_checks WHERE press_id = ?"
                       " ORDER BY measured_at DESC, id DESC LIMIT ?)",
                       {pressId, checkCount}))
        return std::nullopt;
    std::vector<int> tenths;
    while (query.next())
        tenths.push_back(StoredForceTenths(query.value(0).toInt()));
    return tenths;
}

std::optional<ForceRange> PressRegister::JudgingRange(const Press &press, const PressClassLimits &stationLimits)
{
    return press.range ? press.range : stationLimits.Range(press.pressClass);
}

std::optional<std::vector<RegisterRecord>> PressRegister::DownloadRecords(qint64 downloadId, const QList<int> &rows)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Run(query,
                       "SELECT s.id, s.record_time, s.raw_force, s.setting_code FROM download_records dr"
                       " JOIN stored_records s ON s.id = dr.record_id WHERE dr.download_id = ? ORDER BY dr.position",
                       {downloadId}))
        return std::nullopt;
    std::vector<RegisterRecord> all;
    while (query.next())
        all.push_back({query.value(0).toLongLong(), RecordOfColumns(query, 1)});
    if (all.empty()) {
        Problem(QStringLiteral("다운로드 %1에 저장 기록이 없습니다").arg(downloadId));
        return std::nullopt;
    }
    if (rows.isEmpty())
        return all;
    std::vector<RegisterRecord> chosen;
    for (const int row : rows) {
        if (row < 1 || row > int(all.size())) {
            Problem(QStringLiteral("다운로드 %1에 %2행이 없습니다 (1-%3행)").arg(downloadId).arg(row).arg(all.size()));
            return std::nullopt;
        }
        chosen.push_back(all[size_t(row - 1)]);
    }
    return chosen;
}

std::optional<std::vector<RegisterRecord>> PressRegister::FindRecords(const InstrumentIdentity &identity,
                                                                      const std::vector<RawRecord> &records)
{
    m_problem.clear();
    QSqlQuery query;
    if (!m_archive.Prepare(query, "SELECT s.id FROM stored_records s JOIN instruments i ON i.id = s.instrument_id"
                                  " WHERE i.instrument_key = ? AND s.record_time = ? AND s.raw_force = ?"
                                  " AND s.setting_code = ?"))
        return std::nullopt;
    std::vector<RegisterRecord> found;
    for (const RawRecord &record : records) {
        query.bindValue(0, identity.InstrumentKey());
        query.bindValue(1, RawRecordTimeText(record.data()));
        query.bindValue(2, RecordRawForce(record.data()));
        query.bindValue(3, RecordSettingCode(record.data()));
        if (!m_archive.Exec(query))
            return std::nullopt;
        if (query.next())
            found.push_back({query.value(0).toLongLong(), record});
    }
    return found;
}

std::optional<qint64> PressRegister::CheckOf(qint64 recordId, QString *pressId)
{
    QSqlQuery query;
    if (!m_archive.Run(query,
                       "SELECT c.id, c.press_id FROM check_records cr JOIN press_checks c ON c.id = cr.check_id"
                       " WHERE cr.record_id = ?",
                       {recordId}))
        return std::nullopt;
    if (!query.next())
        return 0;
    *pressId = query.value(1).toString();
    return query.value(0).toLongLong();
}

std::optional<AssignmentQuestions> PressRegister::Questions(const QString &pressId,
                                                            const std::vector<RegisterRecord> &records)
{
    m_problem.clear();
    const std::optional<Press> press = FindPress(pressId);
    if (!press) {
        if (m_archive.LastError().kind == ArchiveError::Kind::None)
            Problem(QStringLiteral("등록되지 않은 설비입니다: %1").arg(pressId));
        return std::nullopt;
    }
    AssignmentQuestions questions;
    questions.press = *press;
    // Exactly one of the press's checks again: nothing moves, nothing to ask.
    const std::optional<CheckHolders> holders = HoldersOf(pressId, records);
    if (!holders || holders->sameCheck)
        return holders ? std::optional(questions) : std::nullopt;
    for (const RegisterRecord &r : records) {
        const int code = RecordSettingCode(r.record.data());
        if (code != press->pressClass) {
            ++questions.recordsOfOtherClass;
            if (!questions.otherSettingCodes.contains(code))
                questions.otherSettingCodes << code;
        }
    }
    for (auto it = holders->pressOf.cbegin(); it != holders->pressOf.cend(); ++it) {
        questions.otherChecks << QStringLiteral("%1 (%2)").arg(it.key()).arg(it.value());
        questions.recordsElsewhere += holders->held.value(it.key());
    }
    return questions;
}

std::optional<PressRegister::CheckHolders> PressRegister::HoldersOf(const QString &pressId,
                                                                    const std::vector<RegisterRecord> &records)
{
    CheckHolders holders;
    for (const RegisterRecord &r : records) {
        QString checkPress;
        const std::optional<qint64> check = CheckOf(r.recordId, &checkPress);
        if (!check)
            return std::nullopt;
        if (*check) {
            holders.pressOf[*check] = checkPress;
            ++holders.held[*check];
        }
    }
    const int count = int(records.size());
    if (holders.pressOf.size() == 1 && holders.pressOf.first() == pressId && holders.held.first() == count) {
        const std::optional<QList<qint64>> same = RecordsOfCheck(holders.pressOf.firstKey());
        if (!same)
            return std::nullopt;
        if (same->size() == count)
            holders.sameCheck = holders.pressOf.firstKey();
    }
    return holders;
}

std::optional<QList<qint64>> PressRegister::RecordsOfCheck(qint64 checkId)
{
    QSqlQuery query;
    if (!m_archive.Run(query, "SELECT record_id FROM check_records WHERE check_id = ?", {checkId}))
        return std::nullopt;
    QList<qint64> ids;
    while (query.next())
        ids << query.value(0).toLongLong();
    return ids;
}

std::optional<PressCheck> PressRegister::LoadCheck(qint64 checkId)
{
    QSqlQuery query;
    if (!m_archive.Run(query, (QByteArray(kCheckColumns) + " WHERE id = ?").constData(), {checkId}) || !query.next())
        return std::nullopt;
    return CheckOfRow(query);
}

bool PressRegister::JudgeAgain(qint64 checkId)
{
    std::optional<PressCheck> check = LoadCheck(checkId);
    QSqlQuery query;
    if (!check || !m_archive.Run(query,
                                 "SELECT s.record_time, s.raw_force, s.setting_code FROM check_records cr"
                                 " JOIN stored_records s ON s.id = cr.record_id WHERE cr.check_id = ?",
                                 {checkId}))
        return false;
    std::vector<RawRecord> records;
    while (query.next())
        records.push_back(RecordOfColumns(query, 0));
    if (records.empty())
        return m_archive.Run(query, "DELETE FROM press_checks WHERE id = ?", {checkId});
    Measure(*check, records);
    const ForceStatistics &s = check->statistics;
    return m_archive.Run(query,
                         "UPDATE press_checks SET measured_at = ?, measured_until = ?, record_count = ?, mean = ?,"
                         " minimum = ?, maximum = ?, deviation = ?, verdict = ? WHERE id = ?",
                         {check->measuredAt, check->measuredUntil, s.count, s.mean, s.minimum, s.maximum, s.deviation,
                          VerdictCode(check->verdict), checkId});
}

bool PressRegister::InsertCheck(PressCheck &check, const std::vector<RegisterRecord> &records)
{
    const ForceStatistics &s = check.statistics;
    const QVariantList range = RangeValues(check.range);
    QSqlQuery query;
    if (!m_archive.Run(query,
                       "INSERT INTO press_checks (press_id, measured_at, measured_until, assigned_at, assigned_by,"
                       " station, range_low, range_high, record_count, mean, minimum, maximum, deviation, verdict)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
                       {check.pressId, check.measuredAt, check.measuredUntil, check.assignedAt, check.assignedBy,
                        check.station, range[0], range[1], s.count, s.mean, s.minimum, s.maximum, s.deviation,
                        VerdictCode(check.verdict)}) ||
        !query.next())
        return false;
    check.id = query.value(0).toLongLong();
    QSqlQuery link;
    if (!m_archive.Prepare(link, "INSERT INTO check_records (record_id, check_id) VALUES (?, ?)"))
        return false;
    for (const RegisterRecord &record : records) {
        link.bindValue(0, record.recordId);
        link.bindValue(1, check.id);
        if (!m_archive.Exec(link))
            return false;
    }
    return true;
}

std::optional<AssignmentResult> PressRegister::Assign(const QString &pressId, const std::vector<RegisterRecord> &given,
                                                      const CheckAuthor &author)
{
    // A record ticked twice counts once.
    std::vector<RegisterRecord> records;
    QSet<qint64> seen;
    for (const RegisterRecord &r : given)
        if (!seen.contains(r.recordId)) {
            seen.insert(r.recordId);
            records.push_back(r);
        }
    if (records.empty()) {
        Problem(QStringLiteral("지정할 기록이 없습니다"));
        return std::nullopt;
    }
    if (!Begin())
        return std::nullopt;
    auto fail = [this]() -> std::optional<AssignmentResult> {
        Rollback();
        return std::nullopt;
    };
    const std::optional<Press> press = FindPress(pressId);
    if (!press) {
        if (m_archive.LastError().kind == ArchiveError::Kind::None)
            Problem(QStringLiteral("등록되지 않은 설비입니다: %1").arg(pressId));
        return fail();
    }
    if (!press->inService) {
        Problem(QStringLiteral("사용하지 않는 설비에는 점검을 지정할 수 없습니다: %1").arg(pressId));
        return fail();
    }
    const std::optional<CheckHolders> holders = HoldersOf(pressId, records);
    if (!holders)
        return fail();
    if (holders->sameCheck) {
        const std::optional<PressCheck> check = LoadCheck(holders->sameCheck);
        if (!check || !Commit())
            return fail();
        return AssignmentResult{*check, true};
    }
    QSqlQuery release;
    if (!m_archive.Prepare(release, "DELETE FROM check_records WHERE record_id = ?"))
        return fail();
    for (const RegisterRecord &r : records) {
        release.bindValue(0, r.recordId);
        if (!m_archive.Exec(release))
            return fail();
    }
    PressCheck check;
    check.pressId = pressId;
    check.assignedAt = author.now;
    check.assignedBy = author.user;
    check.station = author.station;
    check.range = JudgingRange(*press, author.stationLimits);
    std::vector<RawRecord> raw;
    for (const RegisterRecord &r : records)
        raw.push_back(r.record);
    if (!Measure(check, raw)) {
        Problem(QStringLiteral("기록의 측정 시각을 읽을 수 없습니다"));
        return fail();
    }
    if (!InsertCheck(check, records))
        return fail();
    for (const qint64 previous : holders->pressOf.keys())
        if (!JudgeAgain(previous))
            return fail();
    if (!Commit())
        return fail();
    return AssignmentResult{check, false};
}
