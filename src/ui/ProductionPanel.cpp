#include "ui/ProductionPanel.h"

#include <QFileDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

#include "chips/ChipTable.h"
#include "operations/Session.h"
#include "production/RecordStore.h"
#include "ui/CommandRunner.h"

namespace quillon::ui {

using namespace quillon::production;

namespace {

constexpr int kShownRecords = 20;

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

ProductionPanel::ProductionPanel(const QString& port, PortOpener opener, QWidget* parent)
    : QDialog(parent), session_(std::make_unique<Session>(std::move(opener)))
{
    setObjectName(QStringLiteral("ProductionPanel"));
    setWindowTitle(QStringLiteral("Production"));
    runner_ = new CommandRunner(this);
    runner_->SetCancelRequest(&session_->bus.cancel);
    runner_->Guard(this);
    connect(runner_, &CommandRunner::finished, this, [this] { start_->setEnabled(run_ != nullptr); });

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Port:")));
    port_ = new QLineEdit(port);
    port_->setObjectName(QStringLiteral("ProductionPort"));
    top->addWidget(port_);
    open_ = new QPushButton(QStringLiteral("Open Job..."));
    open_->setObjectName(QStringLiteral("OpenJob"));
    top->addWidget(open_);
    layout->addLayout(top);

    summary_ = new QLabel(QStringLiteral("No job open."));
    summary_->setObjectName(QStringLiteral("JobSummary"));
    summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary_->setWordWrap(true);
    layout->addWidget(summary_);

    start_ = new QPushButton(QStringLiteral("Start"));
    start_->setObjectName(QStringLiteral("StartChip"));
    QFont big = start_->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    start_->setFont(big);
    start_->setMinimumHeight(64);
    start_->setEnabled(false);
    layout->addWidget(start_);

    result_ = new QLabel;
    result_->setObjectName(QStringLiteral("ChipResult"));
    QFont huge = big;
    huge.setPointSize(big.pointSize() * 2);
    result_->setFont(huge);
    result_->setAlignment(Qt::AlignCenter);
    layout->addWidget(result_);
    reason_ = new QLabel;
    reason_->setObjectName(QStringLiteral("ChipReason"));
    reason_->setWordWrap(true);
    reason_->setAlignment(Qt::AlignCenter);
    layout->addWidget(reason_);
    counters_ = new QLabel(QStringLiteral("Passed 0   Failed 0"));
    counters_->setObjectName(QStringLiteral("ChipCounters"));
    layout->addWidget(counters_);

    records_ = new QTableWidget(0, 5);
    records_->setObjectName(QStringLiteral("LastRecords"));
    records_->setHorizontalHeaderLabels({QStringLiteral("Chip"), QStringLiteral("Serial"), QStringLiteral("Result"),
                                         QStringLiteral("Finished (UTC)"), QStringLiteral("Reason")});
    records_->horizontalHeader()->setStretchLastSection(true);
    records_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(records_, 1);
    resize(720, 640);

    connect(open_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Open Job"), {},
                                                          QStringLiteral("Job files (*.toml);;All files (*)"));
        if (!path.isEmpty()) OpenJob(path);
    });
    connect(start_, &QPushButton::clicked, this, [this] { Start(); });
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, [this] { Start(); });
}

ProductionPanel::~ProductionPanel()
{
    runner_->Shutdown();
    run_.reset();
}

bool ProductionPanel::OpenJob(const QString& path)
{
    if (Busy()) return false;
    run_.reset();
    store_.reset();
    job_.reset();
    start_->setEnabled(false);
    passed_ = failed_ = 0;
    records_->setRowCount(0);
    result_->clear();
    reason_->clear();
    JobCheck check = ReadJob(path.toStdString());
    if (!check.job) {
        summary_->setText(QStringLiteral("The job was refused:\n") + Q(check.error));
        return false;
    }
    job_ = std::move(*check.job);
    std::string error;
    const std::string records = job_->recordsFile.empty() ? DefaultRecordsFile(*job_) : job_->recordsFile;
    store_ = OpenRecordStore(records, error);
    if (!store_) {
        summary_->setText(Q(error));
        job_.reset();
        return false;
    }
    run_ = std::make_unique<ProductionRun>(*session_, *job_, *store_, port_->text().toStdString());
    if (std::string e = run_->Prepare(); !e.empty()) {
        summary_->setText(Q(e));
        run_.reset();
        return false;
    }
    port_->setEnabled(false);  // the run is bound to its port from here on
    ShowSummary();
    ShowRecords();
    start_->setEnabled(true);
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
        const std::optional<std::uint64_t> next = run_->NextSerial(error);
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
        const QStringList cells{QString::number(r.id), r.serial ? QString::number(*r.serial) : QString(),
                                Q(r.result.value_or("under way")), Q(r.finished.value_or("")),
                                Q(r.reason.value_or(""))};
        for (int c = 0; c < cells.size(); ++c) records_->setItem(i, c, new QTableWidgetItem(cells[c]));
    }
}

bool ProductionPanel::Start()
{
    if (!run_ || Busy()) return false;
    start_->setEnabled(false);
    result_->setText(QStringLiteral("..."));
    result_->setStyleSheet({});
    reason_->clear();
    return runner_->Run([this] { outcome_ = run_->ProgramChip(); }, [this] { ChipDone(); });
}

void ProductionPanel::ChipDone()
{
    const bool pass = outcome_.ending == ChipEnding::Passed;
    if (outcome_.ending == ChipEnding::Stopped) {
        result_->setText(QStringLiteral("STOPPED"));
    } else {
        (pass ? passed_ : failed_) += 1;
        QString line = (pass ? QStringLiteral("PASS ") : outcome_.ending == ChipEnding::Failed ? QStringLiteral("FAIL ")
                                                                                             : QStringLiteral("CANCELLED "));
        line += QStringLiteral("%1").arg(outcome_.id, 4, 10, QLatin1Char('0'));
        if (outcome_.serial) line += QStringLiteral("  serial %1").arg(*outcome_.serial);
        result_->setText(line);
    }
    result_->setStyleSheet(pass ? QStringLiteral("color: white; background: #1a7f37")
                                : QStringLiteral("color: white; background: #b42318"));
    QString why = Q(pass ? "" : outcome_.reason);
    if (!outcome_.storeError.empty()) why += (why.isEmpty() ? "" : "\n") + Q(outcome_.storeError);
    reason_->setText(why);
    counters_->setText(QStringLiteral("Passed %1   Failed %2").arg(passed_).arg(failed_));
    ShowSummary();
    ShowRecords();
    // A run that cannot go on (its records, its numbers, its files) takes no more chips.
    if (outcome_.ending == ChipEnding::Stopped || !outcome_.storeError.empty()) run_.reset();
    start_->setEnabled(run_ != nullptr && !Busy());
    emit chipEnded();
}

bool ProductionPanel::Busy() const
{
    return runner_->Busy();
}

void ProductionPanel::reject()
{
    // Closing during a chip cancels it cleanly; it is recorded as cancelled.
    if (Busy()) {
        runner_->Cancel();
        return;
    }
    QDialog::reject();
}

QString ProductionPanel::SummaryText() const { return summary_->text(); }
QString ProductionPanel::ResultText() const { return result_->text(); }
QString ProductionPanel::CountersText() const { return counters_->text(); }
int ProductionPanel::RecordRows() const { return records_->rowCount(); }

}  // namespace quillon::ui
