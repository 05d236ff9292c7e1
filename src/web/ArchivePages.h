#pragma once

#include "WebRouter.h"

#include <QString>

#include <functional>

class WebArchive;

// What the archive's pages need besides the archive: the INI file (the report texts and the press-class
// limits, as the command line takes them) and a way to run work on the application's main thread (the PDF's
// chart is drawn with widgets, which live there).
struct ArchivePagesSetting {
    WebArchive *archive = nullptr;
    QString iniPath;
    std::function<void(const std::function<void()> &work)> runOnMainThread;
};

// The start page, the downloads (list, one download, its .xls/.pdf/.csv), the instruments and their JSON under
// /api/, added to the router with their navigation links. The archive must outlive the router's use.
void AddArchivePages(WebRouter &router, const ArchivePagesSetting &setting);

// The number of downloads a list page shows.
inline constexpr int kDownloadsPerPage = 50;
