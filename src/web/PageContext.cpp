#include "PageContext.h"

#include "WebLayout.h"

bool PageContext::Read(const WebRequest &request, const WebArchive::Work &work, WebResponse &failure) const
{
    ArchiveError error;
    if (setting.archive->Use(work, &error))
        return true;
    failure =
        web_layout::Error(router, request, 503,
                          QStringLiteral("기록 보관소를 읽을 수 없습니다: %1. 잠시 후 다시 시도하십시오.")
                              .arg(error.Reason().isEmpty() ? QStringLiteral("알 수 없는 오류") : error.Reason()));
    return false;
}

WebResponse PageContext::Bad(const WebRequest &request, const QString &message) const
{
    return web_layout::Error(router, request, 400, message);
}

WebResponse PageContext::NotFound(const WebRequest &request, const QString &message) const
{
    return web_layout::Error(router, request, 404, message);
}
