#pragma once

#include "WebRouter.h"

#include <QJsonValue>

// The frame every HTML page shares (title, navigation, who is logged in, the stylesheet) and the error
// answers: HTML for pages, JSON under /api/.
namespace web_layout {

WebResponse Page(const WebRouter &router, const WebRequest &request, const QString &title, const QString &body,
                 int status = 200);
// 400 (a bad parameter, `message` says which and why), 404, 503 (`message`: why the archive is unavailable).
WebResponse Error(const WebRouter &router, const WebRequest &request, int status, const QString &message);
WebResponse Json(const QJsonValue &value);

// The one stylesheet, served at /style.css.
QByteArray StyleSheet();

} // namespace web_layout
