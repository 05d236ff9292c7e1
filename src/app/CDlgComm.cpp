#include "CDlgComm.h"

#include "CSpreadSheet.h"
#include "CTonvaleApp.h"
#include "DarkTheme.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDate>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

#include <cmath>

using namespace dlgstyle;

namespace {

DialogTemplate TemplateWithId(int id)
{
    DialogTemplate t;
    t.id = id;
    return t;
}

// Grid appearance property numbers this base sets.
enum : int {
    kPropBorderStyle = -504,
    kPropEmptyArea = 55,
    kPropForeColor = 56,
    kPropHeaderDepth = 116,
    kPropHeaderBack = 123,
    kPropHeaderShadow = 124,
    kPropHeaderText = 125,
    kPropScrollBarStyle = 273,
    kPropSelectionColor = 289,
    kPropSelectionStyle = 391,
    kPropGridLines = 403,
    kPropHeaderGridLines = 404,
    kPropTabStyle = 525,
};
constexpr int kHeader = -1000;
constexpr int kAll = -1;

} // namespace

CDlgComm::CDlgComm(int templateId, QWidget *parent) : CDlgComm(TemplateWithId(templateId), parent) {}

CDlgComm::CDlgComm(DialogTemplate tmpl, QWidget *parent)
    : QDialog(parent), m_template(std::move(tmpl)), m_nTemplateId(m_template.id),
      m_clrFrame(TonvaleApp().palette.borderColor)
{
    if (!m_template.caption.isEmpty())
        setWindowTitle(m_template.caption);
}

CDlgComm::~CDlgComm()
{
    m_fontScaler.Restore();
}

bool CDlgComm::Create()
{
    RunInitialisation();
    return true;
}

void CDlgComm::setVisible(bool visible)
{
    if (visible)
        RunInitialisation();
    QDialog::setVisible(visible);
}

void CDlgComm::RunInitialisation()
{
    if (m_bInitialized || m_bInitializing)
        return;
    m_bInitializing = true;
    OnInitDialog();
    m_bInitializing = false;
    m_bInitialized = true;
}

bool CDlgComm::OnInitDialog()
{
    // Only a dialog with a sizing frame can be resized, and only it shows a size grip.
    const bool sizable = (m_template.style & WS_THICKFRAME) != 0;
    setSizeGripEnabled(sizable);
    if (m_template.cx > 0 && m_template.cy > 0)
        m_fontScaler.Apply(m_template, this, FontResolution());
    if (!sizable && m_template.cx > 0 && m_template.cy > 0)
        setFixedSize(size());
    ApplyControlColors();
    InitControls();
    OnInitDone();
    m_bLayoutReady = true;
    RepositionControls();
    return true;
}

void CDlgComm::DrawExtra(QPainter &) {}

void CDlgComm::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter painter(this);
    DrawExtra(painter);
    if (m_bDrawFrame) {
        painter.setPen(ToQColor(m_clrFrame));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

void CDlgComm::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    if (m_bLayoutReady)
        RepositionControls();
}

void CDlgComm::ApplyControlColors()
{
    setPalette(DarkTheme::MakePalette(TonvaleApp().palette));
    setAutoFillBackground(true);
    update();
}

QColor CDlgComm::ToQColor(ColorRef c)
{
    return QColor(ColorRefRed(c), ColorRefGreen(c), ColorRefBlue(c));
}

void CDlgComm::SetControlId(QWidget *control, int id)
{
    if (control)
        control->setObjectName(QString::number(id));
}

int CDlgComm::ControlIdOf(const QObject *control)
{
    if (!control)
        return 0;
    bool ok = false;
    const int id = control->objectName().toInt(&ok);
    return ok ? id : 0;
}

QWidget *CDlgComm::GetDlgItem(int id) const
{
    for (QObject *child : children()) {
        if (child->isWidgetType() && ControlIdOf(child) == id)
            return static_cast<QWidget *>(child);
    }
    return nullptr;
}

QWidget *CDlgComm::CreateCustomControl(const DialogControl &)
{
    return new QWidget(this);
}

void CDlgComm::CreateTemplateControls()
{
    QButtonGroup *radioGroup = nullptr;
    for (const DialogControl &c : m_template.controls) {
        if (GetDlgItem(c.id))
            continue;
        QWidget *w = nullptr;
        const quint32 s = c.style;
        switch (c.kind) {
        case ControlClass::Button: {
            const quint32 type = s & BS_TYPEMASK;
            if (type == BS_GROUPBOX) {
                w = new QGroupBox(c.caption, this);
            } else if (type == BS_AUTOCHECKBOX) {
                w = new QCheckBox(c.caption, this);
            } else if (type == BS_AUTORADIOBUTTON) {
                QAbstractButton *b = nullptr;
                if (s & BS_PUSHLIKE) {
                    auto *push = new QPushButton(c.caption, this);
                    push->setCheckable(true);
                    b = push;
                } else {
                    b = new QRadioButton(c.caption, this);
                }
                if (!radioGroup || (s & WS_GROUP)) {
                    radioGroup = new QButtonGroup(this);
                    radioGroup->setExclusive(true);
                }
                radioGroup->addButton(b, c.id);
                w = b;
            } else {
                auto *push = new QPushButton(c.caption, this);
                push->setDefault(type == BS_DEFPUSHBUTTON);
                push->setAutoDefault(false);
                w = push;
            }
            break;
        }
        case ControlClass::Edit:
            if (s & ES_MULTILINE) {
                auto *edit = new QPlainTextEdit(c.caption, this);
                edit->setReadOnly(s & ES_READONLY);
                w = edit;
            } else {
                auto *edit = new QLineEdit(c.caption, this);
                edit->setReadOnly(s & ES_READONLY);
                edit->setAlignment((s & ES_CENTER)  ? Qt::AlignCenter
                                   : (s & ES_RIGHT) ? (Qt::AlignRight | Qt::AlignVCenter)
                                                    : (Qt::AlignLeft | Qt::AlignVCenter));
                edit->setFrame(s & WS_BORDER);
                w = edit;
            }
            break;
        case ControlClass::Static: {
            auto *label = new QLabel(c.caption, this);
            Qt::Alignment align = (s & SS_RIGHT) ? Qt::AlignRight : (s & SS_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
            align |= (s & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop;
            label->setAlignment(align);
            label->setWordWrap(!(s & SS_CENTERIMAGE));
            w = label;
            break;
        }
        case ControlClass::DatePicker: {
            auto *date = new QDateEdit(QDate::currentDate(), this);
            date->setCalendarPopup(true);
            date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
            date->setAlignment(s & DTS_RIGHTALIGN ? (Qt::AlignRight | Qt::AlignVCenter)
                                                  : (Qt::AlignLeft | Qt::AlignVCenter));
            w = date;
            break;
        }
        case ControlClass::ProgressBar: w = new QProgressBar(this); break;
        case ControlClass::Grid:
        case ControlClass::Custom: w = CreateCustomControl(c); break;
        }
        if (!w)
            continue;
        SetControlId(w, c.id);
        w->setGeometry(c.x, c.y, c.cx, c.cy); // dialog units until the font scaler lays it out
        w->setEnabled(!(s & WS_DISABLED));
        w->setVisible(s & WS_VISIBLE);
    }
    // OK and Cancel close the dialog as the keyboard's Enter and Escape do.
    if (auto *ok = DlgItem<QPushButton>(1))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept, Qt::UniqueConnection);
    if (auto *cancel = DlgItem<QPushButton>(2))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject, Qt::UniqueConnection);
}

void CDlgComm::TwipsToPixels(double twipsX, double twipsY, double &pixelsX, double &pixelsY) const
{
    pixelsX = ResolutionX() / 1440.0 * twipsX;
    pixelsY = ResolutionY() / 1440.0 * twipsY;
}

void CDlgComm::ApplyGridStyle(CSpreadSheet &grid)
{
    const AppPalette &pal = TonvaleApp().palette;
    grid.SetGridProperty(kPropSelectionStyle, 0);
    grid.SetGridProperty(kPropScrollBarStyle, 0);
    grid.SetGridProperty(kPropTabStyle, 0);

    grid.SetCurrentColumn(kAll);
    grid.SetCurrentRow(kAll);
    grid.SetFontName(QStringLiteral("굴림체"));
    grid.SetCellBackColor(int(pal.backColor));
    grid.SetCellTextColor(int(pal.textColor));
    grid.SetGridProperty(kPropHeaderBack, int(pal.labelBackColor));
    grid.SetGridProperty(kPropHeaderShadow, int(pal.labelBackColor));
    grid.SetGridProperty(kPropHeaderText, int(pal.textColor));
    grid.SetGridProperty(kPropForeColor, int(pal.textColor));
    grid.SetGridProperty(kPropHeaderDepth, 0);
    grid.SetGridProperty(kPropGridLines, int(pal.borderColor));
    grid.SetGridProperty(kPropHeaderGridLines, int(pal.borderColor));
    grid.SetGridProperty(kPropEmptyArea, int(pal.backColor));
    grid.SetGridProperty(kPropSelectionColor, int(pal.highlightColor));
    grid.SetGridProperty(kPropBorderStyle, 1);

    const int resolution = ResolutionX();
    const double scale = std::sqrt(resolution / 96.0);
    if (resolution > 96)
        grid.SetFontSize(resolution <= 120 ? 8 : resolution <= 144 ? 7 : 5);

    for (int col = 1; col <= grid.GetColumnCount(); ++col)
        grid.SetColumnWidth(col, grid.GetColumnWidth(col) / scale);
    for (int col = kHeader; col < kHeader + grid.GetRowHeaderColumns(); ++col)
        grid.SetColumnWidth(col, grid.GetColumnWidth(col) / scale);

    const double height = grid.GetRowHeight(1);
    if (height > 0)
        grid.SetRowHeight(kAll, height / scale);
}

namespace {

// Pixels per grid width unit and per height unit of the column-header row.
void GridUnits(const CDlgComm &dlg, const CSpreadSheet &grid, double &ux, double &uy)
{
    int twipsX = 0, twipsY = 0;
    grid.ColumnWidthInTwips(10000.0, &twipsX);
    grid.RowHeightInTwips(kHeader, 10000.0, &twipsY);
    dlg.TwipsToPixels(twipsX, twipsY, ux, uy);
    ux /= 10000.0;
    uy /= 10000.0;
}

QWidget *GridWindow(const CSpreadSheet &grid)
{
    return qobject_cast<QWidget *>(grid.View());
}

} // namespace

void CDlgComm::FitGridToRect(CSpreadSheet &grid, bool fitColumns, const QRect &rect)
{
    QWidget *view = GridWindow(grid);
    if (!view)
        return;
    grid.SetDisplayUpdates(false);
    view->setGeometry(rect);

    double ux = 0, uy = 0;
    GridUnits(*this, grid, ux, uy);

    if (fitColumns && ux > 0) {
        const int n = grid.GetColumnCount();
        const int h = grid.GetRowHeadersShown() ? grid.GetRowHeaderColumns() : 0;
        // With no columns at all there is nothing to share the width among.
        if (n + h > 0) {
            const double w = qMax(0.0, ((rect.width() - 5) / ux) / (n + h) - 0.1);
            for (int col = kHeader; col < kHeader + h; ++col)
                grid.SetColumnWidth(col, w);
            for (int col = 1; col <= n; ++col)
                grid.SetColumnWidth(col, w);
        }
    }

    const int m = grid.GetRowCount();
    const int bars = grid.GetScrollBars();
    const int s = (bars == 1 || bars == 3) ? grid.GetHScrollHeight() : 0;
    const int k = grid.GetColumnHeadersShown() ? grid.GetColumnHeaderRows() : 0;
    if (m + k > 0 && uy > 0) {
        const double r = qMax(0.0, ((rect.height() - int(std::trunc(m * 1.5)) - s) / uy) / (m + k));
        for (int row = kHeader; row < kHeader + k; ++row)
            grid.SetRowHeight(row, r);
        for (int row = 1; row <= m; ++row)
            grid.SetRowHeight(row, r);
    }

    grid.SetDisplayUpdates(true);
    view->update();
}

void CDlgComm::StretchGridColumns(CSpreadSheet &grid, const QRect &rect)
{
    if (!GridWindow(grid))
        return;
    double ux = 0, uy = 0;
    GridUnits(*this, grid, ux, uy);
    const int n = grid.GetColumnCount();
    if (n <= 0 || ux <= 0)
        return;

    int v = 0;
    const int bars = grid.GetScrollBars();
    if (bars == 2 || bars == 3) {
        v = grid.GetVScrollWidth();
        if (v == -1)
            v = 20;
    }
    const int h = grid.GetRowHeadersShown() ? grid.GetRowHeaderColumns() : 0;

    std::vector<std::pair<int, double>> columns; // row-header columns first, then 1 .. n
    for (int col = kHeader; col < kHeader + h; ++col)
        columns.emplace_back(col, grid.GetColumnWidth(col));
    for (int col = 1; col <= n; ++col)
        columns.emplace_back(col, grid.GetColumnWidth(col));
    double total = 0;
    for (const auto &c : columns)
        total += c.second;

    const double avail = qMax(0.0, (rect.width() - n - h - v) / ux);
    double given = 0;
    for (size_t i = 0; i + 1 < columns.size(); ++i) {
        // Columns that are all zero wide cannot keep proportions: they share the width equally.
        const double width = total > 0 ? columns[i].second * (avail / total) : avail / double(columns.size());
        grid.SetColumnWidth(columns[i].first, width);
        given += width;
    }
    grid.SetColumnWidth(columns.back().first, qMax(0.0, avail - given));
}
