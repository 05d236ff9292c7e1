#include "PdfPages.h"

#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>

QFont PdfFont(bool bold, qreal points)
{
    QFont font;
    font.setFamilies(
        {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans CJK KR"), QStringLiteral("NanumGothic")});
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

void SetUpPdfPages(QPdfWriter &writer, const QString &title, int resolution, qreal marginMm)
{
    writer.setResolution(resolution);
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Tonvale"));
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(marginMm, marginMm, marginMm, marginMm), QPageLayout::Millimeter));
}
