#include "WebLayout.h"

#include "WebText.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace web_layout {

using web_text::Html;

namespace {

QString ErrorTitle(int status)
{
    switch (status) {
    case 400: return QStringLiteral("잘못된 요청");
    case 401: return QStringLiteral("로그인 필요");
    case 404: return QStringLiteral("찾을 수 없음");
    case 413: return QStringLiteral("요청이 너무 큼");
    case 429: return QStringLiteral("잠시 후 다시 시도");
    case 503: return QStringLiteral("기록 보관소를 사용할 수 없음");
    default: return QStringLiteral("오류");
    }
}

} // namespace

WebResponse Page(const WebRouter &router, const WebRequest &request, const QString &title, const QString &body,
                 int status)
{
    QString nav;
    for (const WebRouter::NavigationLink &link : router.Navigation())
        nav += QStringLiteral("<a href=\"%1\">%2</a>").arg(Html(link.href), Html(link.title));
    if (!request.user.isEmpty())
        nav += QStringLiteral("<form class=\"logout\" method=\"post\" action=\"/logout\"><span>%1</span>"
                              "<button type=\"submit\">로그아웃</button></form>")
                   .arg(Html(request.user));
    const QString html =
        QStringLiteral("<!DOCTYPE html>\n<html lang=\"ko\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>%1 - 압력 계측기 기록</title><link rel=\"stylesheet\" href=\"/style.css\"></head>"
                       "<body><header><strong>압력 계측기 기록</strong><nav>%2</nav></header><main><h1>%1</h1>%3"
                       "</main></body></html>\n")
            .arg(Html(title), nav, body);
    WebResponse response;
    response.status = status;
    response.body = html.toUtf8();
    return response;
}

WebResponse Error(const WebRouter &router, const WebRequest &request, int status, const QString &message)
{
    if (request.path.startsWith(QLatin1String("/api/"))) {
        WebResponse response = Json(QJsonObject{{"error", message}, {"status", status}});
        response.status = status;
        return response;
    }
    return Page(router, request, ErrorTitle(status), QStringLiteral("<p class=\"error\">%1</p>").arg(Html(message)),
                status);
}

WebResponse Json(const QJsonValue &value)
{
    WebResponse response;
    response.contentType = "application/json; charset=utf-8";
    response.body = value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                                    : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return response;
}

QByteArray StyleSheet()
{
    return R"(body{margin:0;font-family:"Noto Sans CJK KR","NanumGothic",sans-serif;color:#222;background:#f6f7f9}
header{display:flex;gap:24px;align-items:center;padding:10px 20px;background:#1f3b57;color:#fff}
header nav{display:flex;gap:16px;align-items:center;flex:1}
header a{color:#fff;text-decoration:none}header a:hover{text-decoration:underline}
.logout{margin-left:auto;display:flex;gap:8px;align-items:center}
main{padding:12px 20px;max-width:1100px}h1{font-size:1.4em}h2{font-size:1.15em;margin-top:1.6em}
table{border-collapse:collapse;background:#fff;margin:8px 0}
th,td{border:1px solid #ccd;padding:4px 8px;text-align:left;white-space:nowrap}th{background:#e8edf3}
td.num{text-align:right}.pass{background:#dff5e1}.fail{background:#fde2df}.soon{background:#fff4d6}
.error{padding:10px;border:1px solid #d99;background:#fde2df}.note{color:#555}
form.filter{display:flex;gap:10px;align-items:end;flex-wrap:wrap}label{display:flex;flex-direction:column;font-size:.9em}
.pager{display:flex;gap:12px;margin:8px 0}.files a{margin-right:12px}
svg.chart{width:100%;max-width:760px;background:#fff;border:1px solid #ccd}
)";
}

} // namespace web_layout
