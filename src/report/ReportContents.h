#pragma once

#include "InstrumentIdentity.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <array>

// The texts of a report's header block: when it was made, the operator's texts and the instrument's
// identity. Each export lays them out in its own form.
struct ReportHeader {
    QString createdAt;
    QString company;
    QString reportName;
    QString author;
    InstrumentIdentity identity;
};

// The table a report takes, as texts: OUTPUT the summary's count and four values, then each reported
// record's time, force, set value and load cell in order (the report numbers them 1, 2, 3 ...).
struct ReportRows {
    using Row = std::array<QString, 4>;
    QStringList summary;
    QList<Row> rows;
};

// What every report of an incomplete table says of it (`why`: what is missing, IncompleteTableText).
inline QString IncompleteReportNote(const QString &why)
{
    return QStringLiteral("표가 완전하지 않음 (%1)").arg(why);
}
