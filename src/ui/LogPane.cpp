#include "ui/LogPane.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QTextBlock>

#include "log/Log.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QString::fromLatin1(names::kLogPane));
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPixelSize(13);
    }
    setFont(font);
    QPalette cream = palette();
    cream.setColor(QPalette::Base, QColor(0xFF, 0xFB, 0xF0));
    cream.setColor(QPalette::Text, Qt::black);
    setPalette(cream);
    // Queued when the line comes from the worker thread, direct when it comes from ours.
    connect(this, &LogPane::lineLogged, this, &LogPane::AppendLine);
}

void LogPane::Attach(Log& log)
{
    log_ = &log;
    for (const auto& line : log.Lines()) AppendLine(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    log.SetListener([this](const std::string& line) {
        emit lineLogged(QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
    });
}

void LogPane::Detach()
{
    if (log_) log_->SetListener({});
    log_ = nullptr;
}

void LogPane::AppendLine(const QString& line)
{
    // The newest line stays in sight unless the user has scrolled up to read older ones.
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 1;
    appendPlainText(line);
    if (atEnd) bar->setValue(bar->maximum());
}

QStringList LogPane::Lines() const
{
    QStringList lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    if (lines.size() == 1 && lines.front().isEmpty()) lines.clear();
    return lines;
}

}  // namespace quillon::ui
