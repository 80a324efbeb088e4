#include "ui/FindDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon::ui {

FindDialog::FindDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FindForm"));
    setWindowTitle(QStringLiteral("Find"));
    auto* layout = new QVBoxLayout(this);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("FindText"));
    field_->setToolTip(QStringLiteral("The bytes to find: hex digits (0C 94 5C) or text, as chosen below"));
    layout->addWidget(field_);
    auto* kinds = new QHBoxLayout;
    hex_ = new QRadioButton(QStringLiteral("Hex bytes"), this);
    hex_->setObjectName(QStringLiteral("FindHex"));
    hex_->setToolTip(QStringLiteral("Pairs of hex digits, spaces or commas between bytes allowed"));
    hex_->setChecked(true);
    text_ = new QRadioButton(QStringLiteral("Text"), this);
    text_->setObjectName(QStringLiteral("FindAsText"));
    text_->setToolTip(QStringLiteral("The characters as typed, one byte each (Latin-1), case as typed"));
    kinds->addWidget(hex_);
    kinds->addWidget(text_);
    kinds->addStretch();
    layout->addLayout(kinds);
    outcome_ = new QLabel(this);
    outcome_->setObjectName(QStringLiteral("FindOutcome"));
    layout->addWidget(outcome_);
    auto* buttons = new QHBoxLayout;
    auto* previous = new QPushButton(QStringLiteral("Find previous"), this);
    previous->setObjectName(QStringLiteral("FindPreviousButton"));
    previous->setToolTip(QStringLiteral("The nearest match before the caret (Shift+F3 in the main window)"));
    auto* next = new QPushButton(QStringLiteral("Find next"), this);
    next->setObjectName(QStringLiteral("FindNextButton"));
    next->setToolTip(QStringLiteral("The nearest match after the caret (F3 in the main window)"));
    next->setDefault(true);
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setAutoDefault(false);
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(next, &QPushButton::clicked, this, [this] { emit findRequested(true); });
    connect(previous, &QPushButton::clicked, this, [this] { emit findRequested(false); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
}

ParsedPattern FindDialog::Pattern() const
{
    if (hex_->isChecked()) return ParseHexPattern(field_->text().toStdString());
    ParsedPattern parsed;
    const QString text = field_->text();
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            parsed.bytes.clear();
            parsed.error = "\"" + QString(c).toStdString() + "\" has no single byte: use Hex bytes";
            return parsed;
        }
        parsed.bytes.push_back(static_cast<std::uint8_t>(c.unicode()));
    }
    if (parsed.bytes.empty()) parsed.error = "Type the text to find";
    return parsed;
}

void FindDialog::ShowOutcome(const QString& text, bool failed)
{
    outcome_->setStyleSheet(failed ? QStringLiteral("color: #b00000") : QString());
    outcome_->setText(text);
}

}  // namespace quillon::ui
