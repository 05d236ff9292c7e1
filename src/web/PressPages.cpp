#include "PressPages.h"

#include "DueDates.h"
#include "LimitsSettings.h"
#include "LocalTime.h"
#include "PageContext.h"
#include "PressHistoryPdf.h"
#include "SvgTrend.h"
#include "WebLayout.h"
#include "WebText.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

using web_text::Html;
using web_text::Url;

constexpr int kVerdictDays = 30;

qint64 Now()
{
    return QDateTime::currentSecsSinceEpoch();
}

QString Day(qint64 at)
{
    return LocalDateOf(at).toString(QStringLiteral("yyyy-MM-dd"));
}

QString PressLink(const QString &id)
{
    return QStringLiteral("<a href=\"/presses/%1\">%2</a>").arg(Url(id), Html(id));
}

// The row class a due state is shown with.
QString DueClass(DueState state)
{
    switch (state) {
    case DueState::Overdue: return QStringLiteral(" class=\"fail\"");
    case DueState::DueSoon: return QStringLiteral(" class=\"soon\"");
    case DueState::OnTime: break;
    }
    return QString();
}

QString VerdictClass(Verdict verdict)
{
    return verdict == Verdict::Pass   ? QStringLiteral(" class=\"pass\"")
           : verdict == Verdict::Fail ? QStringLiteral(" class=\"fail\"")
                                      : QString();
}

QString DueText(const DueDate &due)
{
    return QStringLiteral("%1 (%2)").arg(due.due.toString(QStringLiteral("yyyy-MM-dd")), DueStateText(due.state));
}

// A press of the register with its latest check and due date, as the lists show it.
struct PressLine {
    PressOverview overview;
    DueDate due;
};

QJsonValue RangeJson(const std::optional<ForceRange> &range)
{
    return range ? QJsonValue(QJsonObject{{"low", range->Low()}, {"high", range->High()}}) : QJsonValue();
}

QJsonObject PressJson(const PressLine &line)
{
    const Press &p = line.overview.press;
    const std::optional<qint64> &last = line.overview.lastCheckAt;
    return QJsonObject{{"id", p.id},
                       {"name", p.name},
                       {"class", PressClassLimits::ClassName(p.pressClass)},
                       {"location", p.location},
                       {"intervalDays", p.intervalDays},
                       {"ownRange", RangeJson(p.range)},
                       {"inService", p.inService},
                       {"lastCheckAt", OptionalJson(last)},
                       {"lastCheck", last ? QJsonValue(Day(*last)) : QJsonValue()},
                       {"lastVerdict", VerdictText(line.overview.lastVerdict)},
                       {"due", line.due.due.toString(QStringLiteral("yyyy-MM-dd"))},
                       {"dueState", DueStateText(line.due.state)},
                       {"daysLeft", line.due.daysLeft}};
}

QString PressTable(const QList<PressLine> &lines)
{
    QString html = QStringLiteral("<table class=\"presses\"><thead><tr><th>설비 번호</th><th>이름</th><th>등급</th>"
                                  "<th>위치</th><th>점검 주기</th><th>마지막 점검</th><th>판정</th><th>다음 점검</th>"
                                  "</tr></thead><tbody>");
    for (const PressLine &line : lines) {
        const Press &p = line.overview.press;
        const std::optional<qint64> &last = line.overview.lastCheckAt;
        html += QStringLiteral("<tr%1><td>%2</td><td>%3</td><td>%4</td><td>%5</td><td class=\"num\">%6일</td>"
                               "<td>%7</td><td>%8</td><td>%9</td></tr>")
                    .arg(DueClass(line.due.state), PressLink(p.id), Html(p.name),
                         PressClassLimits::ClassName(p.pressClass), Html(p.location))
                    .arg(p.intervalDays)
                    .arg(last ? Day(*last) : QStringLiteral("-"), VerdictText(line.overview.lastVerdict),
                         DueText(line.due));
    }
    return html + QStringLiteral("</tbody></table>");
}

// The register's presses in service with their due dates; false with the answer to give in failure.
bool ReadPressLines(const PageContext &pages, const WebRequest &request, QList<PressLine> &lines, WebResponse &failure)
{
    std::optional<QList<PressOverview>> overviews;
    if (!pages.Read(
            request,
            [&](MeasurementArchive &archive, ArchiveError &error) {
                overviews = PressRegister(archive).ListPresses(false);
                error = archive.LastError();
                return overviews.has_value();
            },
            failure))
        return false;
    const qint64 now = Now();
    lines.clear();
    for (const PressOverview &overview : *overviews)
        lines.append({overview, DueDateOf(overview.lastCheckAt, overview.press.intervalDays, now)});
    return true;
}

WebResponse PressList(const PageContext &pages, const WebRequest &request, bool json)
{
    QList<PressLine> lines;
    WebResponse failure;
    if (!ReadPressLines(pages, request, lines, failure))
        return failure;
    if (json) {
        QJsonArray items;
        for (const PressLine &line : lines)
            items << PressJson(line);
        return web_layout::Json(items);
    }
    const QString body =
        lines.isEmpty() ? QStringLiteral("<p class=\"note\">등록된 설비가 없습니다.</p>") : PressTable(lines);
    return web_layout::Page(pages.router, request, QStringLiteral("설비"), body);
}

// An id the register could hold: not empty, no spaces around it, no control characters, not too long.
bool PlausiblePressId(const QString &id)
{
    return !id.isEmpty() && id == id.trimmed() && id.size() <= Press::kMaxIdLength &&
           std::none_of(id.begin(), id.end(), [](QChar c) { return c.category() == QChar::Other_Control; });
}

// The press's history as its PDF shows it; false with the answer to give (400, 404, 503) in failure.
bool LoadHistory(const PageContext &pages, const WebRequest &request, const QString &id,
                 std::optional<PressHistory> &history, WebResponse &failure)
{
    if (!PlausiblePressId(id)) {
        failure = pages.Bad(
            request, QStringLiteral("설비 번호는 앞뒤 공백과 제어 문자 없이 %1자까지입니다.").arg(Press::kMaxIdLength));
        return false;
    }
    const PressClassLimits limits = LoadPressClassLimits(pages.setting.iniPath);
    return pages.ReadOne(
        request,
        [&](MeasurementArchive &archive) {
            PressRegister presses(archive);
            return LoadPressHistory(presses, id, limits, Now());
        },
        history, QStringLiteral("등록되지 않은 설비입니다: %1").arg(id), failure);
}

QJsonValue CapabilityJson(const PressHistory &history)
{
    if (!history.capability)
        return QJsonValue();
    const Capability &c = *history.capability;
    return QJsonObject{{"cp", c.cp},
                       {"cpk", c.cpk},
                       {"capable", c.Capable()},
                       {"records", c.statistics.count},
                       {"mean", c.statistics.mean},
                       {"deviation", c.statistics.deviation},
                       {"minimum", c.statistics.minimum},
                       {"maximum", c.statistics.maximum}};
}

QJsonObject CheckJson(const PressCheck &c)
{
    return QJsonObject{{"id", double(c.id)},
                       {"measuredAt", double(c.measuredAt)},
                       {"measured", FormatLocalTime(c.measuredAt)},
                       {"records", c.statistics.count},
                       {"mean", c.statistics.mean},
                       {"minimum", c.statistics.minimum},
                       {"maximum", c.statistics.maximum},
                       {"deviation", c.statistics.deviation},
                       {"range", RangeJson(c.range)},
                       {"verdict", VerdictText(c.verdict)},
                       {"assignedBy", c.assignedBy},
                       {"station", c.station}};
}

QString ChecksTable(const QList<PressCheck> &checks)
{
    if (checks.isEmpty())
        return QStringLiteral("<p class=\"note\">점검 기록이 없습니다.</p>");
    QString html = QStringLiteral("<table class=\"checks\"><thead><tr><th>점검</th><th>측정 시간</th><th>기록 수</th>"
                                  "<th>평균</th><th>최소</th><th>최대</th><th>표준편차</th><th>판정 범위</th>"
                                  "<th>판정</th><th>지정자 / 측정 PC</th></tr></thead><tbody>");
    for (const PressCheck &c : checks)
        html += QStringLiteral("<tr%1><td class=\"num\">%2</td><td>%3</td><td class=\"num\">%4</td>"
                               "<td class=\"num\">%5</td><td class=\"num\">%6</td><td class=\"num\">%7</td>"
                               "<td class=\"num\">%8</td><td>%9</td>")
                    .arg(VerdictClass(c.verdict))
                    .arg(c.id)
                    .arg(FormatLocalTime(c.measuredAt))
                    .arg(c.statistics.count)
                    .arg(c.statistics.mean, 0, 'f', 2)
                    .arg(c.statistics.minimum, 0, 'f', 1)
                    .arg(c.statistics.maximum, 0, 'f', 1)
                    .arg(c.statistics.deviation, 0, 'f', 2)
                    .arg(c.range ? c.range->DisplayText() : QStringLiteral("-")) +
                QStringLiteral("<td>%1</td><td>%2</td></tr>")
                    .arg(VerdictText(c.verdict), Html(c.assignedBy + QStringLiteral(" / ") + c.station));
    return html + QStringLiteral("</tbody></table>");
}

QString CapabilityTable(const PressHistory &history)
{
    QString html = QStringLiteral("<p>%1</p>").arg(Html(history.CapabilityText()));
    if (!history.capability)
        return html;
    const ForceStatistics &s = history.capability->statistics;
    return html + QStringLiteral("<table class=\"capability\"><tr><th>Cp</th><th>Cpk</th><th>기록 수</th><th>평균</th>"
                                 "<th>표준편차</th><th>최소</th><th>최대</th></tr><tr%1><td class=\"num\">%2</td>"
                                 "<td class=\"num\">%3</td><td class=\"num\">%4</td><td class=\"num\">%5</td>"
                                 "<td class=\"num\">%6</td><td class=\"num\">%7</td><td class=\"num\">%8</td></tr>"
                                 "</table>")
                      .arg(history.capability->Capable() ? QString() : QStringLiteral(" class=\"fail\""))
                      .arg(history.capability->cp, 0, 'f', 2)
                      .arg(history.capability->cpk, 0, 'f', 2)
                      .arg(s.count)
                      .arg(s.mean, 0, 'f', 2)
                      .arg(s.deviation, 0, 'f', 2)
                      .arg(s.minimum, 0, 'f', 1)
                      .arg(s.maximum, 0, 'f', 1);
}

WebResponse PressPage(const PageContext &pages, const WebRequest &request, const QString &id, bool json)
{
    std::optional<PressHistory> history;
    WebResponse failure;
    if (!LoadHistory(pages, request, id, history, failure))
        return failure;
    const Press &p = history->press;
    const PressLine line{{p,
                          history->checks.isEmpty() ? std::nullopt : std::optional(history->checks.first().measuredAt),
                          history->checks.isEmpty() ? Verdict::None : history->checks.first().verdict},
                         history->due};
    if (json) {
        QJsonObject object = PressJson(line);
        object[QStringLiteral("judgedAgainst")] = RangeJson(history->range);
        object[QStringLiteral("capability")] = CapabilityJson(*history);
        QJsonArray checks;
        for (const PressCheck &c : history->checks)
            checks << CheckJson(c);
        object[QStringLiteral("checks")] = checks;
        return web_layout::Json(object);
    }
    QString body = QStringLiteral("<table class=\"summary\"><tr><th>설비 번호</th><td>%1</td></tr>"
                                  "<tr><th>이름</th><td>%2</td></tr><tr><th>등급</th><td>%3</td></tr>"
                                  "<tr><th>위치</th><td>%4</td></tr><tr><th>점검 주기</th><td>%5일</td></tr>"
                                  "<tr><th>판정 범위</th><td>%6</td></tr><tr%7><th>다음 점검</th><td>%8</td></tr>"
                                  "<tr><th>상태</th><td>%9</td></tr></table>")
                       .arg(Html(p.id), Html(p.name), PressClassLimits::ClassName(p.pressClass), Html(p.location))
                       .arg(p.intervalDays)
                       .arg(Html(history->RangeText()), DueClass(history->due.state), DueText(history->due),
                            p.inService ? QStringLiteral("사용") : QStringLiteral("사용 안 함"));
    body +=
        QStringLiteral("<p class=\"files\">보고서: <a href=\"/presses/%1.pdf\">점검 이력 PDF</a></p>").arg(Url(p.id));
    body += QStringLiteral("<h2>추세</h2>") + SvgPressTrend(history->checks, history->range);
    body += QStringLiteral("<h2>공정 능력</h2>") + CapabilityTable(*history);
    body += QStringLiteral("<h2>점검 (최근 순)</h2>") + ChecksTable(history->checks);
    return web_layout::Page(pages.router, request, QStringLiteral("설비 %1").arg(p.id), body);
}

// A file name made of the id's safe characters only (it goes into a header).
QString PdfName(const QString &id)
{
    QString name = id;
    for (QChar &c : name)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    return QStringLiteral("press-%1.pdf").arg(name);
}

WebResponse PressPdf(const PageContext &pages, const WebRequest &request, const QString &id)
{
    std::optional<PressHistory> history;
    WebResponse failure;
    if (!LoadHistory(pages, request, id, history, failure))
        return failure;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("press.pdf"));
    QString error;
    // Painted on this thread: the history PDF draws with a painter only (no widget), so it need not wait in the
    // main thread's queue behind the downloads' PDFs, whose charts are widgets.
    const bool written = dir.isValid() && WritePressHistoryPdf(path, *history, &error);
    QFile file(path);
    if (!written || !file.open(QIODevice::ReadOnly))
        return web_layout::Error(pages.router, request, 500,
                                 error.isEmpty() ? QStringLiteral("보고서 파일을 만들 수 없습니다.") : error);
    WebResponse response;
    response.contentType = "application/pdf";
    response.attachmentName = PdfName(id);
    response.body = file.readAll();
    return response;
}

// The start page's presses overdue or due within a week, the most overdue first.
std::optional<QString> DuePart(const PageContext &pages, const WebRequest &request, WebResponse &failure)
{
    QList<PressLine> lines;
    if (!ReadPressLines(pages, request, lines, failure))
        return std::nullopt;
    QList<PressLine> due;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(due),
                 [](const PressLine &line) { return line.due.daysLeft <= DueDate::kSoonDays; });
    std::stable_sort(due.begin(), due.end(),
                     [](const PressLine &a, const PressLine &b) { return a.due.due < b.due.due; });
    const QString heading = QStringLiteral("<h2>점검할 설비 (기한 초과, %1일 이내)</h2>").arg(DueDate::kSoonDays);
    if (due.isEmpty())
        return heading + QStringLiteral("<p class=\"note\">점검 기한이 다가온 설비가 없습니다.</p>");
    return heading + PressTable(due) + QStringLiteral("<p><a href=\"/presses\">모든 설비</a></p>");
}

// The start page's pass and fail counts of the last days' checks, per press class.
std::optional<QString> VerdictPart(const PageContext &pages, const WebRequest &request, WebResponse &failure)
{
    std::optional<QList<CheckVerdictCount>> counts;
    const qint64 since = Now() - qint64(kVerdictDays) * 86400;
    if (!pages.Read(
            request,
            [&](MeasurementArchive &archive, ArchiveError &error) {
                counts = WebArchive::CheckVerdictsSince(archive, since, error);
                return counts.has_value();
            },
            failure))
        return std::nullopt;
    QString html = QStringLiteral("<h2>최근 %1일 점검 판정 (설비 등급별)</h2><table class=\"verdicts\"><thead><tr>"
                                  "<th>등급</th><th>합격</th><th>불합격</th></tr></thead><tbody>")
                       .arg(kVerdictDays);
    for (int pressClass = 0; pressClass < kPressClassCount; ++pressClass) {
        qint64 passed = 0, failed = 0;
        for (const CheckVerdictCount &c : *counts) {
            if (c.pressClass != pressClass)
                continue;
            if (c.verdict == Verdict::Pass)
                passed += c.checks;
            else if (c.verdict == Verdict::Fail)
                failed += c.checks;
        }
        html += QStringLiteral("<tr><td>%1</td><td class=\"num\">%2</td><td class=\"num%4\">%3</td></tr>")
                    .arg(PressClassLimits::ClassName(pressClass))
                    .arg(passed)
                    .arg(failed)
                    .arg(failed > 0 ? QStringLiteral(" fail") : QString());
    }
    return html + QStringLiteral("</tbody></table>");
}

} // namespace

void AddPressPages(WebRouter &router, const ArchivePagesSetting &setting)
{
    auto pages = std::make_shared<PageContext>(PageContext{router, setting});
    router.AddNavigation(QStringLiteral("설비"), QStringLiteral("/presses"));
    router.AddDashboardPart([pages](const WebRequest &r, WebResponse &f) { return DuePart(*pages, r, f); });
    router.AddDashboardPart([pages](const WebRequest &r, WebResponse &f) { return VerdictPart(*pages, r, f); });
    router.AddPage(QStringLiteral("/presses/((?s:.+))\\.pdf"),
                   [pages](const WebRequest &r, const QStringList &c) { return PressPdf(*pages, r, c[0]); });
    for (const bool json : {false, true}) {
        const QString prefix = json ? QStringLiteral("/api") : QString();
        router.AddPage(prefix + QStringLiteral("/presses"),
                       [pages, json](const WebRequest &r, const QStringList &) { return PressList(*pages, r, json); });
        router.AddPage(
            prefix + QStringLiteral("/presses/((?s:.+))"),
            [pages, json](const WebRequest &r, const QStringList &c) { return PressPage(*pages, r, c[0], json); });
    }
}
