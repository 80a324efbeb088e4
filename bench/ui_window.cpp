// The window's speed: creating and showing the main window, filling and showing the flash view of
// the largest chip (16384 lines), and one key typed into that view, each with its painting.
// Runs on Qt's offscreen platform unless QT_QPA_PLATFORM says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QWindow>
#include <memory>
#include <vector>

#include "chips/Catalogue.h"
#include "operations/ChipSelection.h"
#include "operations/Session.h"
#include "images/Views.h"
#include "model/SimDevice.h"
#include "ui/HexViewWidget.h"
#include "ui/MainWindow.h"

namespace {

using quillon::ui::MainWindow;

// Shows the window and lets it be exposed and painted.
bool ShowAndWait(QWidget& widget)
{
    widget.show();
    for (int i = 0; i < 1000; ++i) {
        QCoreApplication::processEvents();
        if (widget.windowHandle() && widget.windowHandle()->isExposed()) return true;
    }
    return false;
}

std::unique_ptr<MainWindow> MakeWindow()
{
    return std::make_unique<MainWindow>(std::make_unique<quillon::Session>(quillon::sim::OpenAnyPort));
}

constexpr std::int32_t kAtmega2560 = 0x01981E;
constexpr int kPage1Flash = quillon::ViewIndex(0, quillon::MemoryKind::Program);

// As the Chip Select menu does it: the chip, then its empty views.
void SelectLargestChip(quillon::ui::MainWindow& window)
{
    quillon::SelectChip(window.CurrentSession(), kAtmega2560);
    quillon::RefreshViewsForChip(window.Views(), window.CurrentSession().chip);
}

void BM_WindowCreatedAndShown(benchmark::State& state)
{
    for (auto _ : state) {
        auto window = MakeWindow();
        if (!ShowAndWait(*window)) state.SkipWithError("window not exposed");
        window->repaint();
        benchmark::DoNotOptimize(window.get());
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowCreatedAndShown)->Unit(benchmark::kMillisecond);

// A read ends with this: the image copied into the active flash view and the view repainted.
void BM_LargestFlashViewFilledAndShown(benchmark::State& state)
{
    auto window = MakeWindow();
    ShowAndWait(*window);
    quillon::Session& session = window->CurrentSession();
    quillon::ViewSet& views = window->Views();
    SelectLargestChip(*window);
    for (std::size_t i = 0; i < session.chip.flashSize; ++i) session.chip.flash[i] = static_cast<std::uint8_t>(i * 13);
    quillon::ui::HexViewWidget* view = window->View(0);
    for (auto _ : state) {
        quillon::FillViewFromImage(views, session.chip, kPage1Flash, quillon::MemoryKind::Program);
        view->Reload(views.view[kPage1Flash].caret);
        view->repaint();
    }
    state.counters["lines"] = view->LineCount();
}
BENCHMARK(BM_LargestFlashViewFilledAndShown)->Unit(benchmark::kMillisecond);

// One hex digit typed into the last line of the largest view, handled and repainted.
void BM_KeyInLargestFlashView(benchmark::State& state)
{
    auto window = MakeWindow();
    ShowAndWait(*window);
    SelectLargestChip(*window);
    quillon::ui::HexViewWidget* view = window->View(0);
    view->Reload(0);
    view->setFocus();
    const std::size_t lastLine = 16383 * 82;
    for (auto _ : state) {
        view->SetCaret(lastLine + 10);
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
        QApplication::sendEvent(view, &press);
        view->viewport()->repaint();
    }
}
BENCHMARK(BM_KeyInLargestFlashView)->Unit(benchmark::kMicrosecond);

// A compare's ending: 10000 differing bytes of the largest flash marked, the view repainted on a
// page where every byte differs. The target is under 16 ms, one frame.
void BM_TenThousandDifferencesMarkedAndRepainted(benchmark::State& state)
{
    auto window = MakeWindow();
    ShowAndWait(*window);
    SelectLargestChip(*window);  // the views too: the chip's bytes below are as many as the view's
    quillon::ui::HexViewWidget* view = window->View(0);
    view->Reload(0);
    std::vector<std::uint8_t> chip(view->Document().Bytes().begin(), view->Document().Bytes().end());
    for (std::size_t i = 0; i < 10000; ++i) chip[i * 26] ^= 0x5A;  // spread over the whole flash
    for (std::size_t i = 0; i < 512; ++i) chip[i] = 0x00;          // and the first rows in full
    std::size_t marked = 0;
    for (auto _ : state) {
        marked = view->ShowDifferences(chip);
        view->viewport()->repaint();
    }
    state.counters["marked"] = static_cast<double>(marked);
}
BENCHMARK(BM_TenThousandDifferencesMarkedAndRepainted)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // From nothing to a shown window once, the way a user starts the program.
    QElapsedTimer startup;
    startup.start();
    QApplication app(argc, argv);
    {
        auto window = MakeWindow();
        ShowAndWait(*window);
        window->repaint();
        std::printf("Start-up to a shown window (application and window): %.1f ms\n",
                    static_cast<double>(startup.nsecsElapsed()) / 1e6);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
