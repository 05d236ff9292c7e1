#include "ServerArchiveFixture.h"

#include <QElapsedTimer>

namespace {

class WebServePostgres : public ServerArchiveTest {
  protected:
    void SetUp() override
    {
        ServerArchiveTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const QString scenario = WriteFile(Path("s.json"), ManyStoredRecords(30));
        const CliRun memory = Cli({"--simulate=" + scenario, "--virtual-time", "--database", m_cluster.Url(), "memory",
                                   "--from", "2024-05-01", "--to", "2024-05-01"});
        ASSERT_EQ(memory.exitCode, 0) << memory.err.toStdString();
    }
};

TEST_F(WebServePostgres, ServesTheServerArchiveAsTheReadOnlyRoleOnly)
{
    // A role that may change downloads is not what the web view logs in with.
    ServeProcess owner(m_dir.path(), {"--database", m_cluster.Url()});
    EXPECT_EQ(owner.Port(), 0);
    EXPECT_EQ(owner.ExitCode(), 2);
    EXPECT_TRUE(owner.Err().contains("읽기 전용 역할")) << owner.Err().toStdString();

    qputenv("QT_HASH_SEED", "0"); // the same font order in the PDFs of both programs
    ServeProcess serve(m_dir.path(), {"--database", m_cluster.UrlOf("office")});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    const QString home = Text(client.Get("/"));
    EXPECT_TRUE(home.contains(">SN-ARCH</a>")) << home.toStdString();
    const QJsonObject list = JsonObject(client.Get("/api/downloads?instrument=arch"));
    ASSERT_EQ(list.value("total").toInt(), 1);
    EXPECT_EQ(list.value("downloads").toArray().first().toObject().value("rows").toInt(), 30);
    EXPECT_EQ(JsonObject(client.Get("/api/downloads?instrument='%20OR%20'1'='1")).value("total").toInt(), 0);
    EXPECT_TRUE(Text(client.Get("/instruments/SN-ARCH")).contains("다운로드 1건"));

    const CliRun show = Cli({"--database", m_cluster.UrlOf("office"), "history", "show", "1", "--xls",
                             Path("download-1.xls"), "--pdf", Path("download-1.pdf")});
    ASSERT_EQ(show.exitCode, 0) << show.err.toStdString();
    EXPECT_EQ(QByteArray::fromStdString(client.Get("/downloads/1.xls")->body), ReadAll(Path("download-1.xls")));
    EXPECT_EQ(WithoutCreationDate(QByteArray::fromStdString(client.Get("/downloads/1.pdf")->body)),
              WithoutCreationDate(ReadAll(Path("download-1.pdf"))));
    EXPECT_EQ(serve.Terminate(), 0);
}

TEST_F(WebServePostgres, ADatabaseThatIsGoneIsA503AndThePagesComeBackWithIt)
{
    ServeProcess serve(m_dir.path(), {"--database", m_cluster.UrlOf("office")});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();
    ASSERT_EQ(client.Get("/downloads")->status, 200);

    ASSERT_TRUE(m_cluster.Stop());
    for (const char *path : {"/", "/downloads", "/downloads/1", "/downloads/1.xls", "/instruments", "/api/downloads"}) {
        const auto down = client.Get(path);
        ASSERT_TRUE(down) << path;
        EXPECT_EQ(down->status, 503) << path;
        EXPECT_TRUE(Text(down).contains("읽을 수 없습니다")) << path << down->body;
        ExpectSecurityHeaders(down, path);
    }
    EXPECT_TRUE(serve.Running());

    ASSERT_TRUE(m_cluster.Start());
    // Every server thread gets its connection back at its next request: new connections land on others.
    for (int i = 0; i < 20; ++i) {
        const auto back = serve.Client().Get("/downloads/1");
        ASSERT_TRUE(back);
        EXPECT_EQ(back->status, 200) << i;
        EXPECT_TRUE(Text(back).contains("SN-ARCH"));
    }
    EXPECT_EQ(serve.Terminate(), 0) << serve.Err().toStdString();
}

} // namespace
