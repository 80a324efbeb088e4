#include "ui/ProgressForm.h"

#include <QFrame>
#include <QGuiApplication>
#include <QProgressBar>
#include <QScreen>

namespace quillon::ui {

ProgressForm::ProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("LBar"));
    setWindowTitle(QString());
    // Modal, so that nothing in the other windows can be touched while the bar moves.
    setWindowModality(Qt::ApplicationModal);
    setFixedSize(281, 33);
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setGeometry(0, 0, 281, 33);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar_ = new QProgressBar(panel);
    bar_->setObjectName(QStringLiteral("ProgressBar1"));
    bar_->setGeometry(8, 8, 265, 16);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

UiProgress::UiProgress(QWidget* owner) : QObject(owner), owner_(owner)
{
    connect(this, &UiProgress::createRequested, this, &UiProgress::OnCreate);
    connect(this, &UiProgress::positionRequested, this, &UiProgress::OnPosition);
    connect(this, &UiProgress::freeRequested, this, &UiProgress::OnFree);
}

UiProgress::~UiProgress() { delete window_.data(); }

void UiProgress::OnCreate()
{
    // A command frees its window before the next one is made; should one still be open, the
    // new one replaces it rather than leaving an orphan on the screen.
    delete window_.data();
    window_ = new ProgressForm(owner_);
    window_->show();
    emit shown(++shownCount_);
}

void UiProgress::OnPosition(int percent)
{
    if (window_) window_->Bar()->setValue(qBound(0, percent, 100));
}

void UiProgress::OnFree()
{
    delete window_.data();
    window_ = nullptr;
}

}  // namespace quillon::ui
