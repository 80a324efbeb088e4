// File > Production...: the operator's panel for a production run. A job is opened (and shown,
// never edited), then every press of Start (or the space bar) programs the chip in the socket
// and shows a large PASS or FAIL with the reason, the counters and the last records.
#pragma once

#include <QDialog>
#include <memory>
#include <optional>

#include "gateway/Transport.h"
#include "production/Job.h"
#include "production/ProductionRun.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace quillon {
struct Session;
}

namespace quillon::ui {

class CommandRunner;

class ProductionPanel : public QDialog {
    Q_OBJECT
public:
    // The panel works through a session of its own on `port`, opened with `opener`.
    ProductionPanel(const QString& port, PortOpener opener, QWidget* parent = nullptr);
    ~ProductionPanel() override;

    // Reads and checks the job, opens its record store; false with the reason shown.
    bool OpenJob(const QString& path);
    // Programs one chip on the worker thread; false when no job is open or a chip is under way.
    bool Start();
    bool Busy() const;

    QString SummaryText() const;
    QString ResultText() const;
    QString CountersText() const;
    int RecordRows() const;

signals:
    void chipEnded();

protected:
    void reject() override;

private:
    void ShowSummary();
    void ShowRecords();
    void ChipDone();

    std::unique_ptr<Session> session_;
    std::optional<production::Job> job_;
    std::unique_ptr<production::RecordStore> store_;
    std::unique_ptr<production::ProductionRun> run_;
    CommandRunner* runner_ = nullptr;
    production::ChipOutcome outcome_;
    int passed_ = 0, failed_ = 0;

    QLineEdit* port_ = nullptr;
    QPushButton* open_ = nullptr;
    QPushButton* start_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* result_ = nullptr;
    QLabel* reason_ = nullptr;
    QLabel* counters_ = nullptr;
    QTableWidget* records_ = nullptr;
};

}  // namespace quillon::ui
