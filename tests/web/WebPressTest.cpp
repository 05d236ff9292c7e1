#include "PressRegisterFixture.h"

#include "ServerArchiveFixture.h"

#include <thread>

namespace {

// The press pages of `tonvale-cli serve` over an SQLite archive whose register the command line made.
class WebPress : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        WriteFile(Path("tonvale.ini"), "[LIMITS]\nCLASS_10_13=10.0,13.0\n");
        MakePressRegister([this](const QStringList &arguments) { return Cli(arguments); }, Path("s.json"));
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    CliRun Cli(const QStringList &arguments) { return RunProgram(CliCopyIn(m_dir.path()), arguments); }

    QTemporaryDir m_dir;
};

TEST_F(WebPress, RegisterDueDatesVerdictsAndCapabilityAsTheRegisterHasThem)
{
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    ExpectPressPages(client);
    ExpectPressIdRefusals(client);
    // The command line's own due list names the same presses in the same order as the start page.
    const CliRun due = Cli({"due"});
    ASSERT_EQ(due.exitCode, 0) << due.err.toStdString();
    QStringList dueIds;
    for (const QString &line : due.out.split('\n', Qt::SkipEmptyParts).mid(1))
        dueIds << line.section('\t', 0, 0);
    EXPECT_EQ(dueIds, (QStringList{"P-OVER", "P-NEW", "P-SOON"}));
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
}

TEST_F(WebPress, HistoryPdfIsTheOnePressShowWrites)
{
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    for (const QString id : {"P-OVER", "P-FINE", "P-NEW"}) {
        const CliRun show = Cli({"press", "show", id, "--pdf", Path(id + "-cli.pdf")});
        ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
        const auto pdf = client.Get(("/presses/" + id + ".pdf").toStdString());
        ASSERT_TRUE(pdf && pdf->status == 200) << id.toStdString();
        EXPECT_EQ(pdf->get_header_value("Content-Type"), "application/pdf");
        EXPECT_EQ(pdf->get_header_value("Content-Disposition"),
                  "attachment; filename=\"press-" + id.toStdString() + ".pdf\"");
        ExpectSecurityHeaders(pdf, id.toStdString());
        const QString served = WriteFile(Path(id + "-web.pdf"), QByteArray::fromStdString(pdf->body));
        const QString text = PressPdfText(served);
        EXPECT_TRUE(text.contains(id)) << text.toStdString();
        EXPECT_EQ(text, PressPdfText(Path(id + "-cli.pdf"))) << id.toStdString();
    }
    // Drawn by many connection threads at once, each is still the whole report.
    std::vector<std::string> bodies(8);
    std::vector<std::thread> askers;
    for (size_t i = 0; i < bodies.size(); ++i)
        askers.emplace_back([&, i] {
            httplib::Client own = serve.Client();
            if (const auto pdf = own.Get(i % 2 ? "/presses/P-OVER.pdf" : "/presses/P-FINE.pdf"))
                bodies[i] = pdf->body;
        });
    for (std::thread &asker : askers)
        asker.join();
    for (size_t i = 0; i < bodies.size(); ++i) {
        const QString id = i % 2 ? "P-OVER" : "P-FINE";
        const QString path = Path(QStringLiteral("at-once-%1.pdf").arg(i));
        EXPECT_EQ(PressPdfText(WriteFile(path, QByteArray::fromStdString(bodies[i]))),
                  PressPdfText(Path(id + "-cli.pdf")))
            << i;
    }
    EXPECT_EQ(serve.Terminate(), 0);
}

// The same on a PostgreSQL server, read as the read-only role; the pages say 503 while it is gone.
class WebPressPostgres : public ServerArchiveTest {
  protected:
    void SetUp() override
    {
        ServerArchiveTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        MakePressRegister(
            [this](const QStringList &arguments) {
                return Cli(QStringList{"--database", m_cluster.Url()} + arguments);
            },
            Path("s.json"));
    }
};

TEST_F(WebPressPostgres, PressPagesOfTheServerArchiveAndA503WhileItIsGone)
{
    ServeProcess serve(m_dir.path(), {"--database", m_cluster.UrlOf("office")});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    ExpectPressPages(client);
    ExpectPressIdRefusals(client);
    const CliRun show =
        Cli({"--database", m_cluster.UrlOf("office"), "press", "show", "P-OVER", "--pdf", Path("cli.pdf")});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    const auto pdf = client.Get("/presses/P-OVER.pdf");
    ASSERT_TRUE(pdf && pdf->status == 200);
    EXPECT_EQ(PressPdfText(WriteFile(Path("web.pdf"), QByteArray::fromStdString(pdf->body))),
              PressPdfText(Path("cli.pdf")));

    ASSERT_TRUE(m_cluster.Stop());
    for (const char *path : {"/", "/presses", "/presses/P-OVER", "/presses/P-OVER.pdf", "/api/presses"}) {
        const auto down = client.Get(path);
        ASSERT_TRUE(down) << path;
        EXPECT_EQ(down->status, 503) << path;
        ExpectSecurityHeaders(down, path);
    }
    ASSERT_TRUE(m_cluster.Start());
    for (int i = 0; i < 10; ++i) {
        const auto back = serve.Client().Get("/presses/P-OVER");
        ASSERT_TRUE(back);
        EXPECT_EQ(back->status, 200) << i;
    }
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
}

} // namespace
