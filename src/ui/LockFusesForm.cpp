#include "ui/LockFusesForm.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>
#include <memory>

#include "chips/ChipTable.h"
#include "chips/FuseFields.h"
#include "operations/FileFuses.h"
#include "operations/Session.h"
#include "ui/CommandRunner.h"
#include "ui/ObjectNames.h"

namespace quillon::ui {

namespace {

// The tabs on top (the fields in words, the named bits), then the buttons, then a row with each
// group's byte in hex and a row saying where the boxes came from.
constexpr int kWidth = 640;
constexpr int kTabsHeight = 340;
constexpr int kButtonsTop = kTabsHeight + 1;
constexpr int kBytesTop = kButtonsTop + 27;
constexpr int kOriginTop = kBytesTop + 20;
constexpr int kHeight = kOriginTop + 25;

QString Hex(std::uint8_t byte)
{
    return QStringLiteral("0x") + QString::number(byte, 16).rightJustified(2, QLatin1Char('0')).toUpper();
}

}  // namespace

LockFusesForm::LockFusesForm(Session& session, CommandRunner& runner, Confirm confirm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      session_(session),
      runner_(runner),
      confirm_(std::move(confirm)),
      model_(OpenLockFusesDialog(session.chip))
{
    setObjectName(QString::fromLatin1(names::kLockFusesForm));
    setWindowTitle(QStringLiteral("Lock & Fuses"));
    setFixedSize(kWidth, kHeight);
    // Centred on the screen, not over the main window, wherever that has been moved.
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // The boxes are 89 pixels wide: the small dialog font keeps the longest bit names whole.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);
    runner_.Guard(this);
    if (const ChipRow* row = FindChip(session.chip.signature)) fuses_ = FusesOf(*row);

    tabs_ = new QTabWidget(this);
    tabs_->setObjectName(QStringLiteral("ViewTabs"));
    tabs_->setGeometry(0, 0, kWidth, kTabsHeight);
    auto* settingsPage = new QWidget;
    settingsPage->setObjectName(QStringLiteral("SettingsPage"));
    auto* bitsPage = new QWidget;
    bitsPage->setObjectName(QStringLiteral("BitsPage"));
    tabs_->addTab(settingsPage, QStringLiteral("Settings"));
    tabs_->addTab(bitsPage, QStringLiteral("Bits"));
    tabs_->setTabToolTip(0, QStringLiteral("Each fuse field as a list of settings in words"));
    tabs_->setTabToolTip(1, QStringLiteral("Every lock and fuse bit by name: checked is programmed (0)"));

    bitsPanel_ = new QFrame(bitsPage);
    bitsPanel_->setObjectName(QString::fromLatin1(names::kBitsPanel));
    bitsPanel_->setGeometry(0, 0, 443, 155);
    for (int g = 0; g < 4; ++g) {
        auto* group = new QGroupBox(QStringLiteral("Byte %1").arg(g), bitsPanel_);
        group->setObjectName(QString::fromLatin1(names::kBitGroup[static_cast<std::size_t>(g)]));
        group->setGeometry(1 + 112 * g, 1, 105, 153);
        groups_[static_cast<std::size_t>(g)] = group;
        for (int b = 0; b < 8; ++b) {
            const int number = 8 * g + b + 1;
            auto* box = new QCheckBox(QStringLiteral("Bit %1").arg(b), group);
            box->setObjectName(names::BitBox(number));
            box->setGeometry(8, 16 + 16 * (7 - b), 89, 17);
            boxes_[static_cast<std::size_t>(number - 1)] = box;
            // The model decides: a click toggles only a visible, enabled box.
            connect(box, &QCheckBox::clicked, this, [this, g, b, box] {
                model_.Click(g, b);
                box->setChecked(model_.group[static_cast<std::size_t>(g)].box[static_cast<std::size_t>(b)].checked);
                RenderBytes();
                RenderSettings();
            });
        }
        auto* hex = new QLabel(this);
        hex->setObjectName(QString::fromLatin1(names::kByteLabel[static_cast<std::size_t>(g)]));
        hex->setGeometry(1 + 112 * g, kBytesTop, 105, 16);
        hex->setAlignment(Qt::AlignCenter);
        bytes_[static_cast<std::size_t>(g)] = hex;
    }
    BuildSettings(settingsPage);

    origin_ = new QLabel(this);
    origin_->setObjectName(QStringLiteral("OriginLabel"));
    origin_->setGeometry(4, kOriginTop, kWidth - 110, 20);
    auto* factory = new QPushButton(QStringLiteral("Factory defaults"), this);
    factory->setObjectName(QStringLiteral("FactoryButton"));
    factory->setGeometry(kWidth - 100, kOriginTop, 100, 22);
    factory->setAutoDefault(false);
    factory->setToolTip(QStringLiteral("Set the boxes to the chip's factory values; nothing is written until Write"));
    connect(factory, &QPushButton::clicked, this, [this] {
        FillFactoryDefaults(model_, session_.chip);
        Render();
    });

    auto* ok = new QPushButton(QStringLiteral("Save changes && Close the window"), this);
    ok->setObjectName(QString::fromLatin1(names::kOkButton));
    ok->setGeometry(0, kButtonsTop, 203, 25);
    auto* read = new QPushButton(QStringLiteral("Read Lock && Fuses"), this);
    read->setObjectName(QString::fromLatin1(names::kReadLockFuses));
    read->setGeometry(203, kButtonsTop, 120, 25);
    auto* write = new QPushButton(QStringLiteral("Write Lock && Fuses"), this);
    write->setObjectName(QString::fromLatin1(names::kWriteLockFuses));
    write->setGeometry(323, kButtonsTop, 120, 25);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QString::fromLatin1(names::kCancelButton));
    cancel->setGeometry(kWidth - 100, kButtonsTop, 100, 25);
    cancel->setToolTip(QStringLiteral("Close without saving the boxes (Esc)"));
    for (QPushButton* button : {ok, read, write, cancel}) button->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &LockFusesForm::OnSaveAndClose);
    connect(read, &QPushButton::clicked, this, &LockFusesForm::OnReadBits);
    connect(write, &QPushButton::clicked, this, &LockFusesForm::OnWriteBits);
    connect(cancel, &QPushButton::clicked, this, &LockFusesForm::reject);

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
    RenderSettings();
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
    const QString chip = QString::fromStdString(session_.chip.name);
    QString origin;
    switch (model_.origin) {
    case SlotsOrigin::Factory:
        origin = session_.chip.lockFuseOrigin == SlotsOrigin::Factory
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
    SaveLockFuses(session_, model_);
    accept();
}

void LockFusesForm::OnReadBits()
{
    // The worker fills a copy of the boxes; they come back into the dialog when it has ended.
    auto boxes = std::make_shared<LockFusesDialog>(model_);
    runner_.Run(session_, [boxes](Session& session) { return ReadLockFuses(session, *boxes); },
                [this, boxes](const Result& result) { Ended(QStringLiteral("Read Lock & Fuses"), *boxes, result); });
}

void LockFusesForm::OnWriteBits()
{
    auto boxes = std::make_shared<LockFusesDialog>(model_);
    runner_.Run(session_, [boxes, confirm = confirm_](Session& session) { return WriteLockFuses(session, *boxes, confirm); },
                [this, boxes](const Result& result) { Ended(QStringLiteral("Write Lock & Fuses"), *boxes, result); });
}

void LockFusesForm::Ended(const QString& command, const LockFusesDialog& boxes, const Result& result)
{
    model_ = boxes;
    Render();
    if (resultShown_) resultShown_(command, result);
}

void LockFusesForm::OfferFileBytes(const QString& fileName, const FileFuses& bytes)
{
    const std::string refused = OfferFileFuses(model_, session_.chip, bytes);
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
        fileLabel_->setGeometry(4, kHeight, kWidth - 8, 30);
        setFixedSize(kWidth, kHeight + 30);
    }
    fileLabel_->setText(text);
    setWindowTitle(QStringLiteral("Lock & Fuses - from %1").arg(fileName));
}

void LockFusesForm::reject()
{
    // Not while a command runs on the chip: its end still renders into this dialog.
    if (runner_.Busy()) return;
    QDialog::reject();
}

void LockFusesForm::ShowBits() { tabs_->setCurrentIndex(1); }
void LockFusesForm::ShowSettings() { tabs_->setCurrentIndex(0); }

// ---- The fields in words ---------------------------------------------------------------------

void LockFusesForm::BuildSettings(QWidget* page)
{
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* top = new QHBoxLayout;
    auto* presetCaption = new QLabel(QStringLiteral("Presets:"), page);
    presets_ = new QComboBox(page);
    presets_->setObjectName(QStringLiteral("PresetBox"));
    presets_->setToolTip(QStringLiteral("Common settings in one step: a preset changes only the fields it names, "
                                        "and nothing is written until Write"));
    presets_->addItem(QStringLiteral("(choose one)"));
    if (fuses_ != nullptr)
        for (const FusePreset& p : PresetsOf(*fuses_))
            presets_->addItem(QString::fromStdString(p.key + ": " + p.meaning), QString::fromStdString(p.key));
    presets_->setEnabled(presets_->count() > 1);
    connect(presets_, &QComboBox::activated, this, &LockFusesForm::OnPresetChosen);
    top->addWidget(presetCaption);
    top->addWidget(presets_, 1);
    layout->addLayout(top);
    presetLabel_ = new QLabel(page);
    presetLabel_->setObjectName(QStringLiteral("PresetLabel"));
    presetLabel_->setWordWrap(true);
    presetLabel_->hide();
    layout->addWidget(presetLabel_);

    auto* scroll = new QScrollArea(page);
    scroll->setObjectName(QStringLiteral("FieldsArea"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* inner = new QWidget;
    auto* grid = new QGridLayout(inner);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    int line = 0;
    if (fuses_ == nullptr) {
        grid->addWidget(new QLabel(QStringLiteral("No chip selected."), inner), 0, 0);
    } else {
        const QRegularExpression hexByte(QStringLiteral("[0-9A-Fa-f]{0,2}"));
        for (std::size_t slot = 0; slot < fuses_->fuseBytes && slot < hexEdits_.size(); ++slot) {
            auto* caption = new QLabel(QString::fromStdString(model_.group[slot].caption), inner);
            QFont bold = caption->font();
            bold.setBold(true);
            caption->setFont(bold);
            auto* hex = new QLineEdit(inner);
            hex->setObjectName(QString::fromLatin1(names::kHexField[slot]));
            hex->setValidator(new QRegularExpressionValidator(hexByte, hex));
            hex->setMaximumWidth(40);
            hex->setToolTip(QStringLiteral("The byte in hex: type it and press Enter to set the fields below"));
            connect(hex, &QLineEdit::editingFinished, this, [this, slot] { OnHexTyped(slot); });
            hexEdits_[slot] = hex;
            auto* row = new QHBoxLayout;
            row->addWidget(caption);
            row->addSpacing(12);
            row->addWidget(new QLabel(QStringLiteral("0x"), inner));
            row->addWidget(hex);
            row->addStretch(1);
            grid->addLayout(row, line++, 0, 1, 2);
            for (std::size_t i = 0; i < fuses_->fields.size(); ++i) {
                const FuseField& f = fuses_->fields[i];
                if (f.slot != slot) continue;
                FieldWidgets w;
                w.field = i;
                const QString tip = QString::fromStdString(f.name + ": " + f.what + ". Factory: " +
                                                           f.Words(f.ValueIn(fuses_->factory)) + ".");
                if (f.IsBit()) {
                    w.check = new QCheckBox(QString::fromStdString(f.what), inner);
                    w.check->setObjectName(QStringLiteral("Field_%1").arg(QString::fromStdString(f.key)));
                    w.check->setToolTip(tip);
                    connect(w.check, &QCheckBox::toggled, this,
                            [this, i](bool on) { OnFieldChosen(i, on ? 0 : 1); });
                } else {
                    w.combo = new QComboBox(inner);
                    w.combo->setObjectName(QStringLiteral("Field_%1").arg(QString::fromStdString(f.key)));
                    w.combo->setToolTip(tip);
                    for (const FuseSetting& setting : f.settings)
                        w.combo->addItem(QString::fromStdString(setting.meaning), setting.value);
                    connect(w.combo, &QComboBox::currentIndexChanged, this, [this, i, combo = w.combo](int index) {
                        if (index >= 0) OnFieldChosen(i, static_cast<std::uint8_t>(combo->itemData(index).toUInt()));
                    });
                }
                w.label = new QLabel(QString::fromStdString(f.IsBit() ? f.name : f.key + " (" + f.name + ")"), inner);
                w.label->setToolTip(tip);
                grid->addWidget(w.label, line, 0);
                grid->addWidget(w.combo ? static_cast<QWidget*>(w.combo) : w.check, line++, 1);
                fieldWidgets_.push_back(w);
            }
        }
        auto* legend = new QLabel(QStringLiteral("* differs from the factory setting"), inner);
        legend->setObjectName(QStringLiteral("FactoryLegend"));
        grid->addWidget(legend, line++, 0, 1, 2);
    }
    grid->setRowStretch(line, 1);
    scroll->setWidget(inner);
    layout->addWidget(scroll, 1);
}

std::vector<std::uint8_t> LockFusesForm::FuseBytes() const
{
    std::vector<std::uint8_t> bytes;
    if (fuses_ == nullptr) return bytes;
    for (std::size_t slot = 0; slot < fuses_->fuseBytes; ++slot) bytes.push_back(BoxByte(model_, slot));
    return bytes;
}

void LockFusesForm::TakeFuseBytes(const std::vector<std::uint8_t>& bytes)
{
    for (std::size_t g = 0; g < bytes.size() && g < model_.group.size(); ++g)
        for (std::size_t b = 0; b < 8; ++b) {
            FuseBox& box = model_.group[g].box[b];
            // A greyed box keeps its state: it cannot be changed here.
            if (box.visible && box.enabled) box.checked = (bytes[g] & (1u << b)) == 0;
        }
}

void LockFusesForm::OnFieldChosen(std::size_t index, std::uint8_t value)
{
    if (rendering_ || fuses_ == nullptr) return;
    std::vector<std::uint8_t> bytes = FuseBytes();
    fuses_->fields[index].StoreIn(bytes, value);
    TakeFuseBytes(bytes);
    Render();
}

void LockFusesForm::OnHexTyped(std::size_t slot)
{
    if (rendering_ || fuses_ == nullptr) return;
    QLineEdit* edit = hexEdits_[slot];
    bool ok = false;
    const unsigned value = edit->text().toUInt(&ok, 16);
    std::vector<std::uint8_t> bytes = FuseBytes();
    if (ok && !edit->text().isEmpty()) {
        bytes[slot] = static_cast<std::uint8_t>(value);
        TakeFuseBytes(bytes);
    }
    // An empty field goes back to what the boxes make.
    Render();
}

void LockFusesForm::OnPresetChosen(int index)
{
    if (fuses_ == nullptr || index <= 0) return;
    const std::string key = presets_->itemData(index).toString().toStdString();
    for (const FusePreset& p : PresetsOf(*fuses_)) {
        if (p.key != key) continue;
        const std::vector<std::uint8_t> before = FuseBytes();
        const std::vector<std::uint8_t> after = ApplyPreset(p, before);
        QString changes;
        for (const auto& [field, value] : p.changes) {
            const std::uint8_t was = field->ValueIn(before);
            if (was == value) continue;
            changes += QStringLiteral("%1%2: %3 \u2192 %4")
                           .arg(changes.isEmpty() ? QString() : QStringLiteral("; "),
                                QString::fromStdString(field->key), QString::fromStdString(field->KeyOf(was)),
                                QString::fromStdString(field->KeyOf(value)));
        }
        presetLabel_->setText(changes.isEmpty()
                                  ? QStringLiteral("Preset %1: the boxes already hold it.").arg(QString::fromStdString(key))
                                  : QStringLiteral("Preset %1 changes %2. Nothing is written until Write Lock & Fuses.")
                                        .arg(QString::fromStdString(key), changes));
        presetLabel_->show();
        TakeFuseBytes(after);
        Render();
    }
    presets_->setCurrentIndex(0);
}

void LockFusesForm::RenderSettings()
{
    if (fuses_ == nullptr) return;
    rendering_ = true;
    const std::vector<std::uint8_t> bytes = FuseBytes();
    for (std::size_t slot = 0; slot < bytes.size() && slot < hexEdits_.size(); ++slot)
        if (hexEdits_[slot] != nullptr && !hexEdits_[slot]->hasFocus())
            hexEdits_[slot]->setText(QString::number(bytes[slot], 16).rightJustified(2, QLatin1Char('0')).toUpper());
    for (const FieldWidgets& w : fieldWidgets_) {
        const FuseField& f = fuses_->fields[w.field];
        const std::uint8_t value = f.ValueIn(bytes);
        const bool factory = value == f.ValueIn(fuses_->factory);
        if (w.check != nullptr) {
            w.check->setChecked(value == 0);
            // A box the bit view greys is greyed here too.
            bool enabled = true;
            for (std::size_t b = 0; b < 8; ++b)
                if (f.mask & (1u << b)) enabled = enabled && model_.group[f.slot].box[b].enabled;
            w.check->setEnabled(enabled);
        } else {
            // A reserved value is shown while the chip holds it, never offered otherwise.
            for (int i = w.combo->count() - 1; i >= 0; --i)
                if (!w.combo->itemData(i, Qt::UserRole + 1).isNull()) w.combo->removeItem(i);
            int index = w.combo->findData(value);
            if (index < 0) {
                w.combo->insertItem(0, QString::fromStdString(f.Words(value)), value);
                w.combo->setItemData(0, true, Qt::UserRole + 1);
                index = 0;
            }
            w.combo->setCurrentIndex(index);
        }
        QString label = QString::fromStdString(f.IsBit() ? f.name : f.key + " (" + f.name + ")");
        QFont font = w.label->font();
        font.setBold(!factory);
        w.label->setFont(font);
        w.label->setText(factory ? label : label + QStringLiteral(" *"));
    }
    rendering_ = false;
}

}  // namespace quillon::ui
