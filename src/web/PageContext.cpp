#include "PageContext.h"

#include "WebLayout.h"
#include "WorkTurns.h"

#include <optional>

bool PageContext::Read(const WebRequest &request, const WebArchive::Work &work, WebResponse &failure) const
{
    ArchiveError error;
    // Most of a server's read is waiting for its answers: other pages may have the processor meanwhile.
    std::optional<WorkTurns::Away> away;
    if (setting.archive->Location().IsServer())
        away.emplace();
    const bool read = setting.archive->Use(work, &error);
    away.reset();
    if (read)
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
