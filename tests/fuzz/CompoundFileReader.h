#pragma once

// A small reader of compound files (OLE2 structured storage) of its own, for checking what the workbook
// writer produced without its code or its library: it finds one stream in the root storage and returns
// its bytes, following the sector allocation table (or the mini stream for short streams). nullopt on
// anything it does not understand; sector chains are bounded so that a bad file cannot loop.

#include <QByteArray>
#include <QString>

#include <optional>

std::optional<QByteArray> ReadCompoundStream(const QByteArray &file, const QString &streamName);
