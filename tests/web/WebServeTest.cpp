#include "WebArchiveFixture.h"

#include "ArchiveLocation.h"
#include "ToolOutput.h"
#include "WebText.h"

#include <QSqlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

// A plain TCP connection to the server, for requests no well-behaved client sends.
class RawConnection {
  public:
    explicit RawConnection(int port)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_port = htons(uint16_t(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~RawConnection() { ::close(m_fd); }
    bool Connected() const { return m_connected; }
    bool Send(const QByteArray &bytes)
    {
        return ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
    }
    // The server's answer: until it closes the connection, a whole response has come or waitMs pass without a
    // byte; *closed tells whether it closed.
    QByteArray Receive(int waitMs, bool *closed = nullptr)
    {
        QByteArray received;
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, waitMs) <= 0)
                break;
            char buffer[65536];
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed)
                    *closed = true;
                return received;
            }
            received.append(buffer, n);
            if (Complete(received))
                break;
        }
        if (closed)
            *closed = false;
        return received;
    }

  private:
    static bool Complete(const QByteArray &response)
    {
        const qsizetype end = response.indexOf("\r\n\r\n");
        const qsizetype at = response.indexOf("Content-Length: ");
        return end >= 0 && at >= 0 && at < end &&
               response.size() >= end + 4 + response.mid(at + 16, response.indexOf('\r', at) - at - 16).toLongLong();
    }

    int m_fd = -1;
    bool m_connected = false;
};

class WebServe : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        CliCopyIn(m_dir.path());
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    MeasurementArchive &Archive()
    {
        if (!m_archive) {
            m_archive = std::make_unique<MeasurementArchive>(DefaultArchiveLocation(m_dir.path()));
            EXPECT_TRUE(m_archive->Open()) << m_archive->LastError().detail.toStdString();
        }
        return *m_archive;
    }
    CliRun Cli(const QStringList &arguments) { return RunProgram(CliCopyIn(m_dir.path()), arguments); }
    int DownloadCount() { return int(Archive().CountDownloads({}).value_or(-1)); }

    QTemporaryDir m_dir;
    std::unique_ptr<MeasurementArchive> m_archive;
};

const QString kHtmlSerial = QStringLiteral("<b>\"x'</b>&");

TEST_F(WebServe, PagesShowWhatTheArchiveHoldsListedAndPagedAsTheHistoryIs)
{
    // Press-class limits in the program's INI file: 10-13 t for class 0.
    WriteFile(Path("tonvale.ini"), "[LIMITS]\nCLASS_10_13=10.0,13.0\n");
    for (int i = 0; i < 55; ++i)
        AddDownload(
            Archive(), "PF-A1",
            QStringLiteral("2024-05-%1 08:00:%2").arg(1 + i / 20, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')),
            {{"2024-05-01 07:00:00", 98 * 12, 0}});
    const qint64 judged = AddDownload(Archive(), "PF-B2", "2024-06-01 09:00:00",
                                      {{"2024-06-01 08:00:00", 98 * 12, 0},
                                       {"2024-06-01 08:01:00", 98 * 14, 0},
                                       {"2024-06-01 08:02:00", 98 * 15, 1}});
    AddDownload(Archive(), kHtmlSerial, "2024-06-02 09:00:00", {{"2024-06-02 08:00:00", 98 * 30, 2}});
    AddDownload(Archive(), kHtmlSerial, "2024-06-03 09:00:00", {}, -1090);

    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    // A second server cannot take the port and says so.
    ServeProcess second(m_dir.path(), {}, {"--listen", QStringLiteral("127.0.0.1:%1").arg(serve.Port())});
    EXPECT_EQ(second.Port(), 0);
    EXPECT_EQ(second.ExitCode(), 1);
    EXPECT_TRUE(second.Err().contains("연결을 받을 수 없습니다")) << second.Err().toStdString();

    // The start page: the last 20 downloads, newest first, the HTML serial as text.
    const QString home = Text(client.Get("/"));
    EXPECT_EQ(Occurrences(home, "<tr><td><a href=\"/downloads/"), 20);
    EXPECT_LT(home.indexOf("2024-06-03 09:00:00"), home.indexOf("2024-06-01 09:00:00"));
    EXPECT_TRUE(home.contains("&lt;b&gt;&quot;x&#39;&lt;/b&gt;&amp;")) << home.toStdString();
    EXPECT_FALSE(home.contains(kHtmlSerial));

    // The list: 50 a page, the pager, the serial filter (any part, either case) and the dates.
    const QString first = Text(client.Get("/downloads"));
    EXPECT_TRUE(first.contains("총 58건, 페이지 1 / 2"));
    EXPECT_EQ(Occurrences(first, "<tr><td><a href=\"/downloads/"), 50);
    EXPECT_EQ(Occurrences(Text(client.Get("/downloads?page=2")), "<tr><td><a href=\"/downloads/"), 8);
    EXPECT_EQ(JsonObject(client.Get("/api/downloads?instrument=f-a")).value("total").toInt(), 55);
    EXPECT_EQ(JsonObject(client.Get("/api/downloads?from=2024-05-02&to=2024-05-02")).value("total").toInt(), 20);
    EXPECT_EQ(JsonObject(client.Get("/api/downloads?instrument=pf-a1&to=2024-05-01")).value("total").toInt(), 20);
    const QJsonArray page3 = JsonObject(client.Get("/api/downloads?page=2")).value("downloads").toArray();
    ASSERT_EQ(page3.size(), 8);
    EXPECT_EQ(page3.last().toObject().value("started").toString(), "2024-05-01 08:00:00");
    const QString pager = Text(client.Get("/downloads?instrument=%3Cb%3E&page=1"));
    EXPECT_TRUE(pager.contains("총 2건, 페이지 1 / 1")) << pager.toStdString();
    EXPECT_TRUE(pager.contains("value=\"&lt;b&gt;\""));

    // One download: identity, its rows with their verdicts against the INI file's limits, its files.
    const QString download = Text(client.Get(QStringLiteral("/downloads/%1").arg(judged).toStdString()));
    EXPECT_TRUE(download.contains("<td>PFM-3000</td>"));
    EXPECT_TRUE(download.contains("<svg class=\"chart\""));
    EXPECT_EQ(Occurrences(download, "<tr class=\"pass\">"), 1);
    EXPECT_EQ(Occurrences(download, "<tr class=\"fail\">"), 1);
    EXPECT_TRUE(download.contains(QStringLiteral("/downloads/%1.pdf").arg(judged)));
    const QJsonObject json = JsonObject(client.Get(QStringLiteral("/api/downloads/%1").arg(judged).toStdString()));
    EXPECT_EQ(json.value("verdicts").toArray(), QJsonArray({"합격", "불합격", ""}));
    EXPECT_EQ(json.value("table").toArray().size(), 4); // heading and three rows

    // Instruments: each once with its downloads; one instrument's identity and downloads, the HTML serial too.
    const QJsonArray instruments =
        QJsonDocument::fromJson(QByteArray::fromStdString(client.Get("/api/instruments")->body)).array();
    ASSERT_EQ(instruments.size(), 3);
    QMap<QString, int> counts;
    for (const QJsonValue &i : instruments)
        counts[i.toObject().value("serial").toString()] = i.toObject().value("downloads").toInt();
    EXPECT_EQ(counts, (QMap<QString, int>{{"PF-A1", 55}, {"PF-B2", 1}, {kHtmlSerial, 2}}));
    const QString instrument = Text(client.Get("/instruments/PF-A1"));
    EXPECT_TRUE(instrument.contains("다운로드 55건"));
    EXPECT_TRUE(instrument.contains("총 55건, 페이지 1 / 2"));
    const QString html = Text(client.Get("/instruments/%3Cb%3E%22x'%3C%2Fb%3E%26"));
    EXPECT_TRUE(html.contains("총 2건")) << html.toStdString();
    EXPECT_TRUE(html.contains("실패 (-1090)"));
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
    EXPECT_TRUE(serve.Err().contains("웹 보기를 마쳤습니다"));
}

TEST_F(WebServe, FilesAreTheOnesHistoryShowWrites)
{
    // Qt orders a PDF's fonts by a hash seeded at random in each process; with one seed for both programs the
    // same report comes out byte for byte (but for its creation time).
    qputenv("QT_HASH_SEED", "0");
    const QString stored = WriteFile(Path("s.json"), ManyStoredRecords(40));
    const QString run = WriteFile(Path("c.json"), R"({"identity": {"serial": "SN-C"}, "continuous": {"average": 100,
        "minimum": 90, "maximum": 110, "deviation": 5, "records": [{"time": "2024-05-01 09:20:00", "raw": 1462,
        "setting": 1}, {"time": "2024-05-01 09:20:01", "raw": 1502, "setting": 1}]}})");
    WriteFile(Path("tonvale.ini"), "[REPORT]\nCOMPANY=한국프레스\nREPORT_NAME=점검\nUSER_NAME=김\n[LIMITS]\n"
                                   "CLASS_10_13=10.0,11.0\n");
    ASSERT_EQ(Cli({"--simulate=" + stored, "--virtual-time", "memory", "--from", "2024-05-01", "--to", "2024-05-01"})
                  .exitCode,
              0);
    ASSERT_EQ(Cli({"--simulate=" + run, "--virtual-time", "output"}).exitCode, 0);

    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    for (const char *id : {"1", "2"}) {
        const QString name = QStringLiteral("download-%1").arg(id);
        const CliRun show = Cli({"history", "show", id, "--xls", Path(name + ".xls"), "--pdf", Path(name + ".pdf")});
        ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();

        const auto xls = client.Get(QStringLiteral("/downloads/%1.xls").arg(id).toStdString());
        ASSERT_TRUE(xls && xls->status == 200);
        EXPECT_EQ(xls->get_header_value("Content-Disposition"),
                  "attachment; filename=\"" + name.toStdString() + ".xls\"");
        EXPECT_EQ(QByteArray::fromStdString(xls->body), ReadAll(Path(name + ".xls"))) << id;

        const auto pdf = client.Get(QStringLiteral("/downloads/%1.pdf").arg(id).toStdString());
        ASSERT_TRUE(pdf && pdf->status == 200);
        EXPECT_EQ(pdf->get_header_value("Content-Type"), "application/pdf");
        EXPECT_EQ(WithoutCreationDate(QByteArray::fromStdString(pdf->body)),
                  WithoutCreationDate(ReadAll(Path(name + ".pdf"))))
            << id;

        const auto csv = client.Get(QStringLiteral("/downloads/%1.csv").arg(id).toStdString());
        ASSERT_TRUE(csv && csv->status == 200);
        QList<QStringList> tsv;
        for (const QString &line : show.out.split('\n', Qt::SkipEmptyParts))
            tsv << line.split('\t');
        EXPECT_GT(tsv.size(), 1);
        EXPECT_EQ(CsvCells(QByteArray::fromStdString(csv->body), m_dir.path()), tsv) << id;
    }
    EXPECT_EQ(serve.Terminate(), 0);
}

TEST_F(WebServe, CsvFieldsWithCommasQuotesAndLineBreaksReadBackWhole)
{
    const QStringList fields{"plain", "a,b", "say \"hi\"", "two\nlines", "cr\rhere", "", "끝"};
    EXPECT_EQ(CsvCells(web_text::CsvLine(fields) + web_text::CsvLine({"x"}), m_dir.path()),
              (QList<QStringList>{fields, {"x"}}));
}

TEST_F(WebServe, BadParametersInjectionsAndTraversalsAreRefusedAndNeverReachTheDatabase)
{
    AddDownload(Archive(), "PF-A1", "2024-05-01 08:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    AddDownload(Archive(), "PF-%_", "2024-05-01 09:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();

    struct Case {
        const char *path;
        int status;
        const char *says; // what the page must tell
    };
    const Case cases[] = {
        {"/downloads?from=2024-13-01", 400, "시작 날짜는 YYYY-MM-DD"},
        {"/downloads?to=yesterday", 400, "끝 날짜는"},
        {"/downloads?from=2024-05-02&to=2024-05-01", 400, "시작 날짜가 끝 날짜보다 늦습니다"},
        {"/downloads?page=0", 400, "페이지는"},
        {"/downloads?page=1%20OR%20true", 400, "페이지는"},
        {"/downloads?from=%3Cscript%3Ealert(1)%3C/script%3E", 400, "&lt;script&gt;alert(1)&lt;/script&gt;"},
        {"/instruments/PF-A1?page=-1", 400, "페이지는"},
        {"/downloads/99999", 404, "보관된 다운로드가 없습니다: 99999"},
        {"/downloads/1%20OR%201=1", 404, "페이지가 없습니다"},
        {"/downloads/1;DROP%20TABLE%20downloads", 404, "페이지가 없습니다"},
        {"/downloads/99999999999999999999", 404, "페이지가 없습니다"},
        {"/downloads/1.exe", 404, "페이지가 없습니다"},
        {"/instruments/'%20OR%20'1'='1", 404, "보관된 계측기가 없습니다"},
        {"/nothing/here", 404, "페이지가 없습니다: /nothing/here"},
    };
    for (const Case &c : cases) {
        const auto result = client.Get(c.path);
        ASSERT_TRUE(result) << c.path;
        EXPECT_EQ(result->status, c.status) << c.path;
        EXPECT_TRUE(Text(result).contains(QString::fromUtf8(c.says))) << c.path << "\n" << result->body;
        EXPECT_FALSE(Text(result).contains("<script>")) << c.path;
        ExpectSecurityHeaders(result, c.path);
    }
    // Parameters are values, never SQL: a quote matches nothing, LIKE's wildcards only themselves.
    for (const char *serial : {"'%20OR%20'1'='1", "%25", "_", "%5C", "'));DELETE%20FROM%20downloads;--"})
        EXPECT_EQ(JsonObject(client.Get(std::string("/api/downloads?instrument=") + serial)).value("total").toInt(),
                  QString(serial) == "%25" || QString(serial) == "_" ? 1 : 0)
            << serial;
    const auto api = client.Get("/api/downloads/424242");
    ASSERT_TRUE(api);
    EXPECT_EQ(api->status, 404);
    EXPECT_EQ(JsonObject(api).value("status").toInt(), 404);
    // Only reading: other methods are refused.
    const auto post = client.Post("/downloads", "x=1", "application/x-www-form-urlencoded");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 405);

    // Paths outside the pages, however spelt, reach no file.
    for (const char *target : {"/../../../../etc/passwd", "/style.css/../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd",
                               "/instruments/..%2f..%2f..%2fetc%2fpasswd", "/downloads/..%2f1.xls", "//etc/passwd"}) {
        RawConnection raw(serve.Port());
        ASSERT_TRUE(raw.Connected());
        raw.Send(QByteArray("GET ") + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
        const QByteArray answer = raw.Receive(5000);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 404") || answer.startsWith("HTTP/1.1 400"))
            << target << answer.left(200).constData();
        EXPECT_FALSE(answer.contains("root:")) << target;
        EXPECT_TRUE(answer.contains("X-Frame-Options: DENY")) << target;
    }
    EXPECT_EQ(DownloadCount(), 2);
    EXPECT_EQ(serve.Terminate(), 0);
}

TEST_F(WebServe, OversizedRequestsAreRefusedAndASlowClientHoldsNothingForLong)
{
    AddDownload(Archive(), "PF-A1", "2024-05-01 08:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();

    {
        RawConnection body(serve.Port());
        body.Send("POST /login HTTP/1.1\r\nHost: x\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                  "Content-Length: 10000000\r\n\r\n");
        const QByteArray answer = body.Receive(5000);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(100).constData();
        EXPECT_TRUE(answer.contains("Content-Security-Policy:"));
    }
    {
        RawConnection chunked(serve.Port());
        chunked.Send("POST /login HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n");
        EXPECT_TRUE(chunked.Receive(5000).startsWith("HTTP/1.1 413"));
    }
    {
        RawConnection uri(serve.Port());
        uri.Send("GET /downloads?instrument=" + QByteArray(20000, 'A') + " HTTP/1.1\r\nHost: x\r\n\r\n");
        EXPECT_TRUE(uri.Receive(5000).startsWith("HTTP/1.1 414"));
    }
    {
        RawConnection header(serve.Port());
        header.Send("GET / HTTP/1.1\r\nHost: x\r\nX-Long: " + QByteArray(20000, 'b') + "\r\n\r\n");
        bool closed = false;
        const QByteArray answer = header.Receive(8000, &closed);
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 4")) << answer.left(100).constData();
        if (!closed)
            header.Receive(8000, &closed);
        EXPECT_TRUE(closed);
    }

    // A client that sends half a request and then nothing: the others are served meanwhile, and the server
    // lets it go after its read time-out instead of keeping a worker for it.
    RawConnection slow(serve.Port());
    ASSERT_TRUE(slow.Send("GET / HTTP/1.1\r\nHost: x\r\n"));
    httplib::Client client = serve.Client();
    for (int i = 0; i < 10; ++i) {
        const auto page = client.Get("/downloads");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
    }
    bool closed = false;
    const QByteArray answer = slow.Receive(20000, &closed);
    EXPECT_TRUE(answer.isEmpty() || answer.startsWith("HTTP/1.1 4")) << answer.left(100).constData();
    if (!closed)
        slow.Receive(20000, &closed);
    EXPECT_TRUE(closed);
    // An idle keep-alive connection does not keep the server from ending.
    RawConnection idle(serve.Port());
    idle.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(idle.Receive(2000).startsWith("HTTP/1.1 200"));
    EXPECT_EQ(serve.Terminate(SIGINT), 0) << serve.Err().toStdString();
}

TEST_F(WebServe, AHeadTrickledLineByLineIsCutOffWhileOthersAreServed)
{
    AddDownload(Archive(), "PF-A1", "2024-05-01 08:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    // Each header line comes well within the read time-out, so only a bound on the whole head lets them go:
    // one from its first line, one after an answered request on the same connection.
    RawConnection fresh(serve.Port()), kept(serve.Port());
    ASSERT_TRUE(fresh.Send("GET / HTTP/1.1\r\nHost: x\r\n"));
    ASSERT_TRUE(kept.Send("GET /downloads HTTP/1.1\r\nHost: x\r\n\r\n"));
    ASSERT_TRUE(kept.Receive(5000).startsWith("HTTP/1.1 200"));
    ASSERT_TRUE(kept.Send("GET / HTTP/1.1\r\nHost: x\r\n"));
    httplib::Client client = serve.Client();
    bool freshClosed = false, keptClosed = false;
    int lines = 0;
    for (; lines < 40 && !(freshClosed && keptClosed); ++lines) {
        QThread::msleep(1000);
        for (auto [connection, closed] : {std::pair{&fresh, &freshClosed}, std::pair{&kept, &keptClosed}}) {
            if (*closed)
                continue;
            connection->Send(QStringLiteral("X-Line-%1: y\r\n").arg(lines).toLatin1());
            EXPECT_TRUE(connection->Receive(50, closed).isEmpty()) << "answered a head that never ended";
        }
        const auto page = client.Get("/downloads");
        ASSERT_TRUE(page);
        EXPECT_EQ(page->status, 200);
    }
    EXPECT_TRUE(freshClosed);
    EXPECT_TRUE(keptClosed);
    // The bound is 10 s; a minute of trickling would mean it was not kept.
    EXPECT_LT(lines, 20);
    const auto after = client.Get("/");
    ASSERT_TRUE(after);
    EXPECT_EQ(after->status, 200);
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
}

// pdftotext's text of a PDF the server sent.
QString PdfText(const httplib::Result &result, const QString &path)
{
    if (!result || result->status != 200)
        return QString();
    return ToolOutput("pdftotext", {WriteFile(path, QByteArray::fromStdString(result->body)), "-"});
}

TEST_F(WebServe, AReportFileFollowsItsDownloadAndTheSettingsItIsMadeFrom)
{
    qputenv("QT_HASH_SEED", "0");
    WriteFile(Path("tonvale.ini"), "[REPORT]\nCOMPANY=첫째프레스\n");
    AddDownload(Archive(), "PF-A1", "2024-05-01 08:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    // A download still being written: one record now, another later.
    DownloadStart start;
    for (int i = 0; i < InstrumentIdentity::kFieldCount; ++i)
        start.identity.texts[i] = QStringLiteral("F%1").arg(i);
    start.identity.texts[InstrumentIdentity::kSerialField] = QStringLiteral("PF-LIVE");
    start.host = QStringLiteral("station-2");
    start.osUser = QStringLiteral("op");
    start.startedAt = QDateTime(QDate(2024, 5, 2), QTime(9, 0)).toSecsSinceEpoch();
    const std::optional<DownloadHandle> live = Archive().BeginDownload(start);
    ASSERT_TRUE(live) << Archive().LastError().detail.toStdString();
    const auto addRecord = [&](int position, const char *time, int raw) {
        RawRecord record;
        ASSERT_TRUE(MakeRawRecord(QString::fromLatin1(time), raw, 0, record));
        ASSERT_TRUE(Archive().BeginBatch() && Archive().AddStoredRecords(*live, {{position, record}}) &&
                    Archive().CommitBatch());
    };
    addRecord(0, "2024-05-02 08:00:00", 1205); // 12.3 t

    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    const auto first = client.Get("/downloads/1.pdf");
    ASSERT_TRUE(first && first->status == 200);
    EXPECT_TRUE(PdfText(first, Path("a.pdf")).contains("첫째프레스"));
    const auto again = client.Get("/downloads/1.pdf");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->body, first->body);

    // The settings the report is made from change: the next file is made from the new ones, as the CLI's is.
    WriteFile(Path("tonvale.ini"), "[REPORT]\nCOMPANY=둘째프레스\n");
    const auto changed = client.Get("/downloads/1.pdf");
    const QString changedText = PdfText(changed, Path("b.pdf"));
    EXPECT_TRUE(changedText.contains("둘째프레스")) << changedText.toStdString();
    EXPECT_FALSE(changedText.contains("첫째프레스"));
    ASSERT_EQ(Cli({"history", "show", "1", "--pdf", Path("cli.pdf")}).exitCode, 0);
    EXPECT_EQ(changedText, ToolOutput("pdftotext", {Path("cli.pdf"), "-"}));

    // The download being written shows what it has each time it is asked for, and its end.
    const QString early = PdfText(client.Get("/downloads/2.pdf"), Path("c.pdf"));
    EXPECT_TRUE(early.contains("12.3")) << early.toStdString();
    EXPECT_FALSE(early.contains("14.7"));
    addRecord(1, "2024-05-02 08:01:00", 1441); // 14.7 t
    const QString later = PdfText(client.Get("/downloads/2.pdf"), Path("d.pdf"));
    EXPECT_TRUE(later.contains("12.3") && later.contains("14.7")) << later.toStdString();
    ASSERT_TRUE(Archive().BeginBatch() && Archive().FinishDownload(*live, start.startedAt + 60, 0, 2) &&
                Archive().CommitBatch());
    const QString finished = PdfText(client.Get("/downloads/2.pdf"), Path("e.pdf"));
    EXPECT_TRUE(finished.contains("14.7"));
    EXPECT_EQ(PdfText(client.Get("/downloads/2.pdf"), Path("f.pdf")), finished);
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
}

} // namespace
