// One gateway's tile on the production panel: its port, the step under way, the last chip's
// PASS or FAIL, its counts, and why it stopped when it stopped on its own.
#pragma once

#include <QFrame>
#include <QString>

#include "production/ProductionRun.h"

class QLabel;

namespace quillon::ui {

class ProductionSocket;

class SocketTile : public QFrame {
    Q_OBJECT
public:
    // Shows `socket` (not owned); `identity` is what else names the port (the adapter), or empty.
    SocketTile(ProductionSocket& socket, const QString& identity, QWidget* parent = nullptr);

    ProductionSocket& Socket() { return socket_; }
    int Passed() const { return passed_; }
    int Failed() const { return failed_; }

    // Before a new batch: the last stop reason goes, the counts stay.
    void Starting();
    QString ResultText() const;
    QString StepText() const;
    QString CountsText() const;
    QString ReasonText() const;

private:
    void ChipEnded(const production::ChipOutcome& outcome);
    void BatchEnded(const QString& reason);
    void ShowCounts();
    void ShowResult(const QString& text, const char* colours);

    ProductionSocket& socket_;
    int passed_ = 0, failed_ = 0, cancelled_ = 0;
    QLabel* result_ = nullptr;
    QLabel* step_ = nullptr;
    QLabel* counts_ = nullptr;
    QLabel* reason_ = nullptr;
};

}  // namespace quillon::ui
