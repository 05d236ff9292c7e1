#include "CDlgComm.h"

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

using namespace dlgstyle;

namespace {

DialogTemplate TemplateWithId(int id)
{
    DialogTemplate t;
    t.id = id;
    return t;
}

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
