#include "CDlgLog.h"

#include "Clock.h"
#include "LocalTime.h"
#include "PacketLogEntry.h"

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>
#include <QWindow>

#include <algorithm>

using namespace dlgstyle;

namespace {
constexpr int kTemplateId = 140;
constexpr int kStaticId = -1;
} // namespace

DialogTemplate CDlgLog::MakeTemplate()
{
    DialogTemplate t;
    t.id = kTemplateId;
    t.caption = QStringLiteral("Log");
    // Sizable, so that it fits beside or over the program's windows on a small screen.
    t.style |= WS_THICKFRAME;
    t.cx = 577;
    t.cy = 351;
    t.pointSize = 8;
    t.fontFace = QStringLiteral("MS Shell Dlg");
    t.controls = {
        {kStaticId, ControlClass::Static, QStringLiteral("PACKET"), 7, 15, 36, 8, WS_VISIBLE},
        {IDC_LOG_VIEW, ControlClass::Edit, QString(), 7, 24, 563, 320,
         WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_READONLY},
        {IDC_LOG_SAVE, ControlClass::Button, QStringLiteral("Log Save"), 455, 9, 52, 10, WS_VISIBLE | BS_AUTOCHECKBOX},
        {IDC_CLEAR, ControlClass::Button, QStringLiteral("Clear"), 377, 7, 50, 14, WS_VISIBLE | BS_PUSHBUTTON},
        {2, ControlClass::Button, QStringLiteral("Close"), 520, 5, 50, 14, WS_VISIBLE | BS_PUSHBUTTON},
        {1, ControlClass::Button, QStringLiteral("확인"), 198, 330, 50, 14, BS_DEFPUSHBUTTON},
    };
    return t;
}

CDlgLog::CDlgLog(Clock &clock, const QString &logDir, QWidget *parent)
    : CDlgComm(MakeTemplate(), parent), m_clock(clock), m_file(logDir)
{
    setModal(false);

    // In template order, so that the font scaler finds each control after the previous one.
    m_label = new QLabel(QStringLiteral("PACKET"), this);
    SetControlId(m_label, kStaticId);
    m_view = new QPlainTextEdit(this);
    SetControlId(m_view, IDC_LOG_VIEW);
    m_logSave = new QCheckBox(QStringLiteral("Log Save"), this);
    SetControlId(m_logSave, IDC_LOG_SAVE);
    m_clear = new QPushButton(QStringLiteral("Clear"), this);
    SetControlId(m_clear, IDC_CLEAR);
    m_close = new QPushButton(QStringLiteral("Close"), this);
    SetControlId(m_close, 2);
    m_ok = new QPushButton(QStringLiteral("확인"), this);
    SetControlId(m_ok, 1);
    m_ok->hide();

    for (QPushButton *b : {m_clear, m_close, m_ok})
        b->setAutoDefault(false);
    m_view->setReadOnly(true);
    m_view->setUndoRedoEnabled(false);
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    connect(m_clear, &QPushButton::clicked, this, &CDlgLog::OnBnClickedClear);
    connect(m_close, &QPushButton::clicked, this, &CDlgLog::OnBnClickedClose);
}

CDlgLog::~CDlgLog() = default;

void CDlgLog::InitControls()
{
    // The view holds as much as the line rule lets in.
    m_view->setMaximumBlockCount(0);
    // Hex columns line up in a fixed-pitch face of the size the font scaler chose.
    QFont fixed = m_view->font();
    fixed.setFamilies({QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("DejaVu Sans Mono")});
    fixed.setStyleHint(QFont::Monospace);
    m_view->setFont(fixed);
    setMinimumSize(kMinimumSize);
}

void CDlgLog::RepositionControls()
{
    // The view fills the window below the buttons; the buttons keep their distance from the right edge.
    const int margin = m_view->x();
    const QRect close = m_close->geometry();
    const int shift = width() - margin - (close.x() + close.width());
    for (QWidget *control : std::initializer_list<QWidget *>{m_clear, m_logSave, m_close})
        control->move(control->x() + shift, control->y());
    m_view->setGeometry(margin, m_view->y(), std::max(0, width() - 2 * margin),
                        std::max(0, height() - m_view->y() - margin));
    update();
}

void CDlgLog::AddPacket(int direction, const uint8_t *bytes, int count)
{
    AddPackets(
        {PacketEntry{direction, QByteArray(reinterpret_cast<const char *>(bytes), qMax(count, 0)), m_clock.Now()}});
}

void CDlgLog::AddPackets(const PacketBatch &packets)
{
    // Every entry ends its line, so the view holds one more line than entries: it is emptied when the
    // entry after the 2000th arrives. The batch's lines go in with one insertion.
    QString text;
    int lines = m_view->document()->blockCount();
    int added = 0;
    for (const PacketEntry &packet : packets) {
        const QString entry =
            FormatPacketLogEntry(packet.direction, reinterpret_cast<const uint8_t *>(packet.bytes.constData()),
                                 int(packet.bytes.size()), packet.time);
        if (lines > kMaxLines) {
            m_view->clear();
            text.clear();
            lines = 1;
            added = 0;
        }
        text += entry;
        text += QLatin1Char('\n');
        ++lines;
        ++added;
        if (m_logSave->isChecked())
            WriteLogFile(entry, packet.time);
    }
    if (added > 0)
        Append(text);
}

void CDlgLog::AddNote(const QString &text)
{
    const qint64 now = m_clock.Now();
    const QString entry = QStringLiteral("NOTE-[%1] %2").arg(FormatLocalTime(now), text);
    if (m_view->document()->blockCount() > kMaxLines)
        m_view->clear();
    Append(entry + QLatin1Char('\n'));
    if (m_logSave->isChecked())
        WriteLogFile(entry, now);
}

void CDlgLog::Append(const QString &text)
{
    // Always at the end, whatever the operator has selected, so the view keeps the order of the wire.
    QScrollBar *bar = m_view->verticalScrollBar();
    const bool atBottom = bar->value() >= bar->maximum();
    QTextCursor end(m_view->document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
    if (atBottom)
        bar->setValue(bar->maximum());
}

void CDlgLog::WriteLogFile(const QString &entry, qint64 time)
{
    // A file that cannot be written loses this entry only, the next one tries again.
    QString line = entry;
    line.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    while (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    m_file.Append(line, time);
}

void CDlgLog::SetCompanion(QWidget *companion, std::function<QRect()> freeArea)
{
    if (m_companion)
        m_companion->window()->removeEventFilter(this);
    if (companion)
        companion->window()->installEventFilter(this);
    if (companion != m_companion)
        m_placed = false;
    m_companion = companion;
    m_freeArea = std::move(freeArea);
    KeepTransient();
    if (isVisible() && companion && companion->window()->isVisible())
        Place();
}

void CDlgLog::KeepTransient()
{
    QWindow *own = windowHandle();
    if (!own)
        return; // the show event sets it
    QWidget *window = m_companion ? m_companion->window() : nullptr;
    if (window && !window->windowHandle())
        window->winId(); // a console not shown yet: its window exists from now on
    QWindow *companion = window ? window->windowHandle() : nullptr;
    if (own->transientParent() == companion)
        return;
    own->setTransientParent(companion);
    // The window system learns of the new owner when the window is shown; a shown log is shown
    // again so that it stays above its new companion.
    if (isVisible()) {
        hide();
        show();
    }
}

bool CDlgLog::eventFilter(QObject *watched, QEvent *event)
{
    // A companion opened after the log (the console) is stacked above it by the window manager: bring
    // the log back on top once the companion is up.
    if (event->type() == QEvent::Show && m_companion && watched == m_companion->window() && isVisible())
        QTimer::singleShot(kRaiseDelayMs, this, [this] {
            if (!isVisible())
                return;
            if (!m_placed)
                Place();
            raise();
        });
    return CDlgComm::eventFilter(watched, event);
}

void CDlgLog::showEvent(QShowEvent *event)
{
    CDlgComm::showEvent(event);
    KeepTransient();
}

QRect CDlgLog::PlaceBeside(const QRect &companionFrame, const QRect &freeArea, const QRect &screen, QSize size,
                           QSize least)
{
    if (!least.isValid())
        least = size;
    // The screen's room on each side of the companion, in the order tried: right, left, below, above.
    const QRect rooms[] = {
        QRect(QPoint(companionFrame.right() + 1, screen.top()), screen.bottomRight()),
        QRect(screen.topLeft(), QPoint(companionFrame.left() - 1, screen.bottom())),
        QRect(QPoint(screen.left(), companionFrame.bottom() + 1), screen.bottomRight()),
        QRect(screen.topLeft(), QPoint(screen.right(), companionFrame.top() - 1)),
    };
    for (int side = 0; side < 4; ++side) {
        const QRect &room = rooms[side];
        if (room.width() < least.width() || room.height() < least.height())
            continue;
        const QSize fitted = size.boundedTo(room.size());
        // Against the companion's edge, level with its top (or its left edge) as far as the room allows.
        const int alongX = std::clamp(companionFrame.left(), room.left(), room.right() + 1 - fitted.width());
        const int alongY = std::clamp(companionFrame.top(), room.top(), room.bottom() + 1 - fitted.height());
        switch (side) {
        case 0: return QRect(QPoint(room.left(), alongY), fitted);
        case 1: return QRect(QPoint(room.right() + 1 - fitted.width(), alongY), fitted);
        case 2: return QRect(QPoint(alongX, room.top()), fitted);
        default: return QRect(QPoint(alongX, room.bottom() + 1 - fitted.height()), fitted);
        }
    }
    if (freeArea.isEmpty())
        return QRect(screen.topLeft(), size.boundedTo(screen.size()));
    // Over the companion's free area, at its right end, never larger than the area.
    const QSize fitted = size.boundedTo(freeArea.size());
    return QRect(QPoint(freeArea.right() + 1 - fitted.width(), freeArea.top()), fitted);
}

void CDlgLog::ShowBeside()
{
    if (!m_placed)
        Place();
    show();
    KeepTransient();
    raise();
    activateWindow();
}

void CDlgLog::Place()
{
    if (m_companion) {
        QWidget *companion = m_companion->window();
        const QRect screen = companion->screen() ? companion->screen()->availableGeometry() : QRect();
        QRect free = m_freeArea ? m_freeArea() : QRect();
        if (!free.isEmpty())
            free = QRect(companion->mapToGlobal(free.topLeft()), free.size());
        // The frame's own edges (title bar, border) are left inside the place found for it; before the
        // window manager has framed the window once they are not known, so a usual frame is assumed.
        QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                       frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
        if (frame.isNull())
            frame = kAssumedFrame;
        const QSize outer = size().grownBy(frame);
        const QRect place = PlaceBeside(companion->frameGeometry(), free, screen, outer, minimumSize().grownBy(frame));
        resize(place.size().shrunkBy(frame));
        move(place.topLeft()); // a window's position is that of its frame
        m_placed = true;
    }
}

void CDlgLog::OnBnClickedClear()
{
    m_view->clear();
}

void CDlgLog::OnBnClickedClose()
{
    hide();
}

void CDlgLog::reject()
{
    OnBnClickedClose();
}
