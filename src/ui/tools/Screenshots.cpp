// Takes the pictures of the window that the documentation shows: the main window after reading an
// ATmega2560, a Compare Program with its differences marked, the Go to dialog, the status bar, the
// Lock & Fuses dialog of an ATmega169 and of an ATmega8, the dialog warning before a write that
// locks an ATtiny85 out, the progress window of a long read, and the About box. It drives the real
// widgets against the built-in simulated gateway.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QStatusBar>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTemporaryDir>
#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "operations/Session.h"
#include "model/SimDevice.h"
#include "ui/AboutBox.h"
#include "ui/CommandRunner.h"
#include "ui/GoToDialog.h"
#include "ui/HexViewWidget.h"
#include "ui/LockFusesForm.h"
#include "ui/MainWindow.h"
#include "ui/ProductionPanel.h"
#include "ui/ProgressForm.h"
#include "ui/ObjectNames.h"

namespace {

namespace names = quillon::ui::names;
using quillon::ui::MainWindow;

void WaitIdle(MainWindow& window)
{
    while (window.Runner().Busy()) QTest::qWait(20);
    QTest::qWait(50);
}

void Click(MainWindow& window, const char* name)
{
    QTest::mouseClick(window.findChild<QPushButton*>(QString::fromLatin1(name)), Qt::LeftButton);
    WaitIdle(window);
}

bool Save(QWidget& widget, const QDir& folder, const char* file)
{
    const QString path = folder.filePath(QString::fromLatin1(file));
    const bool ok = widget.grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    return ok;
}

// A flash image that looks like a program: a vector table, code-like words and a text.
void LoadProgramLikeFlash(quillon::sim::SocketChip& chip)
{
    for (std::size_t i = 0; i < chip.flash.size(); ++i) chip.flash[i] = 0xFF;
    for (std::size_t v = 0; v < 57; ++v) {
        chip.flash[4 * v] = 0x0C;
        chip.flash[4 * v + 1] = 0x94;
        chip.flash[4 * v + 2] = static_cast<std::uint8_t>(0x72 + (v == 0 ? 0 : 0x20));
        chip.flash[4 * v + 3] = 0x00;
    }
    for (std::size_t i = 0xE4; i < 0x600; ++i) chip.flash[i] = static_cast<std::uint8_t>((i * 37) ^ (i >> 3));
    const char text[] = "Quillon demo firmware, built for the ATmega2560 board.";
    for (std::size_t i = 0; i + 1 < sizeof text; ++i) chip.flash[0x600 + i] = static_cast<std::uint8_t>(text[i]);
}

// A window on its own simulated chip, connected and with the chip found by Autosearch. `realTime`:
// the programming steps' waits are slept for real, so that a command takes a user's time.
std::unique_ptr<MainWindow> WindowOn(const char* chip, bool realTime)
{
    auto device = std::make_shared<quillon::sim::SimDevice>(quillon::sim::MakeSocketChip(chip), quillon::sim::Faults{});
    LoadProgramLikeFlash(*device->Chip());
    if (realTime)  // a program that fills the flash, so that every page is written
        for (std::size_t i = 0; i < device->Chip()->flash.size(); ++i)
            device->Chip()->flash[i] = static_cast<std::uint8_t>((i * 37) ^ (i >> 3));
    auto context = std::make_unique<quillon::Session>([device](const std::string&) {
        return quillon::OpenedPort{std::make_unique<quillon::sim::SimTransport>(device), quillon::OpenFailure::None};
    });
    if (realTime)
        device->FollowClock();  // the waits are slept for real, as with a gateway on a port
    else
        context->bus.sleep = [device](int ms) { device->Sleep(ms); };
    auto window = std::make_unique<MainWindow>(std::move(context));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) return nullptr;
    window->findChild<QComboBox*>(QString::fromLatin1(names::kPortBox))->setCurrentText(QStringLiteral("sim:") + QString::fromLatin1(chip));
    window->findChild<QSlider*>(QString::fromLatin1(names::kDelay))->setValue(realTime ? 1 : 0);
    Click(*window, names::kConnect);
    Click(*window, names::kAutosearch);
    return window;
}

// The Lock & Fuses dialog of an ATtiny85 with RSTDISBL ticked and the warning that Write brings up,
// in one picture of the screen.
bool SaveLockOutWarning(const QDir& folder)
{
    auto window = WindowOn("ATtiny85", false);
    if (!window) return false;
    std::mutex mutex;
    QString caption;
    QString text;
    quillon::Confirm decline = [&](const quillon::Question& question) {
        std::lock_guard lock(mutex);
        if (caption.isEmpty()) {
            caption = QString::fromUtf8(question.caption.data(), static_cast<qsizetype>(question.caption.size()));
            text = QString::fromUtf8(question.text.data(), static_cast<qsizetype>(question.text.size()));
        }
        return false;
    };
    quillon::ui::LockFusesForm dialog(window->CurrentSession(), window->Runner(), decline, window.get());
    dialog.show();
    if (!QTest::qWaitForWindowExposed(&dialog)) return false;
    dialog.ShowBits();
    QTest::mouseClick(dialog.CheckBox(16), Qt::LeftButton);  // RSTDISBL
    QTest::mouseClick(dialog.findChild<QPushButton*>(QString::fromLatin1(names::kWriteLockFuses)), Qt::LeftButton);
    WaitIdle(*window);
    std::lock_guard lock(mutex);
    // The question as the window asks it, under the dialog it came from.
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Yes | QMessageBox::No, &dialog);
    box.setDefaultButton(QMessageBox::No);
    box.show();
    if (!QTest::qWaitForWindowExposed(&box)) return false;
    const QPixmap form = dialog.grab();
    const QPixmap question = box.grab();
    QPixmap picture(std::max(form.width(), question.width()) + 16, form.height() + question.height() + 24);
    picture.fill(dialog.palette().color(QPalette::Dark));
    QPainter painter(&picture);
    painter.drawPixmap((picture.width() - form.width()) / 2, 8, form);
    painter.drawPixmap((picture.width() - question.width()) / 2, form.height() + 16, question);
    painter.end();
    const QString path = folder.filePath(QStringLiteral("lock-fuses-warning.png"));
    const bool ok = !caption.isEmpty() && picture.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", path.toLocal8Bit().constData());
    box.hide();
    dialog.accept();
    return ok;
}

// The progress window of a write long enough for the time left to show, cancelled afterwards.
bool SaveProgressWindow(const QDir& folder)
{
    auto window = WindowOn("ATmega2560", true);
    if (!window) return false;
    Click(*window, names::kReadProgram);  // the chip's program into the view, to be written back
    QTimer yes;  // "All previous chip data will be lost": Yes
    QObject::connect(&yes, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            if (QAbstractButton* button = box->button(QMessageBox::Yes)) button->click();
    });
    yes.start(20);
    QTest::mouseClick(window->findChild<QPushButton*>(QString::fromLatin1(names::kWriteProgram)), Qt::LeftButton);
    quillon::ui::ProgressForm* progress = nullptr;
    for (int i = 0; i < 600; ++i) {
        QTest::qWait(50);
        progress = window->findChild<quillon::ui::ProgressForm*>();
        if (progress && progress->isVisible() && progress->Text()->text().contains(QStringLiteral("left"))) break;
    }
    bool ok = progress != nullptr && progress->Text()->text().contains(QStringLiteral("left"));
    if (!ok)
        std::fprintf(stderr, "the progress window showed no time left: \"%s\"\n",
                     progress ? progress->Text()->text().toLocal8Bit().constData() : "(no window)");
    if (ok) {
        QTest::qWait(1500);  // a little further along
        ok = Save(*progress, folder, "progress-window.png");
    }
    if (progress) QTest::mouseClick(progress->CancelButton(), Qt::LeftButton);
    WaitIdle(*window);
    return ok;
}

// The production panel with a line of four gateways: three that programmed their chips (one of
// them met an empty socket once), and one that went silent and stopped on its own.
bool SaveProductionPanel(const QDir& folder)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    std::ofstream(base + "blink.hex") << ":100000000C9434000C9446000C9446000C9446006A\n:00000001FF\n";
    std::ofstream(base + "blink.toml") << "name = \"blink\"\nchip = \"ATtiny2313\"\nprogram = \"blink.hex\"\n"
                                         "fuses = \"E4 DF FF\"\nlock = \"FC\"\n[serial]\nmemory = \"eeprom\"\n"
                                         "address = 0x10\nlength = 4\nfirst = 1041\nlast = 1999\n";
    const std::vector<quillon::ui::SystemPort> ports = {
        {QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART (A50285BI)"), true},
        {QStringLiteral("/dev/ttyUSB1"), QStringLiteral("FT232R USB UART (A50285C2)"), true},
        {QStringLiteral("/dev/ttyUSB2"), QStringLiteral("FT232R USB UART (A9X11Q0T)"), true},
        {QStringLiteral("/dev/ttyUSB3"), QStringLiteral("FT232R USB UART (AB0KQ3J1)"), true},
    };
    // Every connection finds the next chip of its tray; the third gateway's third socket is empty
    // and the fourth gateway stops answering in its second chip.
    auto connections = std::make_shared<std::array<std::atomic<int>, 4>>();
    quillon::PortOpener opener = [connections](const std::string& port) -> quillon::OpenedPort {
        const int gateway = port.back() - '0';
        if (gateway < 0 || gateway > 3) return {nullptr, quillon::OpenFailure::NotAvailable};
        const int chip = ++(*connections)[static_cast<std::size_t>(gateway)];
        quillon::sim::Faults faults;
        faults.pace = true;
        if (gateway == 3 && chip == 2) faults.silentAfter = 20;
        auto device = std::make_shared<quillon::sim::SimDevice>(
            gateway == 2 && chip == 3 ? nullptr : quillon::sim::MakeSocketChip("ATtiny2313"), faults);
        device->FollowClock();
        return {std::make_unique<quillon::sim::SimTransport>(std::move(device)), quillon::OpenFailure::None};
    };
    quillon::ui::ProductionPanel panel(QString(), opener, nullptr, [&] { return ports; });
    for (const auto& port : ports) panel.AddPort(port.name, true);
    panel.show();
    if (!QTest::qWaitForWindowExposed(&panel)) return false;
    if (!panel.OpenJob(QString::fromStdString(base + "blink.toml"))) {
        std::fprintf(stderr, "the production job was refused: %s\n", panel.SummaryText().toLocal8Bit().constData());
        return false;
    }
    panel.SetChipsPerStart(4);
    panel.Start();
    while (panel.Busy()) QTest::qWait(20);
    QTest::qWait(100);
    return Save(panel, folder, "production-panel.png");
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QDir folder(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot create %s\n", folder.path().toLocal8Bit().constData());
        return 1;
    }

    auto device = std::make_shared<quillon::sim::SimDevice>(quillon::sim::MakeSocketChip("ATmega2560"),
                                                            quillon::sim::Faults{});
    LoadProgramLikeFlash(*device->Chip());
    auto context = std::make_unique<quillon::Session>([device](const std::string&) {
        return quillon::OpenedPort{std::make_unique<quillon::sim::SimTransport>(device), quillon::OpenFailure::None};
    });
    context->bus.sleep = [device](int ms) { device->Sleep(ms); };

    MainWindow window(std::move(context));
    window.resize(window.sizeHint().width(), 760);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) return 1;

    auto* combo = window.findChild<QComboBox*>(QString::fromLatin1(names::kPortBox));
    combo->setCurrentText(QStringLiteral("sim:ATmega2560"));
    window.findChild<QSlider*>(QString::fromLatin1(names::kDelay))->setValue(0);
    Click(window, names::kConnect);
    Click(window, names::kAutosearch);
    Click(window, names::kReadProgram);
    bool ok = Save(window, folder, "main-window-atmega2560.png");

    // Three places where the view no longer holds what the chip does, then Compare Program.
    quillon::ui::HexViewWidget* flash = window.View(0);
    std::vector<quillon::ByteEdit> edits = {{0x0002, 0x90, 0}, {0x0003, 0x01, 0}, {0x0062, 0xFF, 0}};
    for (std::size_t a = 0x0A0; a < 0x0A6; ++a) edits.push_back({a, 0x00, 0});
    flash->Document().Edit(edits, 0, 0);
    flash->Document().Edit(std::vector<quillon::ByteEdit>{{0x0B4, 0x0C, 0}}, 0, 0);  // typed over with what the chip holds
    window.findChild<QAction*>(QString::fromLatin1(names::kCompareProgram))->trigger();
    WaitIdle(window);
    QTest::qWait(100);
    ok = Save(window, folder, "compare-differences.png") && ok;
    ok = Save(*window.statusBar(), folder, "status-bar.png") && ok;

    {
        quillon::ui::GoToDialog dialog(flash->Document().Size(), &window);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
        QTest::keyClicks(dialog.Field(), QStringLiteral("0x3F000"));
        QTest::qWait(50);
        ok = Save(dialog, folder, "go-to-address.png") && ok;
        dialog.reject();
    }

    for (const char* chip : {"ATmega169", "ATmega8"}) {
        window.findChild<QAction*>(QString::fromLatin1(chip))->trigger();
        WaitIdle(window);
        quillon::ui::LockFusesForm dialog(window.CurrentSession(), window.Runner(), {}, &window);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
        dialog.ShowBits();
        QTest::qWait(50);
        ok = Save(dialog, folder, chip == std::string("ATmega8") ? "lock-fuses-atmega8.png" : "lock-fuses-atmega169.png") && ok;
        dialog.accept();
    }
    {
        // The fields in words, with the 16 MHz board preset chosen and not yet written.
        window.findChild<QAction*>(QStringLiteral("ATmega328P"))->trigger();
        WaitIdle(window);
        quillon::ui::LockFusesForm dialog(window.CurrentSession(), window.Runner(), {}, &window);
        dialog.show();
        if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
        auto* presets = dialog.findChild<QComboBox*>(QStringLiteral("PresetBox"));
        presets->setFocus();
        QTest::keyClicks(presets, QStringLiteral("b"));
        QTest::qWait(50);
        ok = Save(dialog, folder, "lock-fuses-settings.png") && ok;
        dialog.reject();
    }

    ok = SaveLockOutWarning(folder) && ok;
    ok = SaveProgressWindow(folder) && ok;
    ok = SaveProductionPanel(folder) && ok;

    window.About().show();
    if (!QTest::qWaitForWindowExposed(&window.About())) return 1;
    ok = Save(window.About(), folder, "about-box.png") && ok;
    window.About().hide();
    return ok ? 0 : 1;
}
