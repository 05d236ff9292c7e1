#pragma once

#include "WebArchiveFixture.h"

#include <QDate>

#include <cmath>
#include <functional>

// A press register made as a plant makes it, through the command line's own `memory` and `press` commands:
// checks measured some days before today, so that the presses are overdue, due soon or fine by the server's
// clock.
//   P-OVER  10-13 t, range 10.0-13.0: checked 50 days ago (11.0, 12.5: pass) and 40 days ago (13.5: fail),
//           due 10 days ago;
//   P-NEW   10-13 t, never checked: due today; its name is HTML;
//   P-SOON  15 t, range 14.0-16.0: checked 25 days ago (15.0, 15.2: pass), due in 5 days;
//   P-FINE  25-30 t, range 25.0-30.0: checked 10 days ago (26.0, 28.0: pass) and 2 days ago (27.0, 31.0: fail);
//   P-GONE  retired.
struct PressRegisterPlan {
    static QDate DaysAgo(int days) { return QDate::currentDate().addDays(-days); }
    static inline const QString kHtmlName = QStringLiteral("<i>새 설비</i>&");
    // Tons of P-OVER's records, for the capability.
    static inline const std::vector<double> kOverForces{11.0, 12.5, 13.5};
};

// Runs the command line with the archive's options in front; the exit code and what it said.
using RegisterCli = std::function<CliRun(const QStringList &arguments)>;

// downloadsBefore: how many downloads the archive holds already.
inline void MakePressRegister(const RegisterCli &cli, const QString &scenarioPath, int downloadsBefore = 0)
{
    struct Check {
        const char *press;
        int daysAgo;
        QList<std::pair<double, int>> forces; // tons, setting code
    };
    const QList<Check> checks{{"P-OVER", 50, {{11.0, 0}, {12.5, 0}}},
                              {"P-OVER", 40, {{13.5, 0}}},
                              {"P-SOON", 25, {{15.0, 1}, {15.2, 1}}},
                              {"P-FINE", 10, {{26.0, 2}, {28.0, 2}}},
                              {"P-FINE", 2, {{27.0, 2}, {31.0, 2}}}};
    QByteArray json = "{\"identity\": {\"serial\": \"SN-PRESS\"}, \"stored\": [";
    for (const Check &check : checks)
        for (int i = 0; i < check.forces.size(); ++i)
            json +=
                QStringLiteral("%1{\"time\": \"%2 10:0%3:00\", \"raw\": %4, \"setting\": %5}")
                    .arg(json.endsWith('[') ? "" : ",", PressRegisterPlan::DaysAgo(check.daysAgo).toString(Qt::ISODate))
                    .arg(i)
                    .arg(std::lround(check.forces[i].first * 98))
                    .arg(check.forces[i].second)
                    .toUtf8();
    const QString scenario = WriteFile(scenarioPath, json + "]}");

    const QList<QStringList> presses{
        {"P-OVER", "--name", "1호기", "--class", "10-13", "--limits", "10.0,13.0", "--location", "A동"},
        {"P-NEW", "--name", PressRegisterPlan::kHtmlName, "--class", "10-13"},
        {"P-SOON", "--name", "2호기", "--class", "15", "--limits", "14.0,16.0"},
        {"P-FINE", "--name", "3호기", "--class", "25-30", "--limits", "25.0,30.0", "--location", "B동"},
        {"P-GONE", "--name", "폐기", "--class", "15"}};
    for (const QStringList &press : presses) {
        const CliRun add = cli(QStringList{"press", "add"} + press);
        ASSERT_EQ(add.exitCode, 0) << add.err.toStdString();
    }
    ASSERT_EQ(cli({"press", "retire", "P-GONE"}).exitCode, 0);
    // One download a check day (its records only), all of its records one check.
    int download = downloadsBefore;
    for (const Check &check : checks) {
        const QString day = PressRegisterPlan::DaysAgo(check.daysAgo).toString(Qt::ISODate);
        const CliRun memory = cli({"--simulate=" + scenario, "--virtual-time", "memory", "--from", day, "--to", day});
        ASSERT_EQ(memory.exitCode, 0) << memory.err.toStdString();
        const CliRun assign = cli({"press", "assign", check.press, "--download", QString::number(++download), "--yes"});
        ASSERT_EQ(assign.exitCode, 0) << assign.err.toStdString();
    }
}

// The sample standard deviation and Cp, Cpk of forces against a range, as a quality engineer computes them.
inline std::pair<double, double> ExpectedCapability(const std::vector<double> &forces, double low, double high)
{
    double mean = 0;
    for (double f : forces)
        mean += f / double(forces.size());
    double squares = 0;
    for (double f : forces)
        squares += (f - mean) * (f - mean);
    const double s = std::sqrt(squares / double(forces.size() - 1));
    return {(high - low) / (6 * s), std::min(high - mean, mean - low) / (3 * s)};
}

// The text between two marks of a page (empty when either is missing).
inline QString Between(const QString &text, const QString &from, const QString &to)
{
    const qsizetype start = text.indexOf(from);
    const qsizetype end = start < 0 ? -1 : text.indexOf(to, start);
    return end < 0 ? QString() : text.mid(start, end - start);
}

// The pages of the register made above: the presses, their due dates, verdicts and counts, the JSON.
inline void ExpectPressPages(httplib::Client &client)
{
    const QString iso = QStringLiteral("yyyy-MM-dd");
    const auto due = [&](int daysAgo) { return PressRegisterPlan::DaysAgo(daysAgo).toString(iso); };

    // The register: the presses in service with their last checks and due dates.
    const QJsonArray presses =
        QJsonDocument::fromJson(QByteArray::fromStdString(client.Get("/api/presses")->body)).array();
    QMap<QString, QJsonObject> byId;
    for (const QJsonValue &p : presses)
        byId[p.toObject().value("id").toString()] = p.toObject();
    EXPECT_EQ(byId.keys(), (QStringList{"P-FINE", "P-NEW", "P-OVER", "P-SOON"}));
    EXPECT_EQ(byId["P-OVER"].value("due").toString(), due(10));
    EXPECT_EQ(byId["P-OVER"].value("dueState").toString(), "초과");
    EXPECT_EQ(byId["P-OVER"].value("lastCheck").toString(), due(40));
    EXPECT_EQ(byId["P-OVER"].value("lastVerdict").toString(), "불합격");
    EXPECT_EQ(byId["P-OVER"].value("location").toString(), "A동");
    EXPECT_EQ(byId["P-NEW"].value("due").toString(), due(0));
    EXPECT_TRUE(byId["P-NEW"].value("lastCheck").isNull());
    EXPECT_EQ(byId["P-SOON"].value("due").toString(), due(-5));
    EXPECT_EQ(byId["P-SOON"].value("dueState").toString(), "임박");
    EXPECT_EQ(byId["P-FINE"].value("due").toString(), due(-28));
    EXPECT_EQ(byId["P-FINE"].value("dueState").toString(), "정상");
    EXPECT_EQ(byId["P-FINE"].value("class").toString(), "25-30톤");

    const QString list = Text(client.Get("/presses"));
    EXPECT_TRUE(list.contains("<a href=\"/presses/P-OVER\">P-OVER</a>")) << list.toStdString();
    EXPECT_FALSE(list.contains("P-GONE"));
    EXPECT_TRUE(list.contains("&lt;i&gt;새 설비&lt;/i&gt;&amp;"));
    EXPECT_FALSE(list.contains(PressRegisterPlan::kHtmlName));
    EXPECT_TRUE(list.contains(due(10) + " (초과)"));

    // The start page: overdue and due soon, the most overdue first; the last 30 days' verdicts by class.
    const QString home = Text(client.Get("/"));
    const QString duePart = Between(home, "점검할 설비", "최근 30일");
    ASSERT_FALSE(duePart.isEmpty()) << home.toStdString();
    EXPECT_FALSE(duePart.contains("P-FINE"));
    const qsizetype over = duePart.indexOf("P-OVER"), fresh = duePart.indexOf("P-NEW"),
                    soon = duePart.indexOf("P-SOON");
    EXPECT_TRUE(over >= 0 && over < fresh && fresh < soon) << duePart.toStdString();
    const QString verdicts = Between(home, "최근 30일", "</table>");
    // 10-13 t: its checks are older than 30 days.
    for (const auto &[pressClass, pass, fail] :
         {std::tuple{"10-13톤", 0, 0}, std::tuple{"15톤", 1, 0}, std::tuple{"25-30톤", 1, 1}}) {
        const QString row = Between(verdicts, QStringLiteral("<td>%1</td>").arg(pressClass), "</tr>");
        QStringList numbers;
        for (auto it = QRegularExpression(">(\\d+)<").globalMatch(row); it.hasNext();)
            numbers << it.next().captured(1);
        EXPECT_EQ(numbers, (QStringList{QString::number(pass), QString::number(fail)})) << pressClass;
    }

    // One press: its checks newest first with their verdicts, the trend, the capability.
    const QString page = Text(client.Get("/presses/P-OVER"));
    const QString checks = Between(page, "<table class=\"checks\">", "</table>");
    EXPECT_EQ(Occurrences(checks, "<tr class=\"fail\">"), 1);
    EXPECT_EQ(Occurrences(checks, "<tr class=\"pass\">"), 1);
    EXPECT_LT(checks.indexOf("<tr class=\"fail\">"), checks.indexOf("<tr class=\"pass\">"));
    EXPECT_LT(checks.indexOf(due(40)), checks.indexOf(due(50)));
    EXPECT_TRUE(page.contains("<svg class=\"chart\"")) << page.toStdString();
    EXPECT_EQ(Occurrences(Between(page, "<svg", "</svg>"), "<circle"), 2);
    const auto [cp, cpk] = ExpectedCapability(PressRegisterPlan::kOverForces, 10.0, 13.0);
    EXPECT_TRUE(page.contains(QStringLiteral("Cp %1, Cpk %2").arg(cp, 0, 'f', 2).arg(cpk, 0, 'f', 2)))
        << page.toStdString();
    const QJsonObject json = JsonObject(client.Get("/api/presses/P-OVER"));
    EXPECT_NEAR(json.value("capability").toObject().value("cp").toDouble(), cp, 1e-9);
    EXPECT_NEAR(json.value("capability").toObject().value("cpk").toDouble(), cpk, 1e-9);
    EXPECT_EQ(json.value("capability").toObject().value("records").toInt(), 3);
    QStringList checkVerdicts;
    for (const QJsonValue &c : json.value("checks").toArray())
        checkVerdicts << c.toObject().value("verdict").toString() + "/" +
                             QString::number(c.toObject().value("records").toInt());
    EXPECT_EQ(checkVerdicts, (QStringList{"불합격/1", "합격/2"}));
    // A retired press keeps its page.
    EXPECT_EQ(client.Get("/presses/P-GONE")->status, 200);
}

// Ids no press has, and ones that cannot be press numbers at all: 404 and 400 pages, text never markup.
inline void ExpectPressIdRefusals(httplib::Client &client)
{
    struct Case {
        const char *path;
        int status;
    };
    const Case cases[] = {{"/presses/P-NONE", 404},
                          {"/presses/'%20OR%20'1'%3D'1", 404},
                          {"/presses/P-OVER'%3B%20DROP%20TABLE%20presses%3B--", 404},
                          {"/presses/..%2F..%2F..%2Fetc%2Fpasswd", 404},
                          {"/presses/%3Cscript%3Ealert(1)%3C%2Fscript%3E", 404},
                          {"/presses/%3Cscript%3Ealert(1)%3C%2Fscript%3E.pdf", 404},
                          {"/api/presses/P-NONE", 404},
                          {"/presses/P-OVER%0D%0ASet-Cookie:%20x", 400},
                          {"/presses/%20P-OVER", 400},
                          {"/presses/0123456789012345678901234567890123456789", 400},
                          {"/presses/0123456789012345678901234567890123456789.pdf", 400}};
    for (const Case &c : cases) {
        const auto answer = client.Get(c.path);
        ASSERT_TRUE(answer) << c.path;
        EXPECT_EQ(answer->status, c.status) << c.path;
        EXPECT_FALSE(answer->body.find("<script>") != std::string::npos) << c.path;
        EXPECT_FALSE(answer->body.find("root:") != std::string::npos) << c.path;
        EXPECT_TRUE(answer->get_header_value("Set-Cookie").empty()) << c.path;
    }
    // Nothing was dropped.
    EXPECT_EQ(client.Get("/presses/P-OVER")->status, 200);
}

// pdftotext's text of a press history PDF without its printing time, the one thing two writings differ in.
inline QString PressPdfText(const QString &path)
{
    QProcess process;
    process.start("pdftotext", {"-layout", path, "-"});
    process.waitForFinished(60000);
    static const QRegularExpression printed(QStringLiteral("출력: [0-9: -]{19}"));
    return QString::fromUtf8(process.readAllStandardOutput()).replace(printed, QStringLiteral("출력: -"));
}
