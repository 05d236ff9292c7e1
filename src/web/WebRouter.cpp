#include "WebRouter.h"

void WebRouter::AddPage(const QString &pattern, Page page)
{
    m_pages.append({QRegularExpression(QRegularExpression::anchoredPattern(pattern)), std::move(page)});
}

void WebRouter::AddNavigation(const QString &title, const QString &href)
{
    m_navigation.append({title, href});
}

void WebRouter::AddDashboardPart(DashboardPart part)
{
    m_dashboard.append(std::move(part));
}

std::optional<WebResponse> WebRouter::Dispatch(const WebRequest &request) const
{
    for (const auto &[pattern, page] : m_pages) {
        const QRegularExpressionMatch match = pattern.match(request.path);
        if (match.hasMatch())
            return page(request, match.capturedTexts().mid(1));
    }
    return std::nullopt;
}
