#include "ArchivePages.h"

#include "ChartSeries.h"
#include "DownloadReplay.h"
#include "InstrumentIdentity.h"
#include "LimitsSettings.h"
#include "LocalTime.h"
#include "PageContext.h"
#include "ReportFileCache.h"
#include "ReportFiles.h"
#include "ResultCodes.h"
#include "SvgChart.h"
#include "WebArchive.h"
#include "WebLayout.h"
#include "WebText.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>

#include <memory>

namespace {

using web_text::Html;
using web_text::Url;

constexpr int kDashboardDownloads = 20;
constexpr int kMaxSerialLength = 64;
constexpr int kMaxPage = 1000000;
// Report files kept for asking again: a few hundred downloads' PDFs.
constexpr qint64 kReportCacheBytes = 64 * 1024 * 1024;

// The filters of a downloads list, as "기록 보기" takes them.
struct ListQuery {
    DownloadFilter filter;
    int page = 1;
    QString instrument, from, to; // as given, for the form and the pager's links
};

QDate Day(const QString &text)
{
    return QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
}

// The list's filters; nullopt with *problem (Korean) for a parameter that cannot be taken.
std::optional<ListQuery> ParseListQuery(const WebRequest &request, QString *problem)
{
    ListQuery query;
    query.instrument = request.Parameter(QStringLiteral("instrument")).trimmed();
    query.from = request.Parameter(QStringLiteral("from")).trimmed();
    query.to = request.Parameter(QStringLiteral("to")).trimmed();
    const QString page = request.Parameter(QStringLiteral("page")).trimmed();
    if (query.instrument.size() > kMaxSerialLength) {
        *problem = QStringLiteral("계측기 일련번호는 %1자까지입니다.").arg(kMaxSerialLength);
        return std::nullopt;
    }
    for (const QChar c : query.instrument)
        if (c.category() == QChar::Other_Control) {
            *problem = QStringLiteral("계측기 일련번호에 제어 문자가 있습니다.");
            return std::nullopt;
        }
    query.filter.serial = query.instrument;
    if (!query.from.isEmpty()) {
        query.filter.from = LocalDayStart(Day(query.from));
        if (!query.filter.from) {
            *problem = QStringLiteral("시작 날짜는 YYYY-MM-DD 형식의 날짜여야 합니다: %1").arg(query.from);
            return std::nullopt;
        }
    }
    if (!query.to.isEmpty()) {
        const std::optional<qint64> toDay = LocalDayStart(Day(query.to));
        if (!toDay) {
            *problem = QStringLiteral("끝 날짜는 YYYY-MM-DD 형식의 날짜여야 합니다: %1").arg(query.to);
            return std::nullopt;
        }
        // Through the whole of the last day.
        query.filter.before = LocalDayStart(Day(query.to).addDays(1));
        if (query.filter.from && *query.filter.from > *toDay) {
            *problem = QStringLiteral("시작 날짜가 끝 날짜보다 늦습니다.");
            return std::nullopt;
        }
    }
    if (!page.isEmpty()) {
        bool ok = false;
        query.page = page.toInt(&ok);
        if (!ok || query.page < 1 || query.page > kMaxPage) {
            *problem = QStringLiteral("페이지는 1부터 %1까지의 번호여야 합니다: %2").arg(kMaxPage).arg(page);
            return std::nullopt;
        }
    }
    query.filter.limit = kDownloadsPerPage;
    query.filter.offset = qint64(query.page - 1) * kDownloadsPerPage;
    return query;
}

QString OutcomeText(const DownloadSummary &d)
{
    if (!d.resultCode)
        return QStringLiteral("끝나지 않음");
    if (*d.resultCode >= 0)
        return d.complete ? QStringLiteral("정상") : QStringLiteral("불완전");
    return QStringLiteral("실패 (%1)").arg(*d.resultCode);
}

QString DownloadLink(qint64 id)
{
    return QStringLiteral("<a href=\"/downloads/%1\">%1</a>").arg(id);
}

QString InstrumentLink(const QString &serial)
{
    return QStringLiteral("<a href=\"/instruments/%1\">%2</a>").arg(Url(serial), Html(serial));
}

QString DownloadsTable(const QList<DownloadSummary> &downloads)
{
    if (downloads.isEmpty())
        return QStringLiteral("<p class=\"note\">다운로드가 없습니다.</p>");
    QString html = QStringLiteral("<table class=\"downloads\"><thead><tr><th>번호</th><th>계측기 S/N</th>"
                                  "<th>시작 시각</th><th>모드</th><th>행</th><th>결과</th><th>손상 기록</th>"
                                  "<th>측정 PC</th></tr></thead><tbody>");
    for (const DownloadSummary &d : downloads)
        html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td><td>%4</td><td class=\"num\">%5</td>"
                               "<td>%6</td><td class=\"num\">%7</td><td>%8</td></tr>")
                    .arg(DownloadLink(d.id), InstrumentLink(d.identity.Serial()), FormatLocalTime(d.startedAt),
                         DownloadModeName(d.mode))
                    .arg(d.rowCount)
                    .arg(Html(OutcomeText(d)))
                    .arg(d.damaged)
                    .arg(Html(d.host));
    return html + QStringLiteral("</tbody></table>");
}

QJsonObject DownloadJson(const DownloadSummary &d)
{
    QJsonObject identity;
    for (size_t i = 0; i < kIdentityFields.size(); ++i)
        identity[QString::fromUtf8(kIdentityFields[i].label)] =
            d.identity.texts[i].isNull() ? QJsonValue() : QJsonValue(d.identity.texts[i]);
    return QJsonObject{{"id", double(d.id)},
                       {"uid", d.uid},
                       {"serial", d.identity.Serial()},
                       {"identity", identity},
                       {"started", FormatLocalTime(d.startedAt)},
                       {"startedAt", double(d.startedAt)},
                       {"endedAt", OptionalJson(d.endedAt)},
                       {"mode", DownloadModeName(d.mode)},
                       {"rows", d.rowCount},
                       {"resultCode", d.resultCode ? QJsonValue(*d.resultCode) : QJsonValue()},
                       {"complete", d.complete},
                       {"damaged", d.damaged},
                       {"host", d.host}};
}

QString PagerLink(const ListQuery &query, int page, const QString &path, const QString &title)
{
    QStringList parameters;
    if (!query.instrument.isEmpty())
        parameters << QStringLiteral("instrument=") + Url(query.instrument);
    if (!query.from.isEmpty())
        parameters << QStringLiteral("from=") + Url(query.from);
    if (!query.to.isEmpty())
        parameters << QStringLiteral("to=") + Url(query.to);
    parameters << QStringLiteral("page=%1").arg(page);
    return QStringLiteral("<a href=\"%1?%2\">%3</a>").arg(path, Html(parameters.join(QLatin1Char('&'))), title);
}

QString Pager(const ListQuery &query, qint64 total, const QString &path)
{
    const qint64 pages = std::max<qint64>(1, (total + kDownloadsPerPage - 1) / kDownloadsPerPage);
    QString html = QStringLiteral("<div class=\"pager\"><span>총 %1건, 페이지 %2 / %3</span>")
                       .arg(total)
                       .arg(query.page)
                       .arg(pages);
    if (query.page > 1)
        html += PagerLink(query, query.page - 1, path, QStringLiteral("이전"));
    if (query.page < pages)
        html += PagerLink(query, query.page + 1, path, QStringLiteral("다음"));
    return html + QStringLiteral("</div>");
}

WebResponse Dashboard(const PageContext &pages, const WebRequest &request)
{
    QList<DownloadSummary> latest;
    WebResponse failure;
    DownloadFilter filter;
    filter.limit = kDashboardDownloads;
    if (!pages.Read(
            request,
            [&](MeasurementArchive &archive, ArchiveError &error) {
                const auto list = archive.ListDownloads(filter);
                if (!list)
                    error = archive.LastError();
                latest = list.value_or(latest);
                return bool(list);
            },
            failure))
        return failure;
    QString body;
    for (const WebRouter::DashboardPart &part : pages.router.DashboardParts()) {
        const std::optional<QString> html = part(request, failure);
        if (!html)
            return failure;
        body += *html;
    }
    body += QStringLiteral("<h2>최근 다운로드 (최대 %1건)</h2>").arg(kDashboardDownloads) + DownloadsTable(latest) +
            QStringLiteral("<p><a href=\"/downloads\">모든 다운로드</a></p>");
    return web_layout::Page(pages.router, request, QStringLiteral("한눈에 보기"), body);
}

// One page of downloads and how many there are in all; false with the answer to give in *failure.
bool ReadDownloadPage(const PageContext &pages, const WebRequest &request, const ListQuery &query,
                      QList<DownloadSummary> &downloads, qint64 &total, WebResponse &failure)
{
    return pages.Read(
        request,
        [&](MeasurementArchive &archive, ArchiveError &error) {
            const auto count = archive.CountDownloads(query.filter);
            const auto list = count ? archive.ListDownloads(query.filter) : std::nullopt;
            if (!list) {
                error = archive.LastError();
                return false;
            }
            total = *count;
            downloads = *list;
            return true;
        },
        failure);
}

WebResponse DownloadList(const PageContext &pages, const WebRequest &request, bool json)
{
    QString problem;
    const std::optional<ListQuery> query = ParseListQuery(request, &problem);
    if (!query)
        return pages.Bad(request, problem);
    QList<DownloadSummary> downloads;
    qint64 total = 0;
    WebResponse failure;
    if (!ReadDownloadPage(pages, request, *query, downloads, total, failure))
        return failure;
    if (json) {
        QJsonArray items;
        for (const DownloadSummary &d : downloads)
            items << DownloadJson(d);
        return web_layout::Json(QJsonObject{
            {"total", double(total)}, {"page", query->page}, {"perPage", kDownloadsPerPage}, {"downloads", items}});
    }
    const QString form =
        QStringLiteral("<form class=\"filter\" method=\"get\" action=\"/downloads\">"
                       "<label>계측기 S/N (일부)<input name=\"instrument\" value=\"%1\" maxlength=\"%4\"></label>"
                       "<label>시작 날짜<input type=\"date\" name=\"from\" value=\"%2\"></label>"
                       "<label>끝 날짜<input type=\"date\" name=\"to\" value=\"%3\"></label>"
                       "<button type=\"submit\">조회</button></form>")
            .arg(Html(query->instrument), Html(query->from), Html(query->to))
            .arg(kMaxSerialLength);
    return web_layout::Page(pages.router, request, QStringLiteral("다운로드"),
                            form + Pager(*query, total, QStringLiteral("/downloads")) + DownloadsTable(downloads));
}

// The download of the path's id; false with the answer to give (404, 503) in *failure.
bool LoadDownload(const PageContext &pages, const WebRequest &request, const QString &idText,
                  std::optional<ArchivedDownload> &download, WebResponse &failure)
{
    const qint64 id = idText.toLongLong();
    return pages.ReadOne(
        request, [id](MeasurementArchive &archive) { return archive.LoadDownload(id); }, download,
        QStringLiteral("보관된 다운로드가 없습니다: %1").arg(idText), failure);
}

QString IdentityTable(const InstrumentIdentity &identity)
{
    QString html = QStringLiteral("<table class=\"identity\">");
    for (size_t i = 0; i < kIdentityFields.size(); ++i)
        html += QStringLiteral("<tr><th>%1</th><td>%2</td></tr>")
                    .arg(Html(QString::fromUtf8(kIdentityFields[i].label)),
                         identity.texts[i].isNull() ? QStringLiteral("(읽지 못함)") : Html(identity.texts[i]));
    return html + QStringLiteral("</table>");
}

// An archived download as a table, judged against the station's limits.
Measurement JudgedMeasurement(const PageContext &pages, const ArchivedDownload &download)
{
    Measurement table = ReplayedMeasurement(download);
    table.SetLimits(LoadPressClassLimits(pages.setting.iniPath));
    return table;
}

// The verdicts of a judged table's records (none without limits or for OUTPUT).
QList<Verdict> RecordVerdicts(const Measurement &table)
{
    QList<Verdict> verdicts;
    if (!table.Judged())
        return verdicts;
    for (int i = 0; i < table.Count(); ++i)
        verdicts << table.RowVerdict(i);
    return verdicts;
}

QString RowsTable(const QList<TableLine> &lines, const QList<Verdict> &verdicts)
{
    QString html = QStringLiteral("<table class=\"rows\">");
    for (const TableLine &line : lines) {
        const bool heading = line.kind == TableLine::Kind::Titles;
        const Verdict verdict =
            line.kind == TableLine::Kind::Record ? verdicts.value(line.record, Verdict::None) : Verdict::None;
        const QString cls = verdict == Verdict::Pass   ? QStringLiteral(" class=\"pass\"")
                            : verdict == Verdict::Fail ? QStringLiteral(" class=\"fail\"")
                                                       : QString();
        html += QStringLiteral("<tr%1>").arg(cls);
        for (const QString &text : line.texts)
            html += (heading ? QStringLiteral("<th>%1</th>") : QStringLiteral("<td>%1</td>")).arg(Html(text));
        if (!verdicts.isEmpty())
            html += heading ? QStringLiteral("<th>판정</th>")
                            : QStringLiteral("<td>%1</td>").arg(Html(VerdictText(verdict)));
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

WebResponse DownloadPage(const PageContext &pages, const WebRequest &request, const QString &idText, bool json)
{
    std::optional<ArchivedDownload> download;
    WebResponse failure;
    if (!LoadDownload(pages, request, idText, download, failure))
        return failure;
    const Measurement table = JudgedMeasurement(pages, *download);
    const QList<Verdict> verdicts = RecordVerdicts(table);
    const QList<TableLine> lines = DownloadTableLines(table);
    const DownloadSummary &d = download->summary;
    if (json) {
        QJsonObject object = DownloadJson(d);
        QJsonArray rows;
        for (const TableLine &line : lines)
            rows << QJsonArray::fromStringList(line.texts);
        object[QStringLiteral("table")] = rows;
        QJsonArray verdictTexts;
        for (Verdict verdict : verdicts)
            verdictTexts << VerdictText(verdict);
        object[QStringLiteral("verdicts")] = verdictTexts;
        return web_layout::Json(object);
    }
    QString range;
    if (d.rangeFrom && d.rangeTo)
        range = FormatLocalTime(*d.rangeFrom).left(10) + QStringLiteral(" ~ ") + FormatLocalTime(*d.rangeTo).left(10);
    const QString incomplete = table.IncompleteWhy();
    QString body = QStringLiteral("<table class=\"summary\"><tr><th>계측기 S/N</th><td>%1</td></tr>"
                                  "<tr><th>모드</th><td>%2</td></tr><tr><th>시작 시각</th><td>%3</td></tr>"
                                  "<tr><th>끝난 시각</th><td>%4</td></tr><tr><th>조회 기간</th><td>%5</td></tr>"
                                  "<tr><th>결과</th><td>%6</td></tr><tr><th>행</th><td>%7</td></tr>"
                                  "<tr><th>손상 기록</th><td>%8</td></tr><tr><th>측정 PC</th><td>%9</td></tr></table>")
                       .arg(InstrumentLink(d.identity.Serial()), DownloadModeName(d.mode), FormatLocalTime(d.startedAt),
                            d.endedAt ? FormatLocalTime(*d.endedAt) : QStringLiteral("-"), Html(range),
                            Html(OutcomeText(d) + (d.resultCode && *d.resultCode < 0
                                                       ? QStringLiteral(": ") + ::ResultText(*d.resultCode)
                                                       : QString())))
                       .arg(d.rowCount)
                       .arg(d.damaged)
                       .arg(Html(d.host + QStringLiteral(" / ") + d.osUser));
    if (!incomplete.isEmpty())
        body += QStringLiteral("<p class=\"error\">%1</p>").arg(Html(incomplete));
    body += QStringLiteral("<p class=\"files\">보고서: <a href=\"/downloads/%1.xls\">엑셀 (.xls)</a>"
                           "<a href=\"/downloads/%1.pdf\">PDF</a><a href=\"/downloads/%1.csv\">CSV</a></p>")
                .arg(d.id);
    body += QStringLiteral("<h2>계측기 정보</h2>") + IdentityTable(d.identity);
    body += QStringLiteral("<h2>그래프</h2>") + SvgChart(BuildChartSeries(table, ChartScope::AllRecords));
    body += QStringLiteral("<h2>기록</h2>") + RowsTable(lines, verdicts);
    return web_layout::Page(pages.router, request, QStringLiteral("다운로드 %1").arg(d.id), body);
}

// What a download's report file is made from, as a key of the file cache: the download as written (a finished one
// never changes; its revision would) and the INI file's texts and limits. Empty for a download not finished.
QString ReportKey(const DownloadSummary &d, const QString &extension, const QString &iniPath)
{
    if (!d.resultCode)
        return QString();
    QFile ini(iniPath);
    const QByteArray settings = ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(d.uid)
        .arg(d.id)
        .arg(d.revision)
        .arg(extension, QString::fromLatin1(QCryptographicHash::hash(settings, QCryptographicHash::Sha256).toHex()));
}

WebResponse DownloadFile(const PageContext &pages, ReportFileCache &cache, const WebRequest &request,
                         const QString &idText, const QString &extension)
{
    std::optional<ArchivedDownload> download;
    WebResponse failure;
    if (!LoadDownload(pages, request, idText, download, failure))
        return failure;
    WebResponse response;
    response.attachmentName = QStringLiteral("download-%1.%2").arg(idText, extension);
    if (extension == QLatin1String("csv")) {
        response.contentType = "text/csv; charset=utf-8";
        for (const TableLine &line : DownloadTableLines(ReplayedMeasurement(*download)))
            response.body += web_text::CsvLine(line.texts);
        return response;
    }
    response.contentType = extension == QLatin1String("xls") ? "application/vnd.ms-excel" : "application/pdf";
    const QString key = ReportKey(download->summary, extension, pages.setting.iniPath);
    if (std::optional<QByteArray> kept = key.isEmpty() ? std::nullopt : cache.Find(key)) {
        response.body = *kept;
        return response;
    }
    const Measurement table = JudgedMeasurement(pages, *download);
    QTemporaryDir dir;
    const QString path = dir.filePath(response.attachmentName);
    ReportFileTargets targets;
    (extension == QLatin1String("xls") ? targets.xlsPath : targets.pdfPath) = path;
    ReportFilesResult written;
    auto write = [&] { written = WriteReportFiles(targets, table, {}, pages.setting.iniPath); };
    if (extension == QLatin1String("pdf") && pages.setting.runOnMainThread)
        pages.setting.runOnMainThread(write);
    else
        write();
    QFile file(path);
    if (!dir.isValid() || !written.error.isEmpty() || !file.open(QIODevice::ReadOnly))
        return web_layout::Error(pages.router, request, 500,
                                 written.error.isEmpty() ? QStringLiteral("보고서 파일을 만들 수 없습니다.")
                                                         : written.error);
    response.body = file.readAll();
    if (!key.isEmpty())
        cache.Keep(key, response.body);
    return response;
}

WebResponse InstrumentList(const PageContext &pages, const WebRequest &request, bool json)
{
    QList<InstrumentSummary> instruments;
    WebResponse failure;
    if (!pages.Read(
            request,
            [&](MeasurementArchive &archive, ArchiveError &error) {
                const auto list = WebArchive::Instruments(archive, error);
                instruments = list.value_or(instruments);
                return bool(list);
            },
            failure))
        return failure;
    if (json) {
        QJsonArray items;
        for (const InstrumentSummary &i : instruments)
            items << QJsonObject{{"serial", i.serial},
                                 {"name", i.name},
                                 {"downloads", double(i.downloads)},
                                 {"lastStartedAt", OptionalJson(i.lastStartedAt)}};
        return web_layout::Json(items);
    }
    QString body;
    if (instruments.isEmpty()) {
        body = QStringLiteral("<p class=\"note\">보관된 계측기가 없습니다.</p>");
    } else {
        body = QStringLiteral("<table><thead><tr><th>계측기 S/N</th><th>측정기 명</th><th>다운로드</th>"
                              "<th>마지막 다운로드</th></tr></thead><tbody>");
        for (const InstrumentSummary &i : instruments)
            body += QStringLiteral("<tr><td>%1</td><td>%2</td><td class=\"num\">%3</td><td>%4</td></tr>")
                        .arg(InstrumentLink(i.serial), Html(i.name))
                        .arg(i.downloads)
                        .arg(i.lastStartedAt ? FormatLocalTime(*i.lastStartedAt) : QStringLiteral("-"));
        body += QStringLiteral("</tbody></table>");
    }
    return web_layout::Page(pages.router, request, QStringLiteral("계측기"), body);
}

WebResponse InstrumentPage(const PageContext &pages, const WebRequest &request, const QString &serial, bool json)
{
    QString problem;
    std::optional<ListQuery> query = ParseListQuery(request, &problem);
    if (!query)
        return pages.Bad(request, problem);
    if (serial.size() > kMaxSerialLength)
        return pages.NotFound(request, QStringLiteral("보관된 계측기가 없습니다."));
    query->filter.serial = serial;
    query->filter.wholeSerial = true;
    QList<IdentitySeen> identities;
    QList<DownloadSummary> downloads;
    qint64 total = 0;
    WebResponse failure;
    if (!pages.Read(
            request,
            [&](MeasurementArchive &archive, ArchiveError &error) {
                const auto seen = WebArchive::IdentitiesOfSerial(archive, serial, error);
                identities = seen.value_or(identities);
                return bool(seen);
            },
            failure) ||
        !ReadDownloadPage(pages, request, *query, downloads, total, failure))
        return failure;
    if (identities.isEmpty())
        return pages.NotFound(request, QStringLiteral("보관된 계측기가 없습니다: %1").arg(serial));
    if (json) {
        QJsonArray seen, items;
        for (const IdentitySeen &s : identities) {
            QJsonObject identity;
            for (size_t i = 0; i < kIdentityFields.size(); ++i)
                identity[QString::fromUtf8(kIdentityFields[i].label)] = s.identity.texts[i];
            seen << QJsonObject{{"identity", identity},
                                {"first", FormatLocalTime(s.firstStartedAt)},
                                {"last", FormatLocalTime(s.lastStartedAt)},
                                {"downloads", double(s.downloads)}};
        }
        for (const DownloadSummary &d : downloads)
            items << DownloadJson(d);
        return web_layout::Json(QJsonObject{{"serial", serial},
                                            {"identities", seen},
                                            {"total", double(total)},
                                            {"page", query->page},
                                            {"downloads", items}});
    }
    QString body = QStringLiteral("<h2>읽힌 계측기 정보</h2>");
    for (const IdentitySeen &s : identities)
        body += QStringLiteral("<p>%1 ~ %2, 다운로드 %3건</p>")
                    .arg(FormatLocalTime(s.firstStartedAt), FormatLocalTime(s.lastStartedAt))
                    .arg(s.downloads) +
                IdentityTable(s.identity);
    body += QStringLiteral("<h2>다운로드</h2>") + Pager(*query, total, QStringLiteral("/instruments/") + Url(serial)) +
            DownloadsTable(downloads);
    return web_layout::Page(pages.router, request, QStringLiteral("계측기 %1").arg(serial), body);
}

} // namespace

void AddArchivePages(WebRouter &router, const ArchivePagesSetting &setting)
{
    auto pages = std::make_shared<PageContext>(PageContext{router, setting});
    router.AddNavigation(QStringLiteral("한눈에 보기"), QStringLiteral("/"));
    router.AddNavigation(QStringLiteral("다운로드"), QStringLiteral("/downloads"));
    router.AddNavigation(QStringLiteral("계측기"), QStringLiteral("/instruments"));
    router.AddPage(QStringLiteral("/"),
                   [pages](const WebRequest &r, const QStringList &) { return Dashboard(*pages, r); });
    for (const bool json : {false, true}) {
        const QString prefix = json ? QStringLiteral("/api") : QString();
        router.AddPage(prefix + QStringLiteral("/downloads"), [pages, json](const WebRequest &r, const QStringList &) {
            return DownloadList(*pages, r, json);
        });
        router.AddPage(
            prefix + QStringLiteral("/downloads/([0-9]{1,18})"),
            [pages, json](const WebRequest &r, const QStringList &c) { return DownloadPage(*pages, r, c[0], json); });
        router.AddPage(
            prefix + QStringLiteral("/instruments"),
            [pages, json](const WebRequest &r, const QStringList &) { return InstrumentList(*pages, r, json); });
        router.AddPage(
            prefix + QStringLiteral("/instruments/(.+)"),
            [pages, json](const WebRequest &r, const QStringList &c) { return InstrumentPage(*pages, r, c[0], json); });
    }
    auto cache = std::make_shared<ReportFileCache>(kReportCacheBytes);
    router.AddPage(QStringLiteral("/downloads/([0-9]{1,18})\\.(xls|pdf|csv)"),
                   [pages, cache](const WebRequest &r, const QStringList &c) {
                       return DownloadFile(*pages, *cache, r, c[0], c[1]);
                   });
}
