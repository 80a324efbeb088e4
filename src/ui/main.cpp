// Quillon's window: programs AVR microcontrollers through the Tavro serial gateway.
#include <QApplication>
#include <memory>

#include "core/Context.h"
#include "ui/MainWindow.h"
#include "ui/PortOpener.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setDesktopFileName(QStringLiteral("quillon"));
    // Every port name opens a serial port, except "sim:<chip>", the built-in simulated gateway.
    auto context = std::make_unique<quillon::Context>(quillon::ui::WindowPortOpener());
    quillon::ui::MainWindow window(std::move(context));
    window.show();
    return QApplication::exec();
}
