#include "ui/ProgressForm.h"
#include "ui/ObjectNames.h"

#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>

namespace quillon::ui {

ProgressForm::ProgressForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QString::fromLatin1(names::kProgressWindow));
    setWindowTitle(QString());
    // Not modal: the runner keeps input away from the windows a command uses, and the main
    // window must still hear a close request so it can offer to cancel.
    setWindowModality(Qt::NonModal);
    setFixedSize(281, 62);
    auto* panel = new QFrame(this);
    panel->setObjectName(QString::fromLatin1(names::kProgressPanel));
    panel->setGeometry(0, 0, 281, 62);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bar_ = new QProgressBar(panel);
    bar_->setObjectName(QString::fromLatin1(names::kProgressBar));
    bar_->setGeometry(8, 8, 265, 16);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    text_ = new QLabel(QStringLiteral("0%"), panel);
    text_->setObjectName(QString::fromLatin1(names::kProgressText));
    text_->setGeometry(8, 32, 184, 22);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), panel);
    cancel_->setObjectName(QString::fromLatin1(names::kCancelButton));
    cancel_->setGeometry(198, 31, 75, 24);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &ProgressForm::cancelRequested);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
}

void ProgressForm::ShowCancelling()
{
    cancel_->setEnabled(false);
    text_->setText(QStringLiteral("Cancelling..."));
}

void ProgressForm::reject()
{
    // Escape: the same as Cancel. The command frees this window when it has stopped.
    emit cancelRequested();
}

void ProgressForm::closeEvent(QCloseEvent* event)
{
    event->ignore();
    emit cancelRequested();
}

UiProgress::UiProgress(QWidget* owner) : QObject(owner), owner_(owner)
{
    connect(this, &UiProgress::createRequested, this, &UiProgress::OnCreate);
    connect(this, &UiProgress::countRequested, this, &UiProgress::OnCount);
    connect(this, &UiProgress::freeRequested, this, &UiProgress::OnFree);
}

UiProgress::~UiProgress() { delete window_.data(); }

void UiProgress::OnCreate()
{
    // A command frees its window before the next one is made; should one still be open, the
    // new one replaces it rather than leaving an orphan on the screen.
    delete window_.data();
    window_ = new ProgressForm(owner_);
    connect(window_, &ProgressForm::cancelRequested, this, [this] {
        if (cancelAction_) cancelAction_();
        if (window_) window_->ShowCancelling();
    });
    text_.Start(ProgressText::Clock::now());
    window_->show();
    emit shown(++shownCount_);
}

void UiProgress::OnCount(quint32 done, quint32 total, int percent)
{
    if (!window_) return;
    percent = qBound(0, percent, 100);
    window_->Bar()->setValue(percent);
    if (!window_->CancelButton()->isEnabled()) return;  // keeps saying it is cancelling
    window_->Text()->setText(QString::fromStdString(text_.Text(done, total, percent, ProgressText::Clock::now())));
}

void UiProgress::OnFree()
{
    delete window_.data();
    window_ = nullptr;
}

}  // namespace quillon::ui
