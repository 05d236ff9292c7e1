#include "WebArchiveFixture.h"

#include <QUrl>

#include <sys/stat.h>

namespace {

class WebAccess : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        MeasurementArchive archive(DefaultArchiveLocation(m_dir.path()));
        ASSERT_TRUE(archive.Open());
        AddDownload(archive, "PF-A1", "2024-05-01 08:00:00", {{"2024-05-01 07:00:00", 98 * 12, 0}});
    }
    QString Path(const QString &name) const { return m_dir.filePath(name); }
    // `web user ...` with `input` on stdin.
    CliRun WebUser(const QStringList &arguments, const QByteArray &input = {})
    {
        QProcess process;
        process.start(CliCopyIn(m_dir.path()), QStringList{"web", "user"} + arguments);
        process.write(input);
        process.closeWriteChannel();
        process.waitForFinished(60000);
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    // A self-signed certificate and its key for 127.0.0.1.
    bool MakeCertificate()
    {
        return RunProgram("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                      "/CN=127.0.0.1", "-keyout", Path("key.pem"), "-out", Path("cert.pem")})
                   .exitCode == 0;
    }
    static QByteArray Cookie(const httplib::Result &login)
    {
        const QByteArray header = QByteArray::fromStdString(login->get_header_value("Set-Cookie"));
        return header.left(header.indexOf(';'));
    }

    QTemporaryDir m_dir;
};

TEST_F(WebAccess, AccountsAreArgon2HashesInAFileOfTheOwnerOnly)
{
    const CliRun add = WebUser({"add", "alice"}, "correct horse battery\n");
    ASSERT_EQ(add.exitCode, 0) << add.err.toStdString();
    const QByteArray file = ReadAll(Path("web-accounts"));
    EXPECT_TRUE(file.startsWith("alice:$argon2id$")) << file.constData();
    EXPECT_FALSE(file.contains("correct horse"));
    struct stat info = {};
    ASSERT_EQ(::stat(QFile::encodeName(Path("web-accounts")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_EQ(WebUser({"add", "bob"}, "short\n").exitCode, 2);
    EXPECT_EQ(WebUser({"add", "bob"}).exitCode, 2); // nothing on stdin
    EXPECT_EQ(WebUser({"add", "bad name"}, "long enough password\n").exitCode, 2);
    EXPECT_EQ(WebUser({"add", "bob", "--password", "x"}).exitCode, 2); // never from the command line
    ASSERT_EQ(WebUser({"add", "bob"}, "another password\n").exitCode, 0);
    // A new password replaces the old one; removing leaves the others.
    ASSERT_EQ(WebUser({"add", "alice"}, "a new password\n").exitCode, 0);
    EXPECT_NE(ReadAll(Path("web-accounts")), file);
    EXPECT_EQ(WebUser({"remove", "alice"}).exitCode, 0);
    EXPECT_EQ(WebUser({"remove", "alice"}).exitCode, 1);
    const QByteArray left = ReadAll(Path("web-accounts"));
    EXPECT_TRUE(left.startsWith("bob:$argon2id$") && left.count('\n') == 1) << left.constData();
    EXPECT_FALSE(QFile::exists(Path("web-accounts.new")));

    // A damaged accounts file is refused, not taken as "no accounts".
    WriteFile(Path("web-accounts"), "bob:plaintext\n");
    ServeProcess serve(m_dir.path(), {});
    EXPECT_EQ(serve.Port(), 0);
    EXPECT_EQ(serve.ExitCode(), 2);
}

TEST_F(WebAccess, WithAccountsEveryPageWantsALoginAndRepeatedFailuresWait)
{
    ASSERT_EQ(WebUser({"add", "alice"}, "correct horse battery\n").exitCode, 0);
    ServeProcess serve(m_dir.path(), {});
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    httplib::Client client = serve.Client();

    const auto home = client.Get("/downloads?page=1");
    ASSERT_TRUE(home);
    EXPECT_EQ(home->status, 303);
    EXPECT_EQ(QUrl::fromPercentEncoding(QByteArray::fromStdString(home->get_header_value("Location"))),
              "/login?next=/downloads");
    ExpectSecurityHeaders(home, "redirect");
    EXPECT_EQ(client.Get("/api/downloads")->status, 401);
    EXPECT_EQ(client.Get("/downloads/1.xls")->status, 303);
    EXPECT_EQ(client.Get("/style.css")->status, 200);
    EXPECT_TRUE(Text(client.Get("/login")).contains("name=\"password\""));

    const auto login = client.Post("/login", "name=alice&password=correct+horse+battery&next=%2Fdownloads",
                                   "application/x-www-form-urlencoded");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->status, 303);
    EXPECT_EQ(login->get_header_value("Location"), "/downloads");
    const std::string setCookie = login->get_header_value("Set-Cookie");
    for (const char *attribute : {"; Path=/", "; Secure", "; HttpOnly", "; SameSite=Strict", "; Max-Age="})
        EXPECT_NE(setCookie.find(attribute), std::string::npos) << attribute << " in " << setCookie;
    const QByteArray cookie = Cookie(login);
    EXPECT_GE(cookie.size() - cookie.indexOf('='), 40); // 256 random bits
    const httplib::Headers withCookie{{"Cookie", cookie.toStdString()}};
    const auto page = client.Get("/downloads", withCookie);
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_TRUE(Text(page).contains("alice") && Text(page).contains("PF-A1"));
    EXPECT_EQ(client.Get("/api/downloads", withCookie)->status, 200);
    // A made-up or altered token is no session.
    EXPECT_EQ(client.Get("/downloads", {{"Cookie", cookie.toStdString() + "x"}})->status, 303);
    // After logging out the cookie opens nothing.
    const auto logout = client.Post("/logout", withCookie, "", "application/x-www-form-urlencoded");
    ASSERT_TRUE(logout);
    EXPECT_NE(logout->get_header_value("Set-Cookie").find("Max-Age=0"), std::string::npos);
    EXPECT_EQ(client.Get("/downloads", withCookie)->status, 303);

    // Only a path of this site is where a login leads.
    const auto elsewhere = client.Post("/login", "name=alice&password=correct+horse+battery&next=%2F%2Fevil.example",
                                       "application/x-www-form-urlencoded");
    EXPECT_EQ(elsewhere->get_header_value("Location"), "/");

    // Wrong passwords (and unknown names): a few are only refused, then the address must wait, right password
    // or not.
    for (int i = 0; i < 3; ++i) {
        const auto wrong = client.Post("/login", i == 1 ? "name=mallory&password=guess" : "name=alice&password=guess",
                                       "application/x-www-form-urlencoded");
        ASSERT_TRUE(wrong);
        EXPECT_EQ(wrong->status, 401) << i;
        EXPECT_TRUE(wrong->get_header_value("Set-Cookie").empty());
        EXPECT_TRUE(Text(wrong).contains("이름이나 암호가 맞지 않습니다"));
    }
    EXPECT_EQ(client.Post("/login", "name=alice&password=guess", "application/x-www-form-urlencoded")->status, 401);
    const auto waiting =
        client.Post("/login", "name=alice&password=correct+horse+battery", "application/x-www-form-urlencoded");
    ASSERT_TRUE(waiting);
    EXPECT_EQ(waiting->status, 429);
    EXPECT_TRUE(waiting->get_header_value("Set-Cookie").empty());
    EXPECT_TRUE(Text(waiting).contains("초 후에 다시 시도하십시오"));
    // The injection in the name or the password is text, in the page too.
    const auto injected = client.Get("/login?next=%22%3E%3Cscript%3Ealert(1)%3C%2Fscript%3E");
    EXPECT_FALSE(Text(injected).contains("<script>"));
    EXPECT_EQ(serve.Terminate(), 0);
}

TEST_F(WebAccess, BeyondLoopbackOnlyWithTlsAndAnAccount)
{
    ASSERT_TRUE(MakeCertificate());
    ServeProcess plain(m_dir.path(), {}, {"--listen", "0.0.0.0:0"});
    EXPECT_EQ(plain.Port(), 0);
    EXPECT_EQ(plain.ExitCode(), 2);
    EXPECT_TRUE(plain.Err().contains("TLS")) << plain.Err().toStdString();

    const QStringList tls{"--listen", "0.0.0.0:0", "--tls-cert", Path("cert.pem"), "--tls-key", Path("key.pem")};
    ServeProcess noAccount(m_dir.path(), {}, tls);
    EXPECT_EQ(noAccount.Port(), 0);
    EXPECT_EQ(noAccount.ExitCode(), 2);
    EXPECT_TRUE(noAccount.Err().contains("계정이 하나 이상")) << noAccount.Err().toStdString();

    ServeProcess badKey(m_dir.path(), {}, {"--tls-cert", Path("cert.pem"), "--tls-key", Path("missing.pem")});
    EXPECT_EQ(badKey.Port(), 0);
    EXPECT_NE(badKey.ExitCode(), 0);
    EXPECT_TRUE(badKey.Err().contains("TLS 인증서나 키")) << badKey.Err().toStdString();

    ASSERT_EQ(WebUser({"add", "alice"}, "correct horse battery\n").exitCode, 0);
    ServeProcess serve(m_dir.path(), {}, tls);
    ASSERT_GT(serve.Port(), 0) << serve.Err().toStdString();
    EXPECT_TRUE(serve.Err().contains("https://0.0.0.0:"));
    httplib::SSLClient client("127.0.0.1", serve.Port());
    client.enable_server_certificate_verification(false);
    const auto login =
        client.Post("/login", "name=alice&password=correct+horse+battery", "application/x-www-form-urlencoded");
    ASSERT_TRUE(login) << httplib::to_string(login.error());
    EXPECT_EQ(login->status, 303);
    EXPECT_EQ(Cookie(login).left(23), "__Host-tonvale_session=");
    EXPECT_NE(login->get_header_value("Strict-Transport-Security").find("max-age="), std::string::npos);
    const auto page = client.Get("/instruments", {{"Cookie", Cookie(login).toStdString()}});
    ASSERT_TRUE(page);
    EXPECT_TRUE(Text(page).contains("PF-A1"));
    // Plain HTTP gets no page there.
    const auto overPlain = serve.Client().Get("/instruments");
    EXPECT_TRUE(!overPlain || overPlain->status >= 400);
    EXPECT_EQ(serve.Terminate(), 0);
}

} // namespace
