#include "ReportTemplate.h"

#include "CSpreadSheet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// The resources live in this static library; naming them here keeps the linker from dropping them.
static void InitTemplateResources()
{
    Q_INIT_RESOURCE(report_templates);
}

namespace ReportTemplate {

namespace {

int ColorOf(const QJsonValue &value)
{
    const QString hex = value.toString().mid(1);
    bool ok = false;
    const int rgb = hex.toInt(&ok, 16);
    return ok ? grid::Rgb(rgb >> 16, rgb >> 8, rgb) : 0;
}

// Sets every property the format object names on the current cell.
void ApplyFormat(CSpreadSheet &sheet, const QJsonObject &f)
{
    if (f.contains(QLatin1String("type")))
        sheet.SetCellType(f.value(QLatin1String("type")).toInt());
    if (f.contains(QLatin1String("fontName")))
        sheet.SetFontName(f.value(QLatin1String("fontName")).toString());
    if (f.contains(QLatin1String("fontSize")))
        sheet.SetFontSize(f.value(QLatin1String("fontSize")).toDouble());
    if (f.contains(QLatin1String("bold")))
        sheet.SetFontBold(f.value(QLatin1String("bold")).toBool());
    if (f.contains(QLatin1String("hAlign")))
        sheet.SetHorizontalAlign(f.value(QLatin1String("hAlign")).toInt());
    if (f.contains(QLatin1String("vAlign")))
        sheet.SetVerticalAlign(f.value(QLatin1String("vAlign")).toInt());
    if (f.contains(QLatin1String("shrink")))
        sheet.SetShrinkToFit(f.value(QLatin1String("shrink")).toBool());
    if (f.contains(QLatin1String("back")))
        sheet.SetCellBackColor(ColorOf(f.value(QLatin1String("back"))));
    if (f.contains(QLatin1String("text")))
        sheet.SetCellTextColor(ColorOf(f.value(QLatin1String("text"))));
}

// The "print" object: orientation "portrait" or "landscape", fitWidth and fitHeight in pages (0: as many as
// needed), centerHorizontally, margins {left, right, top, bottom} in inches, titleRows [first, last] printed
// on every page, and footer in footer codes. What it leaves out keeps the default.
grid::PrintSettings PrintSettingsOf(const QJsonObject &p)
{
    grid::PrintSettings settings;
    if (p.value(QLatin1String("orientation")).toString() == QLatin1String("landscape"))
        settings.orientation = grid::PageLandscape;
    settings.fitWidth = p.value(QLatin1String("fitWidth")).toInt();
    settings.fitHeight = p.value(QLatin1String("fitHeight")).toInt();
    settings.centerHorizontally = p.value(QLatin1String("centerHorizontally")).toBool();
    const QJsonObject m = p.value(QLatin1String("margins")).toObject();
    settings.marginLeft = m.value(QLatin1String("left")).toDouble(-1);
    settings.marginRight = m.value(QLatin1String("right")).toDouble(-1);
    settings.marginTop = m.value(QLatin1String("top")).toDouble(-1);
    settings.marginBottom = m.value(QLatin1String("bottom")).toDouble(-1);
    const QJsonArray titles = p.value(QLatin1String("titleRows")).toArray();
    settings.titleFirstRow = titles.at(0).toInt();
    settings.titleLastRow = titles.at(1).toInt();
    settings.footer = p.value(QLatin1String("footer")).toString();
    return settings;
}

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

QString ResourcePath(ReportMode mode)
{
    return mode == ReportMode::Memory ? QStringLiteral(":/report/memory.json") : QStringLiteral(":/report/output.json");
}

bool Load(ReportMode mode, CSpreadSheet &sheet, QString *error)
{
    InitTemplateResources();
    QFile file(ResourcePath(mode));
    if (!file.open(QIODevice::ReadOnly))
        return Fail(error, QStringLiteral("보고서 양식을 읽을 수 없습니다: %1").arg(file.fileName()));
    return LoadJson(file.readAll(), sheet, error);
}

bool LoadJson(const QByteArray &json, CSpreadSheet &sheet, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (!doc.isObject())
        return Fail(error, QStringLiteral("보고서 양식이 잘못되었습니다: %1").arg(parseError.errorString()));
    const QJsonObject t = doc.object();

    sheet.ClearBlock(grid::kAll, grid::kAll, grid::kAll, grid::kAll, false);
    sheet.SetRowCount(0);
    sheet.SetColumnCount(t.value(QLatin1String("columnCount")).toInt());
    sheet.SetRowCount(t.value(QLatin1String("rowCount")).toInt());
    sheet.SetColumnHeadersShown(false);
    sheet.SetRowHeadersShown(false);
    sheet.SetPrintSettings(PrintSettingsOf(t.value(QLatin1String("print")).toObject()));

    const QJsonArray widths = t.value(QLatin1String("columnWidths")).toArray();
    for (int i = 0; i < widths.size(); ++i)
        sheet.SetColumnWidth(i + 1, widths.at(i).toDouble());
    for (const QJsonValue &h : t.value(QLatin1String("rowHeights")).toArray())
        sheet.SetRowHeight(h[QLatin1String("row")].toInt(), h[QLatin1String("height")].toDouble());

    for (const QJsonValue &value : t.value(QLatin1String("formats")).toArray()) {
        const QJsonObject f = value.toObject();
        const QJsonArray b = f.value(QLatin1String("block")).toArray();
        const int col1 = b.at(0).toInt(), row1 = b.at(1).toInt(), col2 = b.at(2).toInt(), row2 = b.at(3).toInt();
        if (f.contains(QLatin1String("border"))) {
            const QJsonObject border = f.value(QLatin1String("border")).toObject();
            sheet.DrawBlockBorder(col1, row1, col2, row2, border.value(QLatin1String("edges")).toInt(),
                                  ColorOf(border.value(QLatin1String("color"))),
                                  border.value(QLatin1String("style")).toInt());
        }
        for (int row = row1; row <= row2; ++row) {
            for (int col = col1; col <= col2; ++col) {
                sheet.SetCurrentColumn(col);
                sheet.SetCurrentRow(row);
                ApplyFormat(sheet, f);
            }
        }
    }

    for (const QJsonValue &value : t.value(QLatin1String("rows")).toArray()) {
        const int row = value[QLatin1String("row")].toInt();
        const QJsonArray texts = value[QLatin1String("texts")].toArray();
        for (int i = 0; i < texts.size(); ++i) {
            if (!texts.at(i).toString().isEmpty())
                sheet.SetCellTextIfChanged(i + 1, row, texts.at(i).toString());
        }
    }

    for (const QJsonValue &value : t.value(QLatin1String("joins")).toArray()) {
        const QJsonArray j = value.toArray();
        sheet.JoinCells(j.at(0).toInt(), j.at(1).toInt(), j.at(2).toInt(), j.at(3).toInt());
    }
    return true;
}

} // namespace ReportTemplate
