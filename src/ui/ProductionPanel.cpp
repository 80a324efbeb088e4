#include "ui/ProductionPanel.h"

#include <QFileDialog>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "chips/ChipTable.h"
#include "production/RecordStore.h"
#include "ui/ProductionSocket.h"
#include "ui/SocketTile.h"

namespace quillon::ui {

using namespace quillon::production;

namespace {

constexpr int kShownRecords = 20;
const QString kDescriptionSeparator = QStringLiteral(" \u2014 ");

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string HexList(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char digits[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X", b);
        text += (text.empty() ? "" : " ") + std::string(digits);
    }
    return text;
}

std::string RuleText(const SerialRule& rule)
{
    char address[16];
    std::snprintf(address, sizeof address, "0x%04X", rule.address);
    std::string text = std::string(rule.memory == SerialMemory::Flash ? "flash" : "EEPROM") + " at " + address +
                       ", " + std::to_string(rule.length) + " bytes " + std::string(FormatName(rule.format));
    if (rule.format == SerialFormat::Binary || rule.format == SerialFormat::Bcd)
        text += rule.bigEndian ? ", big endian" : ", little endian";
    if (!rule.values.empty()) return text + ", " + std::to_string(rule.values.size()) + " numbers from a file";
    return text + ", " + std::to_string(rule.first) + " to " + std::to_string(rule.last) + " step " +
           std::to_string(rule.step);
}

}  // namespace

ProductionPanel::ProductionPanel(const QString& port, PortOpener opener, QWidget* parent, const PortLister& lister)
    : QDialog(parent), opener_(std::move(opener))
{
    setObjectName(QStringLiteral("ProductionPanel"));
    setWindowTitle(QStringLiteral("Production"));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* portsColumn = new QVBoxLayout;
    portsColumn->addWidget(new QLabel(QStringLiteral("Gateways (tick those to use):")));
    ports_ = new QListWidget;
    ports_->setObjectName(QStringLiteral("ProductionPorts"));
    ports_->setMaximumHeight(110);
    portsColumn->addWidget(ports_);
    auto* add = new QHBoxLayout;
    newPort_ = new QLineEdit;
    newPort_->setObjectName(QStringLiteral("NewPort"));
    newPort_->setPlaceholderText(QStringLiteral("Another port, e.g. /dev/serial/by-id/..."));
    add->addWidget(newPort_);
    addPort_ = new QPushButton(QStringLiteral("Add"));
    addPort_->setObjectName(QStringLiteral("AddPort"));
    add->addWidget(addPort_);
    portsColumn->addLayout(add);
    top->addLayout(portsColumn, 1);
    auto* jobColumn = new QVBoxLayout;
    open_ = new QPushButton(QStringLiteral("Open Job..."));
    open_->setObjectName(QStringLiteral("OpenJob"));
    jobColumn->addWidget(open_);
    summary_ = new QLabel(QStringLiteral("No job open."));
    summary_->setObjectName(QStringLiteral("JobSummary"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setWordWrap(true);
    summary_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    jobColumn->addWidget(summary_, 1);
    top->addLayout(jobColumn, 2);
    layout->addLayout(top);

    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(QStringLiteral("Chips per gateway and Start:")));
    chipsPerStart_ = new QSpinBox;
    chipsPerStart_->setObjectName(QStringLiteral("ChipsPerStart"));
    chipsPerStart_->setRange(1, 1000000);
    chipsPerStart_->setToolTip(QStringLiteral("1: each Start programs the chip in every ready socket, as an operator "
                                              "swaps them; more: each gateway goes on by itself, for a handler"));
    controls->addWidget(chipsPerStart_);
    start_ = new QPushButton(QStringLiteral("Start"));
    start_->setObjectName(QStringLiteral("StartChip"));
    QFont big = start_->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    start_->setFont(big);
    start_->setMinimumHeight(56);
    controls->addWidget(start_, 2);
    stop_ = new QPushButton(QStringLiteral("Stop"));
    stop_->setObjectName(QStringLiteral("StopLine"));
    stop_->setFont(big);
    stop_->setMinimumHeight(56);
    controls->addWidget(stop_, 1);
    layout->addLayout(controls);

    totals_ = new QLabel;
    totals_->setObjectName(QStringLiteral("LineTotals"));
    QFont bold = totals_->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 2);
    totals_->setFont(bold);
    layout->addWidget(totals_);

    tiles_ = new QWidget;
    tileGrid_ = new QGridLayout(tiles_);
    tileGrid_->setContentsMargins(0, 0, 0, 0);
    tileScroll_ = new QScrollArea;
    tileScroll_->setObjectName(QStringLiteral("SocketTiles"));
    tileScroll_->setWidgetResizable(true);
    tileScroll_->setFrameShape(QFrame::NoFrame);
    tileScroll_->setWidget(tiles_);
    layout->addWidget(tileScroll_);

    records_ = new QTableWidget(0, 6);
    records_->setObjectName(QStringLiteral("LastRecords"));
    records_->setHorizontalHeaderLabels({QStringLiteral("Chip"), QStringLiteral("Port"), QStringLiteral("Serial"),
                                         QStringLiteral("Result"), QStringLiteral("Finished (UTC)"),
                                         QStringLiteral("Reason")});
    records_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    records_->horizontalHeader()->setStretchLastSection(true);
    records_->verticalHeader()->setVisible(false);
    records_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    records_->setMinimumHeight(records_->verticalHeader()->defaultSectionSize() * 4);
    layout->addWidget(records_, 1);
    resize(980, 900);

    for (const SystemPort& system : lister ? lister() : std::vector<SystemPort>{})
        AddPort(PortEntries({system}).front(), false);
    if (!port.trimmed().isEmpty()) AddPort(port.trimmed(), true);

    connect(addPort_, &QPushButton::clicked, this, [this] {
        if (newPort_->text().trimmed().isEmpty()) return;
        AddPort(newPort_->text().trimmed(), true);
        newPort_->clear();
    });
    connect(newPort_, &QLineEdit::returnPressed, addPort_, &QPushButton::click);
    connect(open_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Job"), {},
                                                          QStringLiteral("Job files (*.toml);;All files (*)"));
        if (!path.isEmpty()) OpenJob(path);
    });
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] { Start(); });
    ShowTotals();
    EnableControls();
}

ProductionPanel::~ProductionPanel()
{
    // The workers use the job and their sessions: they end before any of it goes.
    for (Line& line : sockets_) line.socket->Stop();
    RemoveTiles();
}

void ProductionPanel::AddPort(const QString& entry, bool ticked)
{
    const QString name = PortNameOf(entry);
    for (int i = 0; i < ports_->count(); ++i) {
        if (ports_->item(i)->data(Qt::UserRole).toString() == name) {
            ports_->item(i)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
            return;
        }
    }
    auto* item = new QListWidgetItem(entry, ports_);
    item->setData(Qt::UserRole, name);
    item->setData(Qt::UserRole + 1, name.size() < entry.size() ? entry.mid(name.size() + kDescriptionSeparator.size())
                                                                : QString());
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    // Wide enough for the adapters' names, up to a point.
    const int wanted = ports_->sizeHintForColumn(0) + 2 * ports_->frameWidth() + 8;
    ports_->setMinimumWidth(std::min(wanted, 480));
}

void ProductionPanel::SetChipsPerStart(int chips) { chipsPerStart_->setValue(chips); }

std::vector<QString> ProductionPanel::TickedPorts() const
{
    std::vector<QString> ticked;
    for (int i = 0; i < ports_->count(); ++i)
        if (ports_->item(i)->checkState() == Qt::Checked) ticked.push_back(ports_->item(i)->data(Qt::UserRole).toString());
    return ticked;
}

bool ProductionPanel::OpenJob(const QString& path)
{
    if (Busy()) return false;
    RemoveTiles();
    store_.reset();
    job_.reset();
    busyMs_ = 0;
    records_->setRowCount(0);
    ShowTotals();
    EnableControls();
    JobCheck check = ReadJob(path.toStdString());
    if (!check.job) {
        summary_->setText(QStringLiteral("The job was refused:\n") + Q(check.error));
        return false;
    }
    std::string error;
    const std::string records = check.job->recordsFile.empty() ? DefaultRecordsFile(*check.job) : check.job->recordsFile;
    store_ = OpenRecordStore(records, error);
    if (!store_) {
        summary_->setText(Q(error));
        return false;
    }
    // Rows a crashed run of this station left open are closed before any gateway starts.
    if (store_->CloseUnfinished(StationName(), error) < 0) {
        summary_->setText(Q(error));
        store_.reset();
        return false;
    }
    job_ = std::move(*check.job);
    recordsAt_ = records;
    ShowSummary();
    ShowRecords();
    EnableControls();
    return true;
}

void ProductionPanel::ShowSummary()
{
    const Job& job = *job_;
    std::string text = "Job " + job.name + " for the " + std::string(job.chip->name) + "\n";
    text += "Program: " + (job.programFile.empty() ? std::string("none") : job.programFile) + "\n";
    const bool dataFromProgram =
        std::find(job.dataCovered.begin(), job.dataCovered.end(), 1) != job.dataCovered.end();
    text += "Data: " + (!job.dataFile.empty() ? job.dataFile : dataFromProgram ? "from the program" : "none") + "\n";
    text += "Fuses: " + (job.fuses.empty() ? std::string("not written") : HexList(job.fuses));
    text += job.lock ? ", lock " + HexList({*job.lock}) + "\n" : "\n";
    text += "Erase: " + std::string(job.erase ? "yes" : "no") + (job.keepEeprom ? ", EEPROM kept" : "") + "\n";
    if (job.serial) {
        std::string error;
        const std::optional<std::uint64_t> next = store_->PeekNext(job.name, *job.serial, error);
        text += "Serial number: " + RuleText(*job.serial) + "\n";
        text += "Next serial: " + (next ? std::to_string(*next) : error.empty() ? "none left" : error) + "\n";
    }
    text += "Records: " + store_->Location() + "\nJob hash: " + job.hash;
    summary_->setText(Q(text));
}

void ProductionPanel::ShowRecords()
{
    std::string error;
    const std::vector<ChipRecord> rows = store_->Chips(error);
    const int shown = std::min<int>(kShownRecords, static_cast<int>(rows.size()));
    records_->setRowCount(shown);
    for (int i = 0; i < shown; ++i) {
        const ChipRecord& r = rows[rows.size() - 1 - static_cast<std::size_t>(i)];
        const QStringList cells{QString::number(r.id), Q(r.port), r.serial ? QString::number(*r.serial) : QString(),
                                Q(r.result.value_or("under way")), Q(r.finished.value_or("")),
                                Q(r.reason.value_or(""))};
        for (int c = 0; c < cells.size(); ++c) records_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
}

void ProductionPanel::ShowTotals()
{
    int passed = 0, failed = 0;
    for (const Line& line : sockets_) {
        passed += line.tile->Passed();
        failed += line.tile->Failed();
    }
    const qint64 ms = busyMs_ + (lineClock_.isValid() ? lineClock_.elapsed() : 0);
    QString text = QStringLiteral("Line: %1 passed, %2 failed").arg(passed).arg(failed);
    if (passed + failed > 0 && ms > 0)
        text += QStringLiteral(", %1 chips per minute").arg((passed + failed) * 60000.0 / static_cast<double>(ms), 0, 'f', 1);
    totals_->setText(text);
}

void ProductionPanel::MatchTiles()
{
    const std::vector<QString> ticked = TickedPorts();
    std::vector<Line> kept;
    for (Line& line : sockets_) {
        const bool wanted = std::find(ticked.begin(), ticked.end(), line.socket->Port()) != ticked.end();
        if (wanted || line.socket->Busy()) {
            kept.push_back(line);
        } else {
            delete line.tile;
            delete line.socket;
        }
    }
    sockets_ = std::move(kept);
    for (int i = 0; i < ports_->count(); ++i) {
        const QListWidgetItem* item = ports_->item(i);
        const QString name = item->data(Qt::UserRole).toString();
        if (item->checkState() != Qt::Checked) continue;
        if (std::any_of(sockets_.begin(), sockets_.end(), [&](const Line& l) { return l.socket->Port() == name; }))
            continue;
        auto* socket = new ProductionSocket(name, opener_, *job_, recordsAt_, this);
        auto* tile = new SocketTile(*socket, item->data(Qt::UserRole + 1).toString());
        connect(socket, &ProductionSocket::chipEnded, this, &ProductionPanel::ChipDone);
        connect(socket, &ProductionSocket::batchEnded, this, &ProductionPanel::BatchDone);
        sockets_.push_back({socket, tile});
    }
    // In the list's order, whatever order they were ticked in.
    auto rank = [this](const Line& line) {
        for (int i = 0; i < ports_->count(); ++i)
            if (ports_->item(i)->data(Qt::UserRole).toString() == line.socket->Port()) return i;
        return ports_->count();
    };
    std::stable_sort(sockets_.begin(), sockets_.end(), [&](const Line& a, const Line& b) { return rank(a) < rank(b); });
    LayOutTiles();
}

void ProductionPanel::LayOutTiles()
{
    const int n = static_cast<int>(sockets_.size());
    const int columns = n <= 3 ? std::max(n, 1) : n == 4 ? 2 : n <= 6 ? 3 : 4;
    // Laid out afresh: the grid's items go, the tiles stay.
    while (QLayoutItem* item = tileGrid_->takeAt(0)) delete item;
    for (int i = 0; i < n; ++i) tileGrid_->addWidget(sockets_[static_cast<std::size_t>(i)].tile, i / columns, i % columns);
    for (int c = 0; c < 4; ++c) tileGrid_->setColumnStretch(c, c < columns ? 1 : 0);
    // Two rows of tiles in view without scrolling; more rows scroll.
    const int rows = (n + columns - 1) / columns;
    // The tiles keep their own height; what is left below them is the records'.
    const int gridRows = std::max(tileGrid_->rowCount(), rows + 1);
    for (int r = 0; r < gridRows; ++r) tileGrid_->setRowStretch(r, r < rows ? 0 : 1);
    const int tileHeight = n > 0 ? sockets_.front().tile->sizeHint().height() : 0;
    tileScroll_->setMinimumHeight(std::min(rows, 2) * (tileHeight + tileGrid_->spacing()));
}

void ProductionPanel::RemoveTiles()
{
    for (Line& line : sockets_) {
        delete line.tile;
        delete line.socket;  // joins its worker
    }
    sockets_.clear();
}

bool ProductionPanel::Start()
{
    if (!job_) return false;
    const bool wasBusy = Busy();
    const std::vector<QString> ticked = TickedPorts();
    if (ticked.empty()) {
        totals_->setText(QStringLiteral("Tick at least one gateway to start."));
        return false;
    }
    MatchTiles();
    bool started = false;
    for (Line& line : sockets_) {
        if (line.socket->Busy()) continue;
        if (std::find(ticked.begin(), ticked.end(), line.socket->Port()) == ticked.end()) continue;
        line.tile->Starting();
        started = line.socket->Start(chipsPerStart_->value()) || started;
    }
    if (started && !wasBusy) lineClock_.start();
    EnableControls();
    return started;
}

void ProductionPanel::Stop()
{
    for (Line& line : sockets_) line.socket->Stop();
}

bool ProductionPanel::Busy() const
{
    return std::any_of(sockets_.begin(), sockets_.end(), [](const Line& l) { return l.socket->Busy(); });
}

void ProductionPanel::ChipDone()
{
    ShowSummary();
    ShowRecords();
    ShowTotals();
    emit chipEnded();
}

void ProductionPanel::BatchDone()
{
    if (Busy()) return;
    if (lineClock_.isValid()) busyMs_ += lineClock_.elapsed();
    lineClock_.invalidate();
    ShowTotals();
    EnableControls();
    emit lineIdle();
}

void ProductionPanel::EnableControls()
{
    const bool busy = Busy();
    // The gateways and the job stay as they are while any socket works.
    ports_->setEnabled(!busy);
    newPort_->setEnabled(!busy);
    addPort_->setEnabled(!busy);
    open_->setEnabled(!busy);
    chipsPerStart_->setEnabled(!busy);
    // Start stays on while a gateway works: it starts those that are ready.
    start_->setEnabled(job_.has_value());
    stop_->setEnabled(busy);
}

void ProductionPanel::reject()
{
    // Closing while gateways work stops them cleanly; their chips are recorded as cancelled.
    if (Busy()) {
        Stop();
        return;
    }
    QDialog::reject();
}

SocketTile* ProductionPanel::Tile(int index) const
{
    return index >= 0 && index < TileCount() ? sockets_[static_cast<std::size_t>(index)].tile : nullptr;
}

QString ProductionPanel::SummaryText() const { return summary_->text(); }
QString ProductionPanel::TotalsText() const { return totals_->text(); }
int ProductionPanel::RecordRows() const { return records_->rowCount(); }

}  // namespace quillon::ui
