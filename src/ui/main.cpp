// Quillon's window: programs AVR microcontrollers through the Tavro serial gateway.
#include <QSettings>
#include <memory>

#include "operations/Session.h"
#include "ui/Application.h"
#include "ui/EndSignals.h"
#include "ui/MainWindow.h"
#include "ui/PortOpener.h"

int main(int argc, char** argv)
{
    quillon::ui::Application app(argc, argv);
    // Every port name opens a serial port, except "sim:<chip>", the built-in simulated gateway.
    auto context = std::make_unique<quillon::Session>(quillon::ui::WindowPortOpener());
    quillon::ui::MainWindow window(std::move(context));
    // The platform's usual place: ~/.config/Quillon/Quillon.conf on Linux.
    window.UseSettings(std::make_unique<QSettings>(QStringLiteral("Quillon"), QStringLiteral("Quillon")));
    // A closed terminal or the system's shutdown ends the window as the end of a session does,
    // never half way through a write with the socket powered.
    quillon::ui::EndSignals endSignals;
    QObject::connect(&endSignals, &quillon::ui::EndSignals::arrived, &window, [&window] { window.EndWithoutAsking(); });
    window.show();
    const int status = quillon::ui::Application::exec();
    return endSignals.Received() != 0 ? 128 + endSignals.Received() : status;
}
