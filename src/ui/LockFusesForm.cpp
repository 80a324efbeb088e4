#include "ui/LockFusesForm.h"

#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <memory>

#include "operations/FileFuses.h"
#include "operations/Session.h"
#include "ui/CommandRunner.h"

namespace quillon::ui {

namespace {

// Below the buttons: a row with each group's byte in hex, then where the boxes came from.
constexpr int kBytesTop = 183;
constexpr int kOriginTop = 203;
constexpr int kHeight = 228;

QString Hex(std::uint8_t byte)
{
    return QStringLiteral("0x") + QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

}  // namespace

LockFusesForm::LockFusesForm(Session& session, CommandRunner& runner, Confirm confirm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ctx_(session),
      runner_(runner),
      confirm_(std::move(confirm)),
      model_(OpenLockFusesDialog(session.chip))
{
    setObjectName(QStringLiteral("LockFusesForm"));
    setWindowTitle(QStringLiteral("Lock & Fuses"));
    setFixedSize(443, kHeight);
    // Centred on the screen, not over the main window, wherever that has been moved.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // The boxes are 89 pixels wide: the small dialog font keeps the longest bit names whole.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    runner_.Guard(this);

    bitsPanel_ = new QFrame(this);
    bitsPanel_->setObjectName(QStringLiteral("Panel1"));
    bitsPanel_->setGeometry(0, 0, 443, 155);
    for (int g = 0; g < 4; ++g) {
        auto* group = new QGroupBox(QStringLiteral("Byte %1").arg(g), bitsPanel_);
        group->setObjectName(QStringLiteral("GroupBox%1").arg(g + 1));
        group->setGeometry(1 + 112 * g, 1, 105, 153);
        groups_[static_cast<std::size_t>(g)] = group;
        for (int b = 0; b < 8; ++b) {
            const int number = 8 * g + b + 1;
            auto* box = new QCheckBox(QStringLiteral("Bit %1").arg(b), group);
            box->setObjectName(QStringLiteral("CheckBox%1").arg(number));
            box->setGeometry(8, 16 + 16 * (7 - b), 89, 17);
            boxes_[static_cast<std::size_t>(number - 1)] = box;
            // The model decides: a click toggles only a visible, enabled box.
            connect(box, &QCheckBox::clicked, this, [this, g, b, box] {
                model_.Click(g, b);
                box->setChecked(model_.group[static_cast<std::size_t>(g)].box[static_cast<std::size_t>(b)].checked);
                RenderBytes();
            });
        }
        auto* hex = new QLabel(this);
        hex->setObjectName(QStringLiteral("ByteLabel%1").arg(g + 1));
        hex->setGeometry(1 + 112 * g, kBytesTop, 105, 16);
        hex->setAlignment(Qt::AlignCenter);
        bytes_[static_cast<std::size_t>(g)] = hex;
    }
    origin_ = new QLabel(this);
    origin_->setObjectName(QStringLiteral("OriginLabel"));
    origin_->setGeometry(4, kOriginTop, 334, 20);
    auto* factory = new QPushButton(QStringLiteral("Factory defaults"), this);
    factory->setObjectName(QStringLiteral("FactoryButton"));
    factory->setGeometry(343, kOriginTop, 100, 22);
    factory->setAutoDefault(false);
    factory->setToolTip(QStringLiteral("Set the boxes to the chip's factory values; nothing is written until Write"));
    connect(factory, &QPushButton::clicked, this, [this] {
        FillFactoryDefaults(model_, ctx_.chip);
        Render();
    });

    auto* ok = new QPushButton(QStringLiteral("Save changes && Close the window"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setGeometry(0, 156, 203, 25);
    auto* read = new QPushButton(QStringLiteral("Read Lock && Fuses"), this);
    read->setObjectName(QStringLiteral("Button1"));
    read->setGeometry(203, 156, 120, 25);
    auto* write = new QPushButton(QStringLiteral("Write Lock && Fuses"), this);
    write->setObjectName(QStringLiteral("Button2"));
    write->setGeometry(323, 156, 120, 25);
    for (QPushButton* button : {ok, read, write}) button->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &LockFusesForm::OnSaveAndClose);
    connect(read, &QPushButton::clicked, this, &LockFusesForm::OnReadBits);
    connect(write, &QPushButton::clicked, this, &LockFusesForm::OnWriteBits);

    Render();
}

QCheckBox* LockFusesForm::CheckBox(int number) const
{
    if (number < 1 || number > 32) return nullptr;
    return boxes_[static_cast<std::size_t>(number - 1)];
}

void LockFusesForm::Render()
{
    bitsPanel_->setVisible(model_.panelVisible);
    for (std::size_t g = 0; g < 4; ++g) {
        const FuseGroup& group = model_.group[g];
        groups_[g]->setTitle(QString::fromStdString(group.caption));
        groups_[g]->setVisible(group.visible);
        for (std::size_t b = 0; b < 8; ++b) {
            const FuseBox& model = group.box[b];
            QCheckBox* box = boxes_[8 * g + b];
            box->setText(QString::fromStdString(model.caption));
            box->setVisible(model.visible);
            box->setChecked(model.checked);
            box->setEnabled(model.enabled);
        }
    }
    RenderBytes();
}

void LockFusesForm::RenderBytes()
{
    for (std::size_t g = 0; g < 4; ++g) {
        const std::uint8_t now = BoxByte(model_, g);
        const std::uint8_t before = model_.before[g];
        QLabel* label = bytes_[g];
        label->setVisible(model_.panelVisible && model_.group[g].visible);
        // Old and new while they differ, so a change is seen before it is written.
        label->setText(now == before ? Hex(now) : QStringLiteral("%1 \u2192 %2").arg(Hex(before), Hex(now)));
        QFont font = label->font();
        font.setBold(now != before);
        label->setFont(font);
    }
    const QString chip = QString::fromStdString(ctx_.chip.name);
    QString origin;
    switch (model_.origin) {
    case SlotsOrigin::Factory:
        origin = ctx_.chip.lockFuseOrigin == SlotsOrigin::Factory
                     ? QStringLiteral("Factory values of the %1: not read from the chip yet").arg(chip)
                     : QStringLiteral("Factory values of the %1; before the arrows: the record's").arg(chip);
        break;
    case SlotsOrigin::Chip: origin = QStringLiteral("As read from or written to the chip"); break;
    case SlotsOrigin::Edited: origin = QStringLiteral("Saved here earlier, not written to the chip yet"); break;
    }
    origin_->setVisible(model_.panelVisible);
    origin_->setText(origin);
}

void LockFusesForm::OnSaveAndClose()
{
    SaveLockFuses(ctx_, model_);
    accept();
}

void LockFusesForm::OnReadBits()
{
    auto result = std::make_shared<Result>();
    runner_.Run([this, result] { *result = ReadLockFuses(ctx_, model_); },
                [this, result] {
                    Render();
                    if (resultShown_) resultShown_(QStringLiteral("Read Lock & Fuses"), *result);
                });
}

void LockFusesForm::OnWriteBits()
{
    auto result = std::make_shared<Result>();
    runner_.Run([this, result] { *result = WriteLockFuses(ctx_, model_, confirm_); },
                [this, result] {
                    Render();
                    if (resultShown_) resultShown_(QStringLiteral("Write Lock & Fuses"), *result);
                });
}

void LockFusesForm::OfferFileBytes(const QString& fileName, const FileFuses& bytes)
{
    const std::string refused = OfferFileFuses(model_, ctx_.chip, bytes);
    const QString values = QString::fromStdString(FileFusesText(bytes));
    QString text;
    if (refused.empty()) {
        Render();
        text = QStringLiteral("From %1: %2. Review them, then Write Lock & Fuses.").arg(fileName, values);
    } else {
        text = QStringLiteral("Not taken from %1 (%2): %3.").arg(fileName, values, QString::fromStdString(refused));
    }
    if (!fileLabel_) {
        fileLabel_ = new QLabel(this);
        fileLabel_->setObjectName(QStringLiteral("FileLabel"));
        fileLabel_->setWordWrap(true);
        fileLabel_->setGeometry(4, kHeight, 435, 30);
        setFixedSize(443, kHeight + 30);
    }
    fileLabel_->setText(text);
    setWindowTitle(QStringLiteral("Lock & Fuses - from %1").arg(fileName));
}

void LockFusesForm::reject() {}

}  // namespace quillon::ui
