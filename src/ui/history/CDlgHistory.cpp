#include "CDlgHistory.h"

#include "LocalTime.h"
#include "Mailbox.h"
#include "MeasurementArchive.h"
#include "ResultCodes.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include <atomic>
#include <mutex>

namespace {
constexpr int kListLimit = 1000;
enum Column { kId, kSerial, kName, kStarted, kMode, kRows, kResult, kColumnCount };
std::atomic<int> g_readersLeft{0};
} // namespace

// The way back to the window, cut when the window goes: a reader still busy then finishes on its own.
class CDlgHistory::WindowLink {
  public:
    explicit WindowLink(Mailbox *toWindow) : m_toWindow(toWindow) {}
    void Post(Mailbox::Task task)
    {
        const std::lock_guard lock(m_mutex);
        if (m_toWindow)
            m_toWindow->Post(std::move(task));
    }
    void Cut()
    {
        const std::lock_guard lock(m_mutex);
        m_toWindow = nullptr;
    }

  private:
    std::mutex m_mutex;
    Mailbox *m_toWindow;
};

// The window's connection to the archive, opened, used and closed on the reader's thread.
class CDlgHistory::Reader {
  public:
    explicit Reader(ArchiveLocation location) : m_location(std::move(location)) {}

    // nullopt with the Korean reason when the archive cannot be read.
    std::optional<QList<DownloadSummary>> List(const DownloadFilter &filter, QString *error)
    {
        if (!OpenArchive(error))
            return std::nullopt;
        std::optional<QList<DownloadSummary>> downloads = m_archive->ListDownloads(filter);
        if (!downloads) {
            *error = QStringLiteral("기록 읽기 실패 - %1").arg(m_archive->LastError().Reason());
            m_archive.reset(); // opened afresh next time
        }
        return downloads;
    }

    std::optional<ArchivedDownload> Load(qint64 id, QString *error)
    {
        if (!OpenArchive(error))
            return std::nullopt;
        std::optional<ArchivedDownload> download = m_archive->LoadDownload(id);
        if (!download)
            *error = QStringLiteral("기록 읽기 실패 - %1").arg(m_archive->LastError().Reason());
        return download;
    }

  private:
    bool OpenArchive(QString *error)
    {
        if (m_archive && m_archive->IsOpen())
            return true;
        m_archive = std::make_unique<MeasurementArchive>(m_location);
        if (m_archive->Open(MeasurementArchive::Purpose::Read))
            return true;
        // A new installation has not archived anything yet; that is no failure.
        *error =
            m_archive->LastError().kind == ArchiveError::Kind::Missing
                ? QStringLiteral("아직 보관된 다운로드가 없습니다")
                : QStringLiteral("기록 읽기 실패 - %1: %2").arg(m_archive->LastError().Reason(), m_location.Describe());
        m_archive.reset();
        return false;
    }

    const ArchiveLocation m_location;
    std::unique_ptr<MeasurementArchive> m_archive;
};

CDlgHistory::CDlgHistory(ArchiveLocation location, QWidget *parent)
    : QDialog(parent), m_readerThread(new QThread), m_reader(new Reader(std::move(location))), m_toReader(new Mailbox),
      m_toWindow(std::make_shared<WindowLink>(new Mailbox(this))), m_serial(new QLineEdit(this)),
      m_useDates(new QCheckBox(QStringLiteral("기간"), this)),
      m_from(new QDateEdit(QDate::currentDate().addMonths(-1), this)), m_to(new QDateEdit(QDate::currentDate(), this)),
      m_query(new QPushButton(QStringLiteral("조회"), this)), m_table(new QTableWidget(0, kColumnCount, this)),
      m_status(new QLabel(this)), m_open(new QPushButton(QStringLiteral("열기"), this))
{
    setWindowTitle(QStringLiteral("기록 보기"));
    m_serial->setPlaceholderText(QStringLiteral("측정기 S/N의 일부 (전체)"));
    m_serial->setClearButtonEnabled(true);
    for (QDateEdit *date : {m_from, m_to}) {
        date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        date->setCalendarPopup(true);
        date->setEnabled(false);
    }
    connect(m_useDates, &QCheckBox::toggled, m_from, &QWidget::setEnabled);
    connect(m_useDates, &QCheckBox::toggled, m_to, &QWidget::setEnabled);

    m_table->setHorizontalHeaderLabels({QStringLiteral("번호"), QStringLiteral("측정기 S/N"),
                                        QStringLiteral("측정기 명"), QStringLiteral("시작 시간"),
                                        QStringLiteral("모드"), QStringLiteral("행 수"), QStringLiteral("결과")});
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setStretchLastSection(true);

    auto *filters = new QHBoxLayout;
    filters->addWidget(new QLabel(QStringLiteral("측정기 S/N"), this));
    filters->addWidget(m_serial, 1);
    filters->addWidget(m_useDates);
    filters->addWidget(m_from);
    filters->addWidget(new QLabel(QStringLiteral("~"), this));
    filters->addWidget(m_to);
    filters->addWidget(m_query);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_open);
    auto *close = new QPushButton(QStringLiteral("닫기"), this);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(filters);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    resize(820, 460);

    m_query->setDefault(false);
    m_query->setAutoDefault(false);
    m_open->setAutoDefault(false);
    close->setAutoDefault(false);
    connect(m_query, &QPushButton::clicked, this, &CDlgHistory::Refresh);
    connect(m_serial, &QLineEdit::returnPressed, this, &CDlgHistory::Refresh);
    connect(m_open, &QPushButton::clicked, this, &CDlgHistory::OpenSelected);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &CDlgHistory::OpenSelected);
    connect(m_table, &QTableWidget::itemSelectionChanged, this,
            [this] { m_open->setEnabled(!m_table->selectedItems().isEmpty()); });
    m_open->setEnabled(false);
    m_toReader->moveToThread(m_readerThread);
    // The thread and its mailbox go by themselves once the reader is done, after the window has gone.
    connect(m_readerThread, &QThread::finished, m_toReader, &QObject::deleteLater);
    connect(m_readerThread, &QThread::finished, m_readerThread, &QObject::deleteLater);
    connect(
        m_readerThread, &QThread::finished, m_readerThread, [] { --g_readersLeft; }, Qt::DirectConnection);
    ++g_readersLeft;
    m_readerThread->start();
    Refresh();
}

CDlgHistory::~CDlgHistory()
{
    // Closing never waits for a read in flight (a server may take its time-out to answer): the reader
    // ends on its own thread after what was asked before, and its answers go nowhere.
    m_toWindow->Cut();
    m_toReader->Post([reader = m_reader] {
        delete reader;
        QThread::currentThread()->quit();
    });
}

int CDlgHistory::ReadersLeft()
{
    return g_readersLeft;
}

void CDlgHistory::WaitForReaders(std::chrono::milliseconds patience)
{
    const auto giveUpAt = std::chrono::steady_clock::now() + patience;
    while (g_readersLeft > 0 && std::chrono::steady_clock::now() < giveUpAt)
        QThread::msleep(20);
}

QString CDlgHistory::ResultColumnText(const DownloadSummary &download)
{
    QString text;
    if (!download.resultCode)
        text = QStringLiteral("중단됨");
    else if (*download.resultCode >= 0)
        text = download.damaged > 0 ? QStringLiteral("불완전") : QStringLiteral("정상");
    else if (text = ResultText(*download.resultCode); text.isEmpty())
        text = QString::number(*download.resultCode);
    if (download.damaged > 0)
        text += QStringLiteral(" (손상된 기록 %1건 제외)").arg(download.damaged);
    return text;
}

QString CDlgHistory::ArchivedCaption(const DownloadSummary &download)
{
    return QStringLiteral("보관 기록 #%1 - %2 %3 %4")
        .arg(download.id)
        .arg(download.identity.Serial(), FormatLocalTime(download.startedAt), DownloadModeName(download.mode));
}

void CDlgHistory::ShowStatus(const QString &text)
{
    m_status->setText(text);
}

void CDlgHistory::Refresh()
{
    DownloadFilter filter;
    filter.serial = m_serial->text().trimmed();
    filter.limit = kListLimit;
    if (m_useDates->isChecked()) {
        const QDate from = m_from->date(), next = m_to->date().addDays(1);
        filter.from = LocalTimeFromFields({from.year(), from.month(), from.day(), 0, 0, 0});
        filter.before = LocalTimeFromFields({next.year(), next.month(), next.day(), 0, 0, 0});
    }
    const int request = ++m_request;
    ShowStatus(QStringLiteral("기록을 읽는 중입니다..."));
    m_toReader->Post([this, reader = m_reader, toWindow = m_toWindow, filter, request] {
        QString error;
        std::optional<QList<DownloadSummary>> downloads = reader->List(filter, &error);
        toWindow->Post([this, request, downloads, error] { ShowList(request, downloads, error); });
    });
}

void CDlgHistory::ShowList(int request, const std::optional<QList<DownloadSummary>> &downloads, const QString &error)
{
    if (request != m_request)
        return;
    if (!downloads) {
        m_table->setRowCount(0);
        ShowStatus(error);
        return;
    }
    m_table->setRowCount(int(downloads->size()));
    for (int row = 0; row < downloads->size(); ++row) {
        const DownloadSummary &d = downloads->at(row);
        const QStringList texts{QString::number(d.id),        d.identity.Serial(),      d.identity.texts[0],
                                FormatLocalTime(d.startedAt), DownloadModeName(d.mode), QString::number(d.rowCount),
                                ResultColumnText(d)};
        for (int col = 0; col < kColumnCount; ++col) {
            auto *item = new QTableWidgetItem(texts[col]);
            if (col == kId || col == kRows)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            item->setData(Qt::UserRole, d.id);
            m_table->setItem(row, col, item);
        }
    }
    m_table->resizeColumnsToContents();
    ShowStatus(downloads->isEmpty() ? QStringLiteral("보관된 다운로드가 없습니다")
                                    : QStringLiteral("다운로드 %1건").arg(downloads->size()));
}

void CDlgHistory::OpenSelected()
{
    const QList<QTableWidgetItem *> selected = m_table->selectedItems();
    if (selected.isEmpty() || !m_open->isEnabled())
        return;
    const qint64 id = selected.first()->data(Qt::UserRole).toLongLong();
    m_open->setEnabled(false); // one download at a time
    ShowStatus(QStringLiteral("기록을 읽는 중입니다..."));
    m_toReader->Post([this, reader = m_reader, toWindow = m_toWindow, id] {
        QString error;
        std::optional<ArchivedDownload> download = reader->Load(id, &error);
        toWindow->Post([this, download, error] { ShowOpened(download, error); });
    });
}

void CDlgHistory::ShowOpened(std::optional<ArchivedDownload> download, const QString &error)
{
    m_open->setEnabled(!m_table->selectedItems().isEmpty());
    if (!download) {
        ShowStatus(error);
        return;
    }
    m_opened = std::move(download);
    emit DownloadOpened(*m_opened);
    accept();
}
