#pragma once

#include "ArchivePages.h"

// The press register's pages: /presses, /presses/ID with its trend and capability, /presses/ID.pdf (the
// history PDF the command line writes), their JSON under /api/, and the start page's parts (presses due,
// the last 30 days' verdicts per press class). The archive must outlive the router's use.
void AddPressPages(WebRouter &router, const ArchivePagesSetting &setting);
