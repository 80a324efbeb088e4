// The application object of the window: an error that escapes a handler is shown in a message
// box and the program goes on, instead of ending it.
#pragma once

#include <QApplication>

namespace quillon::ui {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quillon::ui
