// File > Production...: the operator's panel for a production line. A job is opened (and shown,
// never edited), the gateways to use are ticked, and every press of Start (or the space bar)
// programs the next chips on every gateway that is ready, each gateway on a tile of its own with
// its step, its last PASS or FAIL, its counts and why it stopped; below them the line's totals
// and the last records.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gateway/Transport.h"
#include "production/Job.h"
#include "ui/PortList.h"

class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSpinBox;
class QTableWidget;

namespace quillon::production {
class RecordStore;
}

namespace quillon::ui {

class ProductionSocket;
class SocketTile;

class ProductionPanel : public QDialog {
    Q_OBJECT
public:
    // `port` (the window's) is ticked in the list of gateways, beside the system's serial ports
    // that `lister` finds; each gateway gets a session of its own, opened with `opener`.
    ProductionPanel(const QString& port, PortOpener opener, QWidget* parent = nullptr,
                    const PortLister& lister = SystemSerialPorts);
    ~ProductionPanel() override;

    // Reads and checks the job, opens its record store; false with the reason shown.
    bool OpenJob(const QString& path);
    // Puts a port in the list of gateways ("/dev/ttyUSB0", or an entry with its description after
    // " \u2014 "), ticked or not; an entry already there is only ticked or unticked.
    void AddPort(const QString& entry, bool ticked);
    void SetChipsPerStart(int chips);
    // Every ticked gateway that is ready starts its next chips; false when none could.
    bool Start();
    // Every gateway stops at its next packet; the chips under way are recorded as cancelled.
    void Stop();
    bool Busy() const;

    int TileCount() const { return static_cast<int>(sockets_.size()); }
    SocketTile* Tile(int index) const;
    QString SummaryText() const;
    QString TotalsText() const;
    int RecordRows() const;

signals:
    void chipEnded();
    // The last busy gateway has ended its batch.
    void lineIdle();

protected:
    void reject() override;

private:
    struct Line {
        ProductionSocket* socket;
        SocketTile* tile;
    };

    void ShowSummary();
    void ShowRecords();
    void ShowTotals();
    void ChipDone();
    void BatchDone();
    void EnableControls();
    // Makes the tiles those of the ticked ports (idle tiles of unticked ones go).
    void MatchTiles();
    void LayOutTiles();
    void RemoveTiles();
    std::vector<QString> TickedPorts() const;

    PortOpener opener_;
    std::optional<production::Job> job_;
    std::string recordsAt_;  // where the job's records are: a file or a URL
    std::unique_ptr<production::RecordStore> store_;  // for the summary and the records shown
    std::vector<Line> sockets_;
    QElapsedTimer lineClock_;  // runs while any gateway is busy
    qint64 busyMs_ = 0;        // the time the line was busy before the current batch

    QListWidget* ports_ = nullptr;
    QLineEdit* newPort_ = nullptr;
    QPushButton* addPort_ = nullptr;
    QPushButton* open_ = nullptr;
    QSpinBox* chipsPerStart_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* stop_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* totals_ = nullptr;
    QScrollArea* tileScroll_ = nullptr;
    QWidget* tiles_ = nullptr;
    QGridLayout* tileGrid_ = nullptr;
    QTableWidget* records_ = nullptr;
};

}  // namespace quillon::ui
