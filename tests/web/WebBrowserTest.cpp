#include "PressRegisterFixture.h"

#include <QDir>
#include <QImage>

namespace {

// The pages as Debian's Chromium loads them, without a display: the DOM it built, and a screenshot kept in
// the build's web-screenshots/ to be looked at.
class WebBrowser : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!QFile::exists("/usr/bin/chromium"))
            GTEST_SKIP() << "chromium is not installed";
        ASSERT_TRUE(m_dir.isValid());
        QDir().mkpath(QStringLiteral(TONVALE_WEB_SCREENSHOTS));
    }
    QString Chromium(const QStringList &arguments)
    {
        const CliRun run =
            RunProgram("/usr/bin/chromium", QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                                                        "--user-data-dir=" + m_dir.filePath("profile"),
                                                        "--window-size=1280,1000", "--hide-scrollbars"} +
                                                arguments);
        return run.out;
    }

    QTemporaryDir m_dir;
};

TEST_F(WebBrowser, PagesLoadWithTheirContentAndPicture)
{
    const QString scenario = WriteFile(m_dir.filePath("s.json"), ManyStoredRecords(25));
    WriteFile(m_dir.filePath("tonvale.ini"), "[LIMITS]\nCLASS_10_13=10.0,10.2\n");
    ASSERT_EQ(RunProgram(CliCopyIn(m_dir.path()), {"--simulate=" + scenario, "--virtual-time", "memory", "--from",
                                                   "2024-05-01", "--to", "2024-05-01"})
                  .exitCode,
              0);
    {
        MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
        ASSERT_TRUE(archive.Open());
        AddDownload(archive, "PF-B2", "2024-06-01 09:00:00", {{"2024-06-01 08:00:00", 98 * 12, 1}});
    }
    MakePressRegister([this](const QStringList &arguments) { return RunProgram(CliCopyIn(m_dir.path()), arguments); },
                      m_dir.filePath("p.json"), 2);
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(serve.Port());

    struct Page {
        const char *path;
        const char *name;
        QStringList shows;
    };
    const Page pages[] = {
        {"/", "home", {"한눈에 보기", "SN-ARCH", "PF-B2", "최근 다운로드"}},
        {"/downloads/1", "download", {"다운로드 1", "SN-ARCH", "합격", "불합격", "<svg", "2024-05-01 00:00:24"}},
        {"/downloads?instrument=arch", "downloads", {"총 1건, 페이지 1 / 1", "SN-ARCH"}},
        {"/instruments/SN-ARCH", "instrument", {"읽힌 계측기 정보", "다운로드 1건"}},
        {"/downloads/77", "not-found", {"보관된 다운로드가 없습니다: 77"}},
        {"/presses", "presses", {"P-OVER", "P-SOON", "초과", "임박", "&lt;i&gt;새 설비&lt;/i&gt;&amp;"}},
        {"/presses/P-OVER", "press", {"설비 P-OVER", "1호기", "불합격", "합격", "<svg", "Cp 0.40, Cpk 0.18"}},
    };
    for (const Page &page : pages) {
        const QString dom = Chromium({"--dump-dom", base + page.path});
        for (const QString &text : page.shows)
            EXPECT_TRUE(dom.contains(text)) << page.path << ": " << text.toStdString() << "\n" << dom.toStdString();
        const QString shot = QStringLiteral(TONVALE_WEB_SCREENSHOTS "/%1.png").arg(page.name);
        QFile::remove(shot);
        Chromium({"--screenshot=" + shot, base + page.path});
        const QImage image(shot);
        EXPECT_EQ(image.size(), QSize(1280, 1000)) << page.path;
    }
    EXPECT_EQ(serve.Terminate(), 0);
}

} // namespace
