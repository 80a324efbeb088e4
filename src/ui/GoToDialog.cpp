#include "ui/GoToDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "images/FindBytes.h"

namespace quillon::ui {

GoToDialog::GoToDialog(std::size_t size, QWidget* parent) : QDialog(parent), size_(size)
{
    setObjectName(QStringLiteral("GoToForm"));
    setWindowTitle(QStringLiteral("Go to address"));
    auto* layout = new QVBoxLayout(this);
    const QString last = QStringLiteral("%1").arg(size == 0 ? 0 : size - 1, 4, 16, QLatin1Char('0')).toUpper();
    auto* label = new QLabel(QStringLiteral("Address in hex (0x3F000 or 3F000h) or in decimal;\nthis view holds 0x0000 to 0x%1:")
                                 .arg(last),
                             this);
    layout->addWidget(label);
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("GoToAddress"));
    field_->setToolTip(QStringLiteral("0x prefix, h suffix or a letter A-F: hex; digits alone: decimal"));
    layout->addWidget(field_);
    error_ = new QLabel(this);
    error_->setObjectName(QStringLiteral("GoToError"));
    error_->setStyleSheet(QStringLiteral("color: #b00000"));
    error_->setWordWrap(true);
    error_->hide();
    layout->addWidget(error_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &GoToDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &GoToDialog::reject);
    layout->addWidget(buttons);
}

void GoToDialog::accept()
{
    const ParsedAddress parsed = ParseAddress(field_->text().toStdString(), size_);
    if (!parsed.address) {
        error_->setText(QString::fromStdString(parsed.error));
        error_->show();
        field_->selectAll();
        field_->setFocus();
        return;
    }
    address_ = *parsed.address;
    QDialog::accept();
}

}  // namespace quillon::ui
