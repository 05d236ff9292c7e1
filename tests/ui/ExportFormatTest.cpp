// The export's save dialog decides between the workbook and the PDF by the name the operator gives.

#include "CDlgExport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(ExportFormat, TheNameSaysTheFormatAndGetsItsExtension)
{
    QTemporaryDir dir;
    CDlgExport::Format format = CDlgExport::Format::Xls;
    QString answer;
    CDlgExport::SetFileQuestion([&](QWidget *) { return answer; });
    int questions = 0;
    CDlgExport exporter(nullptr,
                        [&](const QString &, const QString &, QMessageBox::StandardButtons, QMessageBox::Icon) {
                            ++questions;
                            return QMessageBox::No;
                        });
    struct Case {
        const char *name;
        const char *target;
        CDlgExport::Format format;
    };
    const Case cases[] = {{"report.pdf", "report.pdf", CDlgExport::Format::Pdf},
                          {"Report.PDF", "Report.PDF", CDlgExport::Format::Pdf},
                          {"report", "report.xls", CDlgExport::Format::Xls},
                          {"report.XLS", "report.XLS", CDlgExport::Format::Xls}};
    for (const Case &c : cases) {
        answer = dir.filePath(QString::fromUtf8(c.name));
        EXPECT_EQ(exporter.AskTargetPath(&format), dir.filePath(QString::fromUtf8(c.target))) << c.name;
        EXPECT_EQ(format, c.format) << c.name;
    }
    EXPECT_TRUE(CDlgExport::kNameFilter.contains(QStringLiteral("Excel 97-2003 (*.xls)")));
    EXPECT_TRUE(CDlgExport::kNameFilter.contains(QStringLiteral("PDF (*.pdf)")));

    // A file of the appended name is replaced only when the operator says so.
    QFile existing(dir.filePath(QStringLiteral("old.xls")));
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    answer = dir.filePath(QStringLiteral("old"));
    EXPECT_TRUE(exporter.AskTargetPath(&format).isEmpty());
    EXPECT_EQ(questions, 1);
    CDlgExport::SetFileQuestion({});
}

} // namespace
