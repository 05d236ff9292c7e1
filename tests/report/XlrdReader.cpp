#include "XlrdReader.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>

namespace {

const char *const kScript = R"PY(
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sh = book.sheet_by_index(0)
limit = int(sys.argv[2])
def rgb(i):
    c = book.colour_map.get(i)
    return list(c) if c else None
out = {
    "sheetname": sh.name,
    "nrows": sh.nrows,
    "ncols": sh.ncols,
    "texts": [[sh.cell_value(r, c) for c in range(sh.ncols)] for r in range(sh.nrows)],
    "merged": [list(m) for m in sh.merged_cells],
    "colwidths": {str(c): i.width for c, i in sh.colinfo_map.items()},
    "rowheights": {str(r): i.height for r, i in sh.rowinfo_map.items()},
    "formats": {},
}
for r in range(min(limit, sh.nrows)):
    for c in range(sh.ncols):
        xf = book.xf_list[sh.cell_xf_index(r, c)]
        f = book.font_list[xf.font_index]
        b = xf.border
        out["formats"]["%d,%d" % (r, c)] = {
            "font": f.name, "height": f.height, "bold": f.weight >= 700, "charset": f.character_set,
            "fontcolor": rgb(f.colour_index),
            "pattern": xf.background.fill_pattern, "fill": rgb(xf.background.pattern_colour_index),
            "left": b.left_line_style, "right": b.right_line_style, "top": b.top_line_style,
            "bottom": b.bottom_line_style, "leftcolor": rgb(b.left_colour_index),
            "hor": xf.alignment.hor_align, "vert": xf.alignment.vert_align,
        }
print(json.dumps(out))
)PY";

} // namespace

QJsonObject ReadWithXlrd(const QString &xlsPath, int formatRows, QString *failure)
{
    QTemporaryFile script(QStringLiteral("xlrd-XXXXXX.py"));
    if (!script.open()) {
        *failure = QStringLiteral("cannot write the reader script");
        return {};
    }
    script.write(kScript);
    script.flush();
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {script.fileName(), xlsPath, QString::number(formatRows)});
    if (!python.waitForFinished(600000) || python.exitCode() != 0) {
        *failure = QString::fromUtf8(python.readAllStandardError());
        return {};
    }
    const QJsonDocument doc = QJsonDocument::fromJson(python.readAllStandardOutput());
    if (!doc.isObject())
        *failure = QStringLiteral("xlrd printed no JSON object");
    return doc.object();
}
