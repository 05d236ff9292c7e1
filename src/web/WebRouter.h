#pragma once

#include <QByteArray>
#include <QList>
#include <QMultiMap>
#include <QPair>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// A request as the pages see it: the decoded path, the query's parameters and who is logged in.
struct WebRequest {
    QString path;
    QMultiMap<QString, QString> parameters;
    QString user; // empty when the server runs without accounts

    // The parameter's first value; a null text when it is not given.
    QString Parameter(const QString &name) const { return parameters.value(name); }
};

struct WebResponse {
    int status = 200;
    QByteArray contentType = "text/html; charset=utf-8";
    QByteArray body;
    QString attachmentName; // when not empty, offered for saving under this name
    QString location;       // with a 303: where to go instead
};

// The pages of the web view by path. Each page is a regular expression matched against the whole path (its
// capture groups are handed to the page) and a function that answers it. Parts of the program add their pages,
// their place in the navigation bar and their parts of the start page, without the others knowing them.
class WebRouter {
  public:
    using Page = std::function<WebResponse(const WebRequest &request, const QStringList &captures)>;
    // A part of the start page: its HTML (empty: nothing to show), or nullopt with an error response.
    using DashboardPart = std::function<std::optional<QString>(const WebRequest &request, WebResponse &failure)>;

    struct NavigationLink {
        QString title;
        QString href;
    };

    void AddPage(const QString &pattern, Page page);
    void AddNavigation(const QString &title, const QString &href);
    void AddDashboardPart(DashboardPart part);

    // The page's answer; nullopt when no page has this path.
    std::optional<WebResponse> Dispatch(const WebRequest &request) const;

    const QList<NavigationLink> &Navigation() const { return m_navigation; }
    const QList<DashboardPart> &DashboardParts() const { return m_dashboard; }

  private:
    QList<QPair<QRegularExpression, Page>> m_pages;
    QList<NavigationLink> m_navigation;
    QList<DashboardPart> m_dashboard;
};
