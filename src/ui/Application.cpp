#include "ui/Application.h"

#include <QMessageBox>
#include <exception>

namespace quillon::ui {

Application::Application(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Quillon"));
    setDesktopFileName(QStringLiteral("quillon"));
    setWindowIcon(QIcon::fromTheme(QStringLiteral("quillon")));
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Error"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(activeWindow(), QStringLiteral("Error"), QStringLiteral("Unknown error"));
    }
    return false;
}

}  // namespace quillon::ui
