#include "XlrdReader.h"

#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryFile>

namespace {

const char *const kScript = R"PY(
import json, struct, sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True, on_demand=True)
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
    "types": [[sh.cell_type(r, c) for c in range(sh.ncols)] for r in range(sh.nrows)],
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
            "shrink": bool(xf.alignment.shrink_to_fit),
        }
def area(n):
    try:
        return list(n.result.value[0].coords)
    except (AttributeError, IndexError, TypeError):
        return None
out["names"] = [{"name": n.name, "builtin": n.builtin, "scope": n.scope, "area": area(n)}
                for n in book.name_obj_list]
# xlrd keeps no page setup, so the sheet's print records are decoded here from the records xlrd's own
# reader walks, starting where xlrd found the sheet.
book.position = book._sh_abs_posn[0]
page = {"records": [], "margins": {}}
names = {0x26: "left", 0x27: "right", 0x28: "top", 0x29: "bottom"}
while True:
    rc, length, data = book.get_record_parts()
    page["records"].append(rc)
    if rc == 0x000A:
        break
    if rc == 0x0081:
        page["fit_to_pages"] = bool(struct.unpack("<H", data)[0] & 0x0100)
    elif rc == 0x0083:
        page["horz_center"] = struct.unpack("<H", data)[0]
    elif rc == 0x0084:
        page["vert_center"] = struct.unpack("<H", data)[0]
    elif rc in (0x0014, 0x0015):
        text = ""
        if length:
            n, flags = struct.unpack("<HB", data[:3])
            text = data[3:3 + n * (2 if flags & 1 else 1)].decode("utf_16_le" if flags & 1 else "latin_1")
        page["header" if rc == 0x0014 else "footer"] = text
    elif rc in names:
        page["margins"][names[rc]] = struct.unpack("<d", data)[0]
    elif rc == 0x00A1:
        f = struct.unpack("<6H2H2dH", data)
        page.update({"paper_size_code": f[0], "scale": f[1], "fit_width_to_pages": f[3],
                     "fit_height_to_pages": f[4], "portrait": bool(f[5] & 2), "no_pls": bool(f[5] & 4),
                     "no_orient": bool(f[5] & 0x40), "copies": f[10]})
out["print"] = page
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
