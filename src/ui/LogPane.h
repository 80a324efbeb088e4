// The log pane: shows the event log's lines as they are appended, from whichever thread logs.
#pragma once

#include <QPlainTextEdit>
#include <string>

namespace quillon {
class Log;
}

namespace quillon::ui {

class LogPane : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LogPane(QWidget* parent = nullptr);

    // Shows the log's current lines and every later one. Detach() before the log goes away.
    void Attach(Log& log);
    void Detach();

    QStringList Lines() const;

signals:
    void lineLogged(const QString& line);  // emitted on the logging thread, shown on ours

private:
    void AppendLine(const QString& line);

    Log* log_ = nullptr;
};

}  // namespace quillon::ui
