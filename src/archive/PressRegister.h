#pragma once

#include "ArchiveTypes.h"
#include "ForceStatistics.h"
#include "PressTypes.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>
#include <vector>

class MeasurementArchive;

// A press with what its latest check says.
struct PressOverview {
    Press press;
    std::optional<qint64> lastCheckAt; // the latest check's first record, seconds since 1970
    Verdict lastVerdict = Verdict::None;
};

// One check of a press: the records assigned to it, judged against the range it had then.
struct PressCheck {
    qint64 id = 0;
    QString pressId;
    qint64 measuredAt = 0;    // its first record's time
    qint64 measuredUntil = 0; // its last record's time
    qint64 assignedAt = 0;
    QString assignedBy; // the operating-system user who assigned it
    QString station;    // the station's host name
    std::optional<ForceRange> range;
    ForceStatistics statistics;
    Verdict verdict = Verdict::None;
};

// A stored record as the archive knows it: its id (one per instrument and measurement, whatever the
// number of downloads that saw it) and its bytes.
struct RegisterRecord {
    qint64 recordId = 0;
    RawRecord record{};
};

// What the operator is asked before an assignment.
struct AssignmentQuestions {
    Press press;
    QList<int> otherSettingCodes; // setting codes of the records that are not the press's class
    int recordsOfOtherClass = 0;
    QStringList otherChecks; // "check id (press id)" of the checks that now hold some of the records
    int recordsElsewhere = 0;
    bool AnyQuestion() const { return recordsOfOtherClass > 0 || recordsElsewhere > 0; }
    // The questions in Korean, one a line; none when there is nothing to ask.
    QStringList Texts() const;
};

struct AssignmentResult {
    PressCheck check;
    bool alreadyAssigned = false; // exactly these records were that press's check already
};

// Who assigns a check, and with which station's class limits.
struct CheckAuthor {
    QString user;
    QString station;
    PressClassLimits stationLimits; // judge a press without a range of its own
    qint64 now = 0;
};

// The press register in the archive: presses, their checks and due dates. Uses the archive's connection
// (on its thread). Failures return false / nullopt; Failure() says why in Korean, the operator's own
// mistakes (an unknown press, a number taken) as well as the archive's.
class PressRegister {
  public:
    explicit PressRegister(MeasurementArchive &archive) : m_archive(archive) {}

    bool AddPress(const Press &press);
    bool EditPress(const Press &press);
    bool RetirePress(const QString &id);
    // nullopt with an empty Failure() when there is no such press.
    std::optional<Press> FindPress(const QString &id);
    std::optional<QList<PressOverview>> ListPresses(bool includeRetired);

    // The press's checks, latest first.
    std::optional<QList<PressCheck>> Checks(const QString &pressId);
    // The forces (tenths of a ton) of every record of the press's latest checks.
    std::optional<std::vector<int>> ForcesOfLatestChecks(const QString &pressId, int checkCount);
    // The range a press is judged against: its own, else the station's limit of its class.
    static std::optional<ForceRange> JudgingRange(const Press &press, const PressClassLimits &stationLimits);

    // The stored records of an archived download at the given rows (1 = its first record), or all of them.
    std::optional<std::vector<RegisterRecord>> DownloadRecords(qint64 downloadId, const QList<int> &rows = {});
    // The stored records of an instrument found by what they are (identity and bytes); a record the archive
    // does not hold is left out.
    std::optional<std::vector<RegisterRecord>> FindRecords(const InstrumentIdentity &identity,
                                                           const std::vector<RawRecord> &records);

    std::optional<AssignmentQuestions> Questions(const QString &pressId, const std::vector<RegisterRecord> &records);
    // The records become one check of the press. Records that belonged to another check move (that check is
    // judged again, or goes when it has none left); exactly the records of one of the press's checks give
    // that check back.
    std::optional<AssignmentResult> Assign(const QString &pressId, const std::vector<RegisterRecord> &records,
                                           const CheckAuthor &author);

    QString Failure() const;

  private:
    bool Problem(const QString &text);
    bool ArchiveFailed();
    bool Begin();
    bool Commit();
    void Rollback();
    // The checks that hold some of the records now (with their presses and how many each holds), and the
    // check of the press that holds exactly these records, if one does.
    struct CheckHolders {
        QMap<qint64, QString> pressOf;
        QMap<qint64, int> held;
        qint64 sameCheck = 0;
    };
    std::optional<CheckHolders> HoldersOf(const QString &pressId, const std::vector<RegisterRecord> &records);
    // The check that holds a record (0: none) and its press.
    std::optional<qint64> CheckOf(qint64 recordId, QString *pressId);
    std::optional<QList<qint64>> RecordsOfCheck(qint64 checkId);
    bool JudgeAgain(qint64 checkId);
    bool InsertCheck(PressCheck &check, const std::vector<RegisterRecord> &records);
    std::optional<PressCheck> LoadCheck(qint64 checkId);

    MeasurementArchive &m_archive;
    QString m_problem;
};
