#include "ui/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <string_view>
#include <utility>

#include "chips/Catalogue.h"
#include "chips/ChipMenu.h"
#include "chips/MemoryWalk.h"
#include "operations/ChipSelection.h"
#include "operations/Connection.h"
#include "operations/MemoryCommands.h"
#include "ui/AboutBox.h"
#include "ui/CommandRunner.h"
#include "ui/HexViewWidget.h"
#include "ui/IdBox.h"
#include "ui/ImageForm.h"
#include "ui/WiringWindow.h"
#include "ui/LockFusesForm.h"
#include "ui/LogPane.h"
#include "ui/PortList.h"
#include "ui/PortOpener.h"
#include "ui/ProductionPanel.h"
#include "ui/ProgressForm.h"
#include "ui/WindowSettings.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

namespace {

constexpr unsigned kBoxesDirty = 1u << 4;

QPushButton* MakeButton(QWidget* parent, const char* name, const char* caption)
{
    auto* button = new QPushButton(QString::fromLatin1(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const char* caption)
{
    return new QLabel(QString::fromLatin1(caption), parent);
}

QString Latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// One of the eight operation buttons: what it takes from the active page's view before it runs,
// the operation, and what the views show once it succeeded.
struct ButtonCommand {
    enum class Before {
        Nothing,
        TakeView,         // the view's bytes into the image, then run (verify)
        Ask,              // the command asks before it changes the chip (erase)
        AskThenTakeView,  // as Ask, the view's bytes into the image at the first Yes (write)
    };
    enum class After { Nothing, ShowRead, MarkWritten };
    const char* name;  // the button's object name
    const char* caption;
    MemoryKind memory;
    Before before;
    After after;
    Result (*run)(Session& session, const Confirm& confirm);
};

namespace {

using Before = ButtonCommand::Before;
using After = ButtonCommand::After;
constexpr MemoryKind kProgram = MemoryKind::Program;
constexpr MemoryKind kData = MemoryKind::Data;

// In the order of operationButtons_. Read Calibration and Chip Erase concern no view.
constexpr std::array<ButtonCommand, 8> kButtonCommands = {{
    {names::kReadProgram, "Read Program", kProgram, Before::Nothing, After::ShowRead,
     [](Session& session, const Confirm&) { return ReadProgram(session); }},
    {names::kWriteProgram, "Write Program", kProgram, Before::AskThenTakeView, After::MarkWritten,
     [](Session& session, const Confirm& confirm) { return WriteProgram(session, confirm); }},
    {names::kVerifyProgram, "Verify Program", kProgram, Before::TakeView, After::Nothing,
     [](Session& session, const Confirm&) { return VerifyProgram(session); }},
    {names::kReadCalibration, "Read Calibration", kProgram, Before::Nothing, After::Nothing,
     [](Session& session, const Confirm&) { return ReadCalibration(session); }},
    {names::kReadData, "Read Data", kData, Before::Nothing, After::ShowRead,
     [](Session& session, const Confirm&) { return ReadData(session); }},
    {names::kWriteData, "Write Data", kData, Before::AskThenTakeView, After::MarkWritten,
     [](Session& session, const Confirm& confirm) { return WriteData(session, confirm); }},
    {names::kVerifyData, "Verify Data", kData, Before::TakeView, After::Nothing,
     [](Session& session, const Confirm&) { return VerifyData(session); }},
    {names::kChipErase, "Chip Erase", kProgram, Before::Ask, After::Nothing,
     [](Session& session, const Confirm& confirm) { return ChipErase(session, confirm); }},
}};

}  // namespace

MainWindow::MainWindow(std::unique_ptr<Session> session, QWidget* parent)
    : QMainWindow(parent), session_(std::move(session))
{
    setObjectName(QString::fromLatin1(names::kMainWindow));
    setWindowTitle(QStringLiteral("Quillon"));

    runner_ = new CommandRunner(this);
    runner_->Guard(this);
    runner_->SetCancelRequest(&session_->bus.cancel);
    progress_ = new UiProgress(this);
    progress_->SetCancelAction([this] { runner_->Cancel(); });
    session_->progress = progress_;
    // Only mark: the widgets catch up once the command or handler that changed them has ended,
    // so a view rebuilt twice on the way is laid out once.
    views_.changed = [this](int view) { dirty_ |= view >= 0 && view < 4 ? 1u << view : kBoxesDirty; };

    auto* central = new QWidget(this);
    central->setObjectName(QString::fromLatin1(names::kCentral));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    setCentralWidget(central);
    BuildPanel();
    BuildPages();
    auto* panel3 = new QFrame(central);
    panel3->setObjectName(QString::fromLatin1(names::kLogPanel));
    auto* logLayout = new QVBoxLayout(panel3);
    logLayout->setContentsMargins(0, 0, 0, 0);
    logLayout->addWidget(MakeLabel(panel3, "Log:"));
    logPane_ = new LogPane(panel3);
    logPane_->setMinimumHeight(120);
    logLayout->addWidget(logPane_);
    layout->addWidget(findChild<QFrame*>(QString::fromLatin1(names::kConnectionPanel)));
    layout->addWidget(pages_, 1);
    layout->addWidget(panel3);
    BuildMenus();
    BuildStatusBar();

    logPane_->Attach(session_->bus.log);
    connect(runner_, &CommandRunner::finished, this, &MainWindow::SyncFromCore);
    connect(runner_, &CommandRunner::finished, this, &MainWindow::ShowPortState);
    connect(runner_, &CommandRunner::finished, this, [this] {
        // Closed from the next turn of the loop, once the command's own ending has run.
        if (closeAfterCommand_) QMetaObject::invokeMethod(this, [this] { EndWithoutAsking(); }, Qt::QueuedConnection);
    });
    // A session that ends (logout, shutdown) while a command runs: ask as a close would, or
    // simply cancel when the session manager allows no question.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!runner_->Busy() || closeAfterCommand_) return;
        if (manager.allowsInteraction()) {
            const bool yes = AskCancelToClose();
            manager.release();
            if (!yes) {
                manager.cancel();
                return;
            }
        }
        EndWithoutAsking();
    });

    session_->bus.link.ClosePort();
    session_->chip.signature = 0;
    CopyOptions();
    SetConnected(false);

    about_ = new AboutBox(this);
    adjustSize();
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

MainWindow::~MainWindow()
{
    // The worker uses the session: it stops and is joined before anything it uses goes away.
    runner_->Shutdown();
    if (settings_) settings_->SetGeometry(saveGeometry());
    logPane_->Detach();
    session_->progress = nullptr;
    views_.changed = {};
}

QStringList MainWindow::PortNames() { return PortList(); }

void MainWindow::BuildPanel()
{
    auto* panel1 = new QFrame(centralWidget());
    panel1->setObjectName(QString::fromLatin1(names::kConnectionPanel));
    panel1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    auto* grid = new QGridLayout(panel1);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    connectButton_ = MakeButton(panel1, names::kConnect, "Connect");
    disconnectButton_ = MakeButton(panel1, names::kDisconnect, "Disconnect");
    portBox_ = new PortBox(panel1);
    portBox_->setObjectName(QString::fromLatin1(names::kPortBox));
    portBox_->Refresh();
    portBox_->setEditText(InitialPort(SystemSerialPorts(), {}));
    portBox_->setMinimumContentsLength(12);
    grid->addWidget(connectButton_, 0, 0);
    grid->addWidget(disconnectButton_, 1, 0);
    grid->addWidget(portBox_, 2, 0);

    autosearchButton_ = MakeButton(panel1, names::kAutosearch, "Autosearch chip");
    autosearchButton_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    grid->addWidget(autosearchButton_, 0, 1, 2, 1);

    auto* identity = new QVBoxLayout;
    identity->setSpacing(1);
    identity->addWidget(MakeLabel(panel1, "Chip name:"));
    chipNameBox_ = new QLineEdit(QStringLiteral("None"), panel1);
    chipNameBox_->setObjectName(QString::fromLatin1(names::kChipName));
    chipNameBox_->setReadOnly(true);
    identity->addWidget(chipNameBox_);
    identity->addWidget(MakeLabel(panel1, "ID bytes:"));
    idBox_ = new IdBox(panel1);
    identity->addWidget(idBox_);
    grid->addLayout(identity, 0, 2, 3, 1);

    auto* delays = new QVBoxLayout;
    delays->addWidget(MakeLabel(panel1, "Delays value:"));
    delaySlider_ = new QSlider(Qt::Horizontal, panel1);
    delaySlider_->setObjectName(QString::fromLatin1(names::kDelay));
    delaySlider_->setRange(0, 5);
    delaySlider_->setSingleStep(1);
    delaySlider_->setPageStep(1);
    delaySlider_->setTickInterval(1);
    delaySlider_->setTickPosition(QSlider::TicksBelow);
    delaySlider_->setValue(1);
    delaySlider_->setMinimumWidth(90);
    delays->addWidget(delaySlider_);
    // The slider's value in words: an extra wait at every programming step.
    auto* delayValue = new QLabel(panel1);
    delayValue->setObjectName(QString::fromLatin1(names::kDelayValue));
    auto showDelay = [delayValue](int ms) { delayValue->setText(QStringLiteral("%1 ms a step").arg(ms)); };
    showDelay(delaySlider_->value());
    connect(delaySlider_, &QSlider::valueChanged, delayValue, showDelay);
    delays->addWidget(delayValue);
    delays->addStretch();
    grid->addLayout(delays, 0, 3, 3, 1);

    for (std::size_t i = 0; i < kButtonCommands.size(); ++i)
        operationButtons_[i] = MakeButton(panel1, kButtonCommands[i].name, kButtonCommands[i].caption);
    grid->addWidget(operationButtons_[0], 0, 4);
    grid->addWidget(operationButtons_[1], 0, 5);
    grid->addWidget(operationButtons_[2], 0, 6);
    grid->addWidget(operationButtons_[4], 1, 4);
    grid->addWidget(operationButtons_[5], 1, 5);
    grid->addWidget(operationButtons_[6], 1, 6);
    grid->addWidget(operationButtons_[3], 2, 4, 1, 3);
    operationButtons_[7]->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    grid->addWidget(operationButtons_[7], 0, 7, 2, 1);

    connect(connectButton_, &QPushButton::clicked, this, &MainWindow::OnConnect);
    connect(disconnectButton_, &QPushButton::clicked, this, &MainWindow::OnDisconnect);
    connect(portBox_, &QComboBox::editTextChanged, this, &MainWindow::OnPortChanged);
    connect(autosearchButton_, &QPushButton::clicked, this, &MainWindow::OnAutosearch);
    connect(delaySlider_, &QSlider::valueChanged, this, &MainWindow::OptionChanged);

    for (std::size_t i = 0; i < kButtonCommands.size(); ++i)
        connect(operationButtons_[i], &QPushButton::clicked, this, [this, i] { RunButtonCommand(kButtonCommands[i]); });
}

void MainWindow::BuildPages()
{
    pages_ = new QTabWidget(centralWidget());
    pages_->setObjectName(QString::fromLatin1(names::kPages));
    for (int page = 0; page < 2; ++page) {
        auto* sheet = new QWidget(pages_);
        sheet->setObjectName(QString::fromLatin1(names::PageName(page)));
        auto* column = new QVBoxLayout(sheet);
        column->setContentsMargins(4, 4, 4, 4);
        column->setSpacing(2);
        const int flash = ViewIndex(page, MemoryKind::Program);
        const int eeprom = ViewIndex(page, MemoryKind::Data);
        column->addWidget(MakeLabel(sheet, "Program Memory (Flash):"));
        auto* flashView = new HexViewWidget(views_.view[flash].document, sheet);
        flashView->setObjectName(QString::fromLatin1(names::HexViewName(page, MemoryKind::Program)));
        flashView->setMinimumHeight(13 * 16 + 6);
        column->addWidget(flashView, 3);
        column->addWidget(MakeLabel(sheet, "Data Memory (EEPROM):"));
        auto* eepromView = new HexViewWidget(views_.view[eeprom].document, sheet);
        eepromView->setObjectName(QString::fromLatin1(names::HexViewName(page, MemoryKind::Data)));
        eepromView->setMinimumHeight(13 * 6 + 6);
        column->addWidget(eepromView, 1);
        flashViews_[static_cast<std::size_t>(page)] = flashView;
        connect(flashView, &HexViewWidget::edited, this, [this, flash] { edited_ |= 1u << flash; });
        connect(eepromView, &HexViewWidget::edited, this, [this, eeprom] { edited_ |= 1u << eeprom; });
        eepromViews_[static_cast<std::size_t>(page)] = eepromView;
        pages_->addTab(sheet, page == 0 ? QStringLiteral("Page1") : QStringLiteral("Page2"));
    }
    connect(pages_, &QTabWidget::currentChanged, this, [this](int index) { views_.activePage = index; });
}

void MainWindow::BuildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QString::fromLatin1(names::kMenuBar));
    auto addItem = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
        QAction* action = menu->addAction(QString::fromLatin1(caption));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    QMenu* file = bar->addMenu(QStringLiteral("File"));
    file->setObjectName(QString::fromLatin1(names::kFileMenu));
    addItem(file, names::kLoadProgram, "Load Program from File...", [this] { LoadFile(MemoryKind::Program); });
    // For those who combine files: the file's bytes go over what the view shows, the rest stays.
    addItem(file, names::kLoadProgramOver, "Load Program into the View over What It Holds...",
            [this] { LoadFile(MemoryKind::Program, LoadInto::Over); });
    addItem(file, names::kSaveProgram, "Save Program to File...", [this] { SaveFile(MemoryKind::Program); });
    file->addSeparator();
    addItem(file, names::kLoadData, "Load Data from File...", [this] { LoadFile(MemoryKind::Data); });
    addItem(file, names::kLoadDataOver, "Load Data into the View over What It Holds...",
            [this] { LoadFile(MemoryKind::Data, LoadInto::Over); });
    addItem(file, names::kSaveData, "Save Data to File...", [this] { SaveFile(MemoryKind::Data); });
    file->addSeparator();
    addItem(file, names::kSaveLog, "Save Log as...", [this] { OnSaveLog(); });
    addItem(file, names::kProduction, "Production...", [this] {
        if (Runner().Busy()) return;
        // The panel works the gateway through a session of its own: the window lets go of the port.
        if (CurrentSession().bus.link.IsOpen()) {
            Disconnect(CurrentSession());
            ShowPortState();
        }
        ProductionPanel panel(portBox_->currentText(), WindowPortOpener(), this);
        panel.exec();
    });
    addItem(file, names::kExit, "Exit", [this] { OnExit(); });

    QMenu* edit = bar->addMenu(QStringLiteral("Edit"));
    edit->setObjectName(QString::fromLatin1(names::kEditMenu));
    lockFusesItem_ = addItem(edit, names::kLockFuses, "Lock && Fuses...", [this] { OnLockFuses(); });
    connectedActions_.push_back(addItem(edit, names::kRescueChip, "Rescue chip...", [this] { OnRescueChip(); }));
    edit->addSeparator();
    // Both on by default, as on the command line: a write sends only the pages that hold data and
    // is checked against the chip afterwards. Both off, Write Program and Write Data send the full
    // pass, unchecked, whose trace stations qualified (kept: docs/compatibility.md).
    skipBlankPages_ = edit->addAction(QStringLiteral("Skip blank pages when writing"));
    skipBlankPages_->setObjectName(QString::fromLatin1(names::kSkipBlankPages));
    skipBlankPages_->setCheckable(true);
    skipBlankPages_->setChecked(true);
    verifyAfterWrite_ = edit->addAction(QStringLiteral("Verify after writing"));
    verifyAfterWrite_->setObjectName(QString::fromLatin1(names::kVerifyAfterWrite));
    verifyAfterWrite_->setCheckable(true);
    verifyAfterWrite_->setChecked(true);
    // Automatic by default: reads go ahead of their answers as far as hides a USB adapter's
    // latency, never faster than the gateway's input is sure to hold them; 1 is one read at a
    // time, the exchange every gateway has been driven with.
    QMenu* inFlight = edit->addMenu(QStringLiteral("Answers in flight"));
    inFlight->setObjectName(QString::fromLatin1(names::kAnswersInFlightMenu));
    inFlight->menuAction()->setObjectName(QString::fromLatin1(names::kAnswersInFlightMenu));
    answersInFlight_ = new QActionGroup(this);
    for (const auto& [n, name] : names::kAnswersInFlight) {
        QAction* choice = inFlight->addAction(n == kAutoAnswersInFlight ? QStringLiteral("Automatic")
                                              : n == 1                  ? QStringLiteral("1 (one read at a time)")
                                                                        : QString::number(n));
        choice->setObjectName(QString::fromLatin1(name));
        choice->setData(n);
        choice->setCheckable(true);
        choice->setChecked(n == kAutoAnswersInFlight);
        answersInFlight_->addAction(choice);
    }
    inFlight->addSeparator();
    // Off, and not remembered: past the bound a byte the gateway loses turns the bytes after it
    // into other commands, and a read can end in success with wrong bytes.
    unboundedInFlight_ = inFlight->addAction(QStringLiteral("Past the gateway's input (risky)"));
    unboundedInFlight_->setObjectName(QString::fromLatin1(names::kUnboundedInFlight));
    unboundedInFlight_->setCheckable(true);
    unboundedInFlight_->setStatusTip(QStringLiteral(
        "Sends reads faster than the gateway's 32-byte input is known to hold: a byte it loses makes it read the "
        "following bytes as other commands, and a read can end in success with wrong bytes"));
    // On by default: a write into the wrong chip (or an empty socket) is the costly mistake, and
    // so is a fuse write a locked chip ignored. Off, every command sends exactly its own bytes.
    auto addOption = [edit](const char* name, const char* caption) {
        QAction* option = edit->addAction(QString::fromLatin1(caption));
        option->setObjectName(QString::fromLatin1(name));
        option->setCheckable(true);
        option->setChecked(true);
        return option;
    };
    checkChip_ = addOption(names::kCheckChip, "Check the chip's signature before writing");
    // Both on by default, for the same reason; off, the commands send the qualified trace.
    checkAnswers_ = addOption(names::kCheckAnswers, "Check that the gateway answers during writes");
    powerDown_ = addOption(names::kPowerDown, "Switch the socket off after every command");
    for (QAction* option : {skipBlankPages_, verifyAfterWrite_, unboundedInFlight_, checkChip_, checkAnswers_, powerDown_})
        connect(option, &QAction::toggled, this, &MainWindow::OptionChanged);
    connect(answersInFlight_, &QActionGroup::triggered, this, &MainWindow::OptionChanged);

    QMenu* chips = bar->addMenu(QStringLiteral("Chip Select"));
    chips->setObjectName(QString::fromLatin1(names::kChipMenu));
    BuildChipMenu(chips);

    QMenu* help = bar->addMenu(QStringLiteral("Help"));
    help->setObjectName(QString::fromLatin1(names::kHelpMenu));
    addItem(help, names::kAbout, "About Program", [this] {
        about_->show();
        about_->raise();
        about_->activateWindow();
    });
    help->addSeparator();
    addItem(help, names::kHowToConnect, "How to connect...", [this] { OnHowToConnect(); });
    BuildEditTools(edit);
    BuildRecentMenu(file);
    AddShortcuts();
}

void MainWindow::BuildChipMenu(QMenu* menu)
{
    for (const ChipMenuGroup& group : ChipMenu()) {
        QMenu* sub = menu->addMenu(Latin1(group.caption));
        for (const ChipMenuItem& entry : group.items) {
            QAction* item = sub->addAction(Latin1(entry.caption));
            item->setObjectName(Latin1(entry.caption));
            item->setEnabled(entry.enabled);
            if (entry.serial)
                item->setToolTip(QStringLiteral("Programmed through the gateway's serial socket: put the chip there"));
            if (!entry.chip) continue;
            const std::int32_t signature = entry.chip->signature;
            connect(item, &QAction::triggered, this,
                    [this, signature] {
                        if (runner_->Busy() || !AskToDropEdits(0xFu, QStringLiteral("Select another chip"))) return;
                        auto selected = std::make_shared<bool>(false);
                        RunCommand(
                            [signature, selected](Session& session) {
                                *selected = SelectChip(session, signature);
                                return Result::Ok();
                            },
                            [this, selected](const Result&) {
                                if (!*selected) return;
                                RefreshViewsForChip(views_, session_->chip);
                                edited_ = 0;
                            });
                    });
        }
    }
}

QString MainWindow::PortLostTitle()
{
    return QStringLiteral("Quillon - the port was closed by an error: press Disconnect, then Connect");
}

void MainWindow::ShowPortState()
{
    const bool lost = connected_ && !session_->bus.link.IsOpen();
    setWindowTitle(lost ? PortLostTitle() : QStringLiteral("Quillon"));
    ShowStatus();
}

void MainWindow::SetConnected(bool connected)
{
    connected_ = connected;
    setWindowTitle(QStringLiteral("Quillon"));
    connectButton_->setEnabled(!connected);
    disconnectButton_->setEnabled(connected);
    autosearchButton_->setEnabled(connected);
    for (QPushButton* button : operationButtons_) button->setEnabled(connected);
    lockFusesItem_->setEnabled(connected);
    for (QAction* action : connectedActions_) action->setEnabled(connected);
    ShowStatus();
}

void MainWindow::CopyOptions()
{
    Session& session = *session_;
    session.bus.delay = delaySlider_->value();
    session.skipBlankPages = skipBlankPages_->isChecked();
    session.verifyAfterWrite = verifyAfterWrite_->isChecked();
    session.answersInFlight = answersInFlight_->checkedAction()->data().toInt();
    session.unboundedInFlight = unboundedInFlight_->isChecked();
    // One choice for the three checks that read the chip back: its signature before a change, the
    // serial search, the fuses after a write.
    session.checkChipInSocket = session.serialAutosearch = session.readBackFuses = checkChip_->isChecked();
    session.bus.confirmAnswers = checkAnswers_->isChecked();
    session.powerDownAfterCommand = powerDown_->isChecked();
    session.bus.link.SetPowerDownOnFailure(powerDown_->isChecked());
}

void MainWindow::OptionChanged()
{
    // While a command runs the session is the worker's: the next command takes the choice.
    if (!runner_->Busy()) CopyOptions();
}

bool MainWindow::RunCommand(CommandRunner::Work work, CommandRunner::Done done)
{
    if (runner_->Busy()) return false;
    // Handed over before the worker starts; it holds the session until the command ends.
    CopyOptions();
    return runner_->Run(*session_, std::move(work), std::move(done));
}

void MainWindow::RunOperation(const QString& command, CommandRunner::Work work, CommandRunner::Done done)
{
    RunCommand(std::move(work), [this, command, done = std::move(done)](const Result& result) {
        RememberResult(command, result);
        if (done) done(result);
    });
}

void MainWindow::RememberResult(const QString& command, const Result& result)
{
    // Shown in the status bar when the command's run ends, with how long it took.
    lastCommand_ = command;
    lastResult_ = result;
}

HexViewWidget* MainWindow::View(int index) const
{
    const auto page = static_cast<std::size_t>(index % 2);
    return index < 2 ? flashViews_[page] : eepromViews_[page];
}

void MainWindow::SyncFromCore()
{
    const unsigned dirty = std::exchange(dirty_, 0u);
    for (int i = 0; i < 4; ++i)
        if (dirty & (1u << i)) View(i)->Reload(views_.view[static_cast<std::size_t>(i)].caret);
    if (dirty & kBoxesDirty) {
        chipNameBox_->setText(QString::fromStdString(views_.chipNameBox));
        idBox_->setText(QString::fromStdString(views_.idBox));
    }
}

Confirm MainWindow::ConfirmOnGuiThread(std::function<void()> onFirstYes)
{
    // The worker calls this; it reaches the window only through the runner, which asks on this
    // thread while the worker waits. `pending` is shared by the copies of the Confirm and read
    // and cleared on this thread only.
    auto pending = std::make_shared<std::function<void()>>(std::move(onFirstYes));
    auto ask = [this, pending](const Question& q) {
        const bool yes = AskYesNo(QString::fromLatin1(q.caption.data(), static_cast<qsizetype>(q.caption.size())),
                                  QString::fromLatin1(q.text.data(), static_cast<qsizetype>(q.text.size())));
        if (yes && *pending) std::exchange(*pending, {})();
        return yes;
    };
    return [runner = runner_, ask](const Question& q) { return runner->AskOnGuiThread([ask, q] { return ask(q); }); };
}

Confirm MainWindow::ConfirmWriting(MemoryKind memory)
{
    return ConfirmOnGuiThread([this, memory] { StoreActiveView(views_, session_->chip, memory); });
}

bool MainWindow::AskYesNo(const QString& caption, const QString& text)
{
    return runner_->AskOnGuiThread([this, caption, text] {
        QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QString::fromLatin1(names::kConfirmation));
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    });
}

void MainWindow::OnConnect()
{
    const std::string name = portBox_->PortName().toStdString();
    RunOperation(QStringLiteral("Connect"), [name](Session& session) { return Connect(session, name); },
                 [this](const Result& result) {
                     if (result) SetConnected(true);
                 });
}

void MainWindow::OnDisconnect()
{
    Disconnect(*session_);
    SetConnected(false);
}

void MainWindow::OnPortChanged()
{
    if (runner_->Busy()) return;
    if (PortChanged(*session_)) SetConnected(false);
}

void MainWindow::OnAutosearch()
{
    if (runner_->Busy() || !AskToDropEdits(0xFu, QStringLiteral("Search for the chip"))) return;
    RunOperation(QStringLiteral("Autosearch"), [](Session& session) { return Autosearch(session); },
                 [this](const Result& result) {
                     if (!result) return;
                     RefreshViewsForChip(views_, session_->chip);
                     edited_ = 0;
                 });
}

void MainWindow::RunButtonCommand(const ButtonCommand& command)
{
    // The image is the worker's while a command runs, so a view is taken into it only when none does.
    if (runner_->Busy()) return;
    const MemoryKind memory = command.memory;
    Confirm confirm;
    switch (command.before) {
    case Before::Nothing:
        break;
    case Before::TakeView:
        // The chip is compared with what the active page shows, edits included.
        StoreActiveView(views_, session_->chip, memory);
        break;
    case Before::Ask:
        confirm = ConfirmOnGuiThread();
        break;
    case Before::AskThenTakeView:
        confirm = ConfirmWriting(memory);
        break;
    }
    RunOperation(QString::fromLatin1(command.caption),
                 [run = command.run, confirm](Session& session) { return run(session, confirm); },
                 [this, memory, after = command.after](const Result& result) {
                     if (!result) return;
                     if (after == After::ShowRead) {
                         FillActiveView(views_, session_->chip, memory);
                         edited_ &= ~(1u << quillon::ActiveView(views_, memory));
                     } else if (after == After::MarkWritten) {
                         MarkWritten(memory);
                     }
                 });
}

void MainWindow::OnExit()
{
    // Closing disconnects; a close the user takes back leaves the port as it is.
    close();
}

bool MainWindow::AskToDropEdits(unsigned views, const QString& action)
{
    views &= edited_;
    if (views == 0) return true;
    QStringList names;
    for (int i = 0; i < 4; ++i)
        if (views & (1u << i))
            names << QStringLiteral("the %1 view of Page%2").arg(i < 2 ? QStringLiteral("flash") : QStringLiteral("EEPROM"))
                         .arg(i % 2 + 1);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Unsaved changes"),
                    QStringLiteral("You changed bytes in %1 since it was last loaded, read, saved or written.\n\n"
                                   "%2 and lose these changes?")
                        .arg(names.join(QStringLiteral(" and ")), action),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QString::fromLatin1(names::kUnsavedEdits));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

bool MainWindow::AskCancelToClose()
{
    QMessageBox box(QMessageBox::Question, QStringLiteral("Quillon"),
                    QStringLiteral("A command is running. Cancel it and close the program?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QString::fromLatin1(names::kCancelToClose));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A command on the worker thread uses the session: the window closes once it has ended,
    // which a Yes here brings about within a packet.
    if (runner_->Busy()) {
        event->ignore();
        if (closeAfterCommand_) return;  // already cancelling
        if (!AskCancelToClose()) return;
        if (runner_->Busy()) {
            closeAfterCommand_ = true;
            runner_->Cancel();
            return;
        }
        // The command ended while the question was open: nothing left to wait for.
    }
    // A signal or the session's end closes without questions: nobody is there to answer them.
    if (!endingWithoutAsking_ && !AskToDropEdits(0xFu, QStringLiteral("Quit"))) {
        event->ignore();
        return;
    }
    // Closing the window is Exit by another way: the socket goes unpowered and the port closes.
    if (session_->bus.link.IsOpen()) OnDisconnect();
    about_->close();
    QMainWindow::closeEvent(event);
}

void MainWindow::EndWithoutAsking()
{
    endingWithoutAsking_ = true;
    if (runner_->Busy()) {
        // The window closes once the command has ended, which the cancel brings about.
        closeAfterCommand_ = true;
        runner_->Cancel();
        return;
    }
    // A dialog open over the window ends first: its own loop then returns to the window's.
    for (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this;
         modal = QApplication::activeModalWidget()) {
        if (!modal->close()) break;
    }
    close();
}

void MainWindow::OnLockFuses()
{
    LockFusesForm dialog(*session_, *runner_, ConfirmOnGuiThread(), this);
    dialog.SetResultShown([this](const QString& command, const Result& result) { RememberResult(command, result); });
    if (fileFuses_) {
        dialog.OfferFileBytes(fuseFile_, *fileFuses_);
        fileFuses_.reset();
    }
    dialog.exec();
}

void MainWindow::OnHowToConnect()
{
    // Drawn from the chip's pin list, unless a picture named after the chip is at hand.
    if (ShowWiringDrawing(session_->chip, this)) return;
    if (auto form = ImageForm::Create(session_->chip, this)) form->exec();
}

}  // namespace quillon::ui
