// What the main window remembers between runs and shows around its controls: the settings it
// restores, File > Recent files, the status bar, tooltips, and files dropped on a view.
#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>

#include "ui/CommandRunner.h"
#include "ui/HexViewWidget.h"
#include "ui/IdBox.h"
#include "ui/MainWindow.h"

#include <QActionGroup>
#include "ui/PortList.h"
#include "ui/WindowSettings.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

namespace {

QString DialogKey(FileDialogKind kind)
{
    return kind == FileDialogKind::Open ? QStringLiteral("open") : QStringLiteral("save");
}

QString Seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
}

}  // namespace

void MainWindow::UseSettings(std::unique_ptr<QSettings> settings)
{
    settings_ = std::make_unique<WindowSettings>(std::move(settings));
    // Restored before anything is connected: nothing here opens a port or runs a command.
    if (const QString port = settings_->Port(); !port.isEmpty()) {
        const QSignalBlocker blocker(portBox_);
        portBox_->setEditText(port);
    }
    if (const auto delay = settings_->Delay()) delaySlider_->setValue(*delay);
    if (const auto page = settings_->Page()) pages_->setCurrentIndex(*page);
    if (const QByteArray geometry = settings_->Geometry(); !geometry.isEmpty()) restoreGeometry(geometry);
    if (const auto skip = settings_->SkipBlankPages()) skipBlankPages_->setChecked(*skip);
    if (const auto verify = settings_->VerifyAfterWrite()) verifyAfterWrite_->setChecked(*verify);
    if (const auto n = settings_->AnswersInFlight())
        for (QAction* choice : answersInFlight_->actions())
            if (choice->data().toInt() == *n) choice->setChecked(true);
    connect(skipBlankPages_, &QAction::toggled, this, [this](bool on) { settings_->SetSkipBlankPages(on); });
    connect(verifyAfterWrite_, &QAction::toggled, this, [this](bool on) { settings_->SetVerifyAfterWrite(on); });
    connect(answersInFlight_, &QActionGroup::triggered, this,
            [this](QAction* choice) { settings_->SetAnswersInFlight(choice->data().toInt()); });
    connect(delaySlider_, &QSlider::valueChanged, this, [this](int value) { settings_->SetDelay(value); });
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) { settings_->SetPage(index); });
    ShowRecentFiles();
    ShowStatus();
}

void MainWindow::BuildRecentMenu(QMenu* file)
{
    QAction* saveLog = findChild<QAction*>(QString::fromLatin1(names::kSaveLog));
    recentMenu_ = new QMenu(QStringLiteral("Recent files"), file);
    recentMenu_->setObjectName(QString::fromLatin1(names::kRecentFiles));
    recentMenu_->setToolTipsVisible(true);
    file->insertMenu(saveLog, recentMenu_);
    file->insertSeparator(saveLog);
    ShowRecentFiles();

    // A file dropped on a view loads into that view's memory, as the File menu's load does.
    for (int i = 0; i < 4; ++i) {
        HexViewWidget* view = View(i);
        connect(view, &HexViewWidget::fileDropped, this, [this, i](const QString& path) {
            if (runner_->Busy()) return;
            pages_->setCurrentIndex(i % 2);
            LoadChosenFile(i < 2 ? MemoryKind::Program : MemoryKind::Data, {path, FilterAny});
        });
    }
}

void MainWindow::ShowRecentFiles()
{
    if (recentMenu_ == nullptr) return;
    recentMenu_->clear();
    const std::vector<RecentFile> files = settings_ ? settings_->Recent() : std::vector<RecentFile>{};
    recentMenu_->setEnabled(!files.empty());
    int number = 1;
    for (const RecentFile& file : files) {
        const bool program = file.memory == MemoryKind::Program;
        QAction* item = recentMenu_->addAction(QStringLiteral("&%1 %2 (%3)")
                                                   .arg(number++)
                                                   .arg(QFileInfo(file.path).fileName(),
                                                        program ? QStringLiteral("program") : QStringLiteral("data")));
        item->setToolTip(file.path);
        item->setStatusTip(QStringLiteral("Load %1 into the %2 view of the active page")
                               .arg(file.path, program ? QStringLiteral("flash") : QStringLiteral("EEPROM")));
        connect(item, &QAction::triggered, this, [this, file] { LoadChosenFile(file.memory, {file.path, FilterAny}); });
    }
}

void MainWindow::RememberFolder(FileDialogKind kind, const QString& file)
{
    if (settings_) settings_->SetFolder(DialogKey(kind), QFileInfo(file).absolutePath());
}

QString MainWindow::RememberedFolder(FileDialogKind kind) const
{
    return settings_ ? settings_->Folder(DialogKey(kind)) : QString();
}

void MainWindow::RememberLoaded(MemoryKind memory, const QString& file)
{
    if (!settings_) return;
    settings_->AddRecent({QFileInfo(file).absoluteFilePath(), memory});
    ShowRecentFiles();
}

void MainWindow::BuildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName(QString::fromLatin1(names::kStatusBar));
    statusPort_ = new QLabel(bar);
    statusPort_->setObjectName(QString::fromLatin1(names::kStatusPort));
    statusPort_->setToolTip(QStringLiteral("The gateway's port and whether it is open"));
    statusChip_ = new QLabel(bar);
    statusChip_->setObjectName(QString::fromLatin1(names::kStatusChip));
    statusChip_->setToolTip(QStringLiteral("The selected chip: from Autosearch or the Chip Select menu"));
    statusResult_ = new QLabel(bar);
    statusResult_->setObjectName(QString::fromLatin1(names::kStatusResult));
    statusResult_->setToolTip(QStringLiteral("How the last command ended and how long it took; the log has the details"));
    statusDifference_ = new QLabel(bar);
    statusDifference_->setObjectName(QStringLiteral("StatusDifference"));
    statusDifference_->setToolTip(QStringLiteral("Where the last verify found the chip differing from the view: what each holds"));
    bar->addWidget(statusPort_);
    bar->addWidget(statusChip_);
    bar->addWidget(statusResult_, 1);
    bar->addWidget(statusDifference_);

    // Every button and menu command names itself for the status bar as it starts.
    auto name = [this](const QString& caption) {
        return [this, caption] {
            if (runner_->Busy()) lastCommand_ = QString(caption).replace(QStringLiteral("&&"), QStringLiteral("&"));
        };
    };
    for (QPushButton* button : findChildren<QPushButton*>())
        connect(button, &QPushButton::clicked, this, name(button->text()));
    for (QAction* action : menuBar()->findChildren<QAction*>())
        if (!action->isSeparator() && action->menu() == nullptr)
            connect(action, &QAction::triggered, this, name(action->text()));
    connect(runner_, &CommandRunner::started, this, [this] {
        lastResult_.reset();
        lastCommand_.clear();
        commandStarted_ = QDateTime::currentMSecsSinceEpoch();
        statusResult_->setText(QStringLiteral("Working..."));
        statusDifference_->clear();
    });
    connect(runner_, &CommandRunner::finished, this, [this] {
        const QString took = Seconds(QDateTime::currentMSecsSinceEpoch() - commandStarted_);
        const QString command = lastCommand_.isEmpty() ? QStringLiteral("Command") : lastCommand_;
        if (lastResult_ && lastResult_->failure.difference)
            statusDifference_->setText(QString::fromStdString(DifferenceText(*lastResult_->failure.difference)));
        if (!lastResult_) {
            statusResult_->setText(QStringLiteral("%1 ended in %2").arg(command, took));
        } else if (lastResult_->Succeeded()) {
            statusResult_->setText(QStringLiteral("%1 succeeded in %2").arg(command, took));
        } else if (lastResult_->ending == Ending::Refused && !lastResult_->WasCancelled()) {
            // Nothing ran, so there is no time to give; what stopped it was the user's answer.
            statusResult_->setText(QStringLiteral("%1 was not run: you answered No").arg(command));
        } else if (lastResult_->failure == FailureKind::WrongChip) {
            // The chip in the socket is not the selected one and nothing was changed on it: the
            // command did not fail, it was not run, and the status says which chip is there.
            statusResult_->setText(QStringLiteral("%1 was not run: %2")
                                       .arg(command, QString::fromStdString(lastResult_->Words()).section(QLatin1Char('\n'), 0, 0).trimmed()));
        } else {
            QString words = QString::fromStdString(lastResult_->Words()).section(QLatin1Char('\n'), 0, 0).trimmed();
            if (words.endsWith(QLatin1Char(':'))) words.chop(1);
            const QString how = lastResult_->WasCancelled()                  ? QStringLiteral("was cancelled")
                                : lastResult_->ending == Ending::Refused         ? QStringLiteral("was not run")
                                : lastResult_->failure == FailureKind::Differs ? QStringLiteral("found differences")
                                                                                 : QStringLiteral("failed");
            statusResult_->setText(QStringLiteral("%1 %2 after %3%4").arg(command, how, took,
                                                                          words.isEmpty() ? QString() : ": " + words));
        }
        ShowStatus();
    });
    connect(chipNameBox_, &QLineEdit::textChanged, this, [this] { ShowStatus(); });

    // What each control does, where the caption alone does not say it.
    const std::pair<const char*, const char*> tips[] = {
        {names::kConnect, "Open the port named below and greet the gateway"},
        {names::kDisconnect, "Close the port"},
        {names::kPortBox, "The gateway's serial port; the list is read afresh each time it opens; sim: entries are simulated gateways"},
        {names::kAutosearch, "Find the chip in the socket by its signature"},
        {names::kChipName, "The selected chip"},
        {names::kIdBox, "The chip's signature bytes; type them to select a chip by hand"},
        {names::kDelay, "Extra wait in milliseconds at every programming step, for long cables or slow chips"},
        {names::kReadProgram, "Read the whole flash into the active page's flash view (F5)"},
        {names::kWriteProgram, "Erase the chip and write the active page's flash view into it (asks first)"},
        {names::kVerifyProgram, "Compare the flash with the active page's flash view; stops at the first difference (F7)"},
        {names::kReadCalibration, "Read the oscillator calibration bytes into the log"},
        {names::kReadData, "Read the whole EEPROM into the active page's EEPROM view (Shift+F5)"},
        {names::kWriteData, "Write the active page's EEPROM view into the chip (asks first)"},
        {names::kVerifyData, "Compare the EEPROM with the active page's EEPROM view (Shift+F7)"},
        {names::kChipErase, "Erase flash, EEPROM and lock bits (asks first)"},
        {names::kFlashPage1, "Page1's flash: type hex digits or characters over the bytes; drop a .hex or .bin file here to load it"},
        {names::kFlashPage2, "Page2's flash: type hex digits or characters over the bytes; drop a .hex or .bin file here to load it"},
        {names::kEepromPage1, "Page1's EEPROM: type over the bytes; drop a .eep, .hex or .bin file here to load it"},
        {names::kEepromPage2, "Page2's EEPROM: type over the bytes; drop a .eep, .hex or .bin file here to load it"},
        {names::kLogPane, "What every command did, line by line"},
        {names::kPages, "Two independent working copies: commands use the page shown"},
    };
    for (const auto& [object, tip] : tips)
        if (auto* widget = findChild<QWidget*>(QString::fromLatin1(object))) widget->setToolTip(QString::fromLatin1(tip));
    for (QMenu* menu : menuBar()->findChildren<QMenu*>()) menu->setToolTipsVisible(true);
    ShowStatus();
}

void MainWindow::ShowStatus()
{
    if (statusPort_ == nullptr) return;
    const QString port = portBox_->PortName();
    if (!connected_) statusPort_->setText(QStringLiteral("Not connected"));
    else if (!session_->bus.link.IsOpen()) statusPort_->setText(QStringLiteral("%1: closed by an error").arg(port));
    else statusPort_->setText(QStringLiteral("%1: connected").arg(port));
    statusChip_->setText(QStringLiteral("Chip: %1").arg(chipNameBox_->text()));
    if (settings_ && connected_ && session_->bus.link.IsOpen()) settings_->SetPort(portBox_->currentText());
}

}  // namespace quillon::ui
