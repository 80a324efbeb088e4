#include "ui/SocketTile.h"

#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/ProductionSocket.h"

namespace quillon::ui {

using production::ChipEnding;
using production::ChipOutcome;

namespace {

constexpr const char* kPassColours = "color: white; background: #1a7f37";
constexpr const char* kFailColours = "color: white; background: #b42318";
constexpr const char* kStopColours = "color: white; background: #57606a";
constexpr const char* kIdleColours = "color: #57606a; background: #eaeef2";

QString ChipNumber(std::int64_t id)
{
    return QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
}

}  // namespace

SocketTile::SocketTile(ProductionSocket& socket, const QString& identity, QWidget* parent)
    : QFrame(parent), socket_(socket)
{
    setObjectName(QStringLiteral("SocketTile"));
    setFrameShape(QFrame::StyledPanel);
    setMinimumWidth(260);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(4);

    auto* port = new QLabel(socket.Port());
    port->setObjectName(QStringLiteral("TilePort"));
    QFont bold = port->font();
    bold.setBold(true);
    port->setFont(bold);
    port->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* title = new QHBoxLayout;
    title->addWidget(port);
    auto* id = new QLabel(identity);
    id->setObjectName(QStringLiteral("TileIdentity"));
    id->setStyleSheet(QStringLiteral("color: #57606a"));
    id->setTextInteractionFlags(Qt::TextSelectableByMouse);
    title->addWidget(id, 1);
    layout->addLayout(title);

    result_ = new QLabel;
    result_->setObjectName(QStringLiteral("TileResult"));
    QFont big = result_->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    result_->setFont(big);
    result_->setAlignment(Qt::AlignCenter);
    result_->setMinimumHeight(result_->fontMetrics().height() * 3 / 2);
    layout->addWidget(result_);
    ShowResult(QStringLiteral("READY"), kIdleColours);

    step_ = new QLabel(QStringLiteral("Waiting for Start"));
    step_->setObjectName(QStringLiteral("TileStep"));
    auto* state = new QHBoxLayout;
    state->addWidget(step_, 1);
    counts_ = new QLabel;
    counts_->setObjectName(QStringLiteral("TileCounts"));
    state->addWidget(counts_);
    layout->addLayout(state);
    ShowCounts();
    reason_ = new QLabel;
    reason_->setObjectName(QStringLiteral("TileReason"));
    reason_->setWordWrap(true);
    reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    reason_->setStyleSheet(QStringLiteral("color: #b42318"));
    // Two lines are kept for it, so a reason appearing does not shift the tiles around.
    reason_->setMinimumHeight(reason_->fontMetrics().lineSpacing() * 2);
    reason_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    layout->addWidget(reason_);

    connect(&socket, &ProductionSocket::stepStarted, this, [this](qint64 chip, const QString& step) {
        step_->setText(QStringLiteral("Chip %1: %2").arg(ChipNumber(chip), step));
    });
    // Shown where the step is: the wait for the store is what the socket does now.
    connect(&socket, &ProductionSocket::noticed, this, [this](const QString& text) { step_->setText(text); });
    connect(&socket, &ProductionSocket::chipEnded, this, &SocketTile::ChipEnded);
    connect(&socket, &ProductionSocket::batchEnded, this, &SocketTile::BatchEnded);
}

void SocketTile::Starting()
{
    reason_->clear();
    step_->setText(QStringLiteral("Starting"));
    if (passed_ + failed_ + cancelled_ == 0) ShowResult(QStringLiteral("..."), kIdleColours);
}

void SocketTile::ChipEnded(const ChipOutcome& outcome)
{
    QString line;
    switch (outcome.ending) {
    case ChipEnding::Passed:
        ++passed_;
        line = QStringLiteral("PASS ") + ChipNumber(outcome.id);
        if (outcome.serial) line += QStringLiteral("  serial %1").arg(*outcome.serial);
        ShowResult(line, kPassColours);
        reason_->clear();
        break;
    case ChipEnding::Failed:
        ++failed_;
        ShowResult(QStringLiteral("FAIL ") + ChipNumber(outcome.id), kFailColours);
        reason_->setText(QString::fromStdString(outcome.reason));
        break;
    case ChipEnding::Cancelled:
    case ChipEnding::Stopped:
        ++cancelled_;
        ShowResult(QStringLiteral("CANCELLED ") + ChipNumber(outcome.id), kStopColours);
        reason_->setText(QString::fromStdString(outcome.reason));
        break;
    }
    ShowCounts();
}

void SocketTile::BatchEnded(const QString& reason)
{
    if (reason.isEmpty()) {
        step_->setText(QStringLiteral("Ready for the next chip"));
        return;
    }
    // The socket stopped on its own (or was stopped): it says so in large letters, and why,
    // until it starts again. The reason names the chip's own failure where that stopped it.
    step_->setText(QStringLiteral("Stopped"));
    ShowResult(QStringLiteral("STOPPED"), kStopColours);
    reason_->setText(reason);
}

void SocketTile::ShowCounts()
{
    QString text = QStringLiteral("Passed %1   Failed %2").arg(passed_).arg(failed_);
    if (cancelled_ > 0) text += QStringLiteral("   Cancelled %1").arg(cancelled_);
    counts_->setText(text);
}

void SocketTile::ShowResult(const QString& text, const char* colours)
{
    result_->setText(text);
    result_->setStyleSheet(QString::fromLatin1(colours));
}

QString SocketTile::ResultText() const { return result_->text(); }
QString SocketTile::StepText() const { return step_->text(); }
QString SocketTile::CountsText() const { return counts_->text(); }
QString SocketTile::ReasonText() const { return reason_->text(); }

}  // namespace quillon::ui
