#pragma once

// A workbook as xlrd reads it (tests/report/XlrdReader), addressed like the grid: columns and rows from 1.

#include "report/XlrdReader.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

struct XlsBook {
    QJsonObject json;
    QString error; // empty when the workbook was read

    bool Ok() const { return error.isEmpty(); }
    int Rows() const { return json.value(QLatin1String("nrows")).toInt(); }
    // The text a cell shows; a number cell's value as a spreadsheet shows it at the "General" format.
    QString Text(int col, int row) const
    {
        const QJsonValue v = json.value(QLatin1String("texts")).toArray().at(row - 1).toArray().at(col - 1);
        return v.isDouble() ? QString::number(v.toDouble(), 'g', 15) : v.toString();
    }
    bool IsNumber(int col, int row) const
    {
        return json.value(QLatin1String("types")).toArray().at(row - 1).toArray().at(col - 1).toInt() == 2;
    }
    QStringList RowTexts(int row, int cols = 5) const
    {
        QStringList texts;
        for (int col = 1; col <= cols; ++col)
            texts << Text(col, row);
        return texts;
    }
    QJsonObject Format(int col, int row) const
    {
        return json.value(QLatin1String("formats"))
            .toObject()
            .value(QStringLiteral("%1,%2").arg(row - 1).arg(col - 1))
            .toObject();
    }
    bool Bold(int col, int row) const { return Format(col, row).value(QLatin1String("bold")).toBool(); }
    bool Filled(int col, int row) const { return Format(col, row).value(QLatin1String("pattern")).toInt() != 0; }
    // Line styles left, right, top, bottom (1 thin).
    QList<int> Borders(int col, int row) const
    {
        const QJsonObject f = Format(col, row);
        return {f.value("left").toInt(), f.value("right").toInt(), f.value("top").toInt(), f.value("bottom").toInt()};
    }
    // Joins as "col,row,colCount,rowCount", sorted.
    QStringList Merged() const
    {
        QStringList out;
        for (const QJsonValue &m : json.value(QLatin1String("merged")).toArray()) {
            const QJsonArray a = m.toArray(); // row1, row2 (exclusive), col1, col2 (exclusive), from 0
            out << QStringLiteral("%1,%2,%3,%4")
                       .arg(a[2].toInt() + 1)
                       .arg(a[0].toInt() + 1)
                       .arg(a[3].toInt() - a[2].toInt())
                       .arg(a[1].toInt() - a[0].toInt());
        }
        out.sort();
        return out;
    }
    double ColumnWidth(int col) const
    {
        return json.value(QLatin1String("colwidths")).toObject().value(QString::number(col - 1)).toDouble(-256) / 256.0;
    }
    double RowHeight(int row) const
    {
        return json.value(QLatin1String("rowheights")).toObject().value(QString::number(row - 1)).toDouble(-20) / 20.0;
    }
};

inline XlsBook ReadXls(const QString &path)
{
    XlsBook book;
    book.json = ReadWithXlrd(path, 100000, &book.error);
    return book;
}
