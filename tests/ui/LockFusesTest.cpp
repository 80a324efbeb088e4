// The Lock & Fuses dialog opened from the Edit menu: the factory bits of a freshly selected chip,
// reading the chip, a click that toggles a bit, the greyed bit that cannot be toggled, writing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTabWidget>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <functional>

#include "images/FileCommands.h"
#include "ui/HexViewWidget.h"
#include "ui/LockFusesForm.h"
#include "SimWindowFixture.h"
#include "ui/ObjectNames.h"

namespace quillon::ui::test {
namespace {

class LockFuses : public SimWindowTest {
protected:
    // Opens the dialog from the menu and runs `use` on it while it is shown modally; the dialog
    // is closed with its own button afterwards whatever `use` found.
    void WithDialog(const std::function<void(LockFusesForm&)>& use, bool bits = true)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* form = qobject_cast<LockFusesForm*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "no Lock & Fuses dialog";
                return;
            }
            ran = true;
            if (bits) form->ShowBits();  // the named-bit tab; the dialog opens on the settings
            use(*form);
            if (form->isVisible())
                QTest::mouseClick(form->findChild<QPushButton*>(QString::fromLatin1(names::kOkButton)), Qt::LeftButton);
            if (form->isVisible()) form->accept();
        });
        Trigger(names::kLockFuses);
        EXPECT_TRUE(ran);
    }

    void Press(LockFusesForm& form, const char* button)
    {
        QTest::mouseClick(form.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
        for (int i = 0; i < 3000 && window->Runner().Busy(); ++i) QTest::qWait(10);
    }

    // The boxes of a slot as a byte: checked is 0.
    static int SlotFromBoxes(LockFusesForm& form, int slot)
    {
        int value = 0;
        for (int b = 0; b < 8; ++b) {
            QCheckBox* box = form.CheckBox(8 * slot + b + 1);
            const bool one = !box->isVisible() || !box->isChecked();
            value |= (one ? 1 : 0) << b;
        }
        return value;
    }
};

TEST_F(LockFuses, AFreshlySelectedChipShowsItsFactoryBits)
{
    Socket("ATmega8");
    ConnectTo("sim:ATmega8");
    SelectFromMenu("ATmega8");
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Lock & Fuses"));
        EXPECT_EQ(form.size(), QSize(640, 413));  // the dialog's own layout, a strip with the bytes below it
        EXPECT_EQ(form.findChild<QGroupBox*>(QString::fromLatin1(names::kBitGroup[0]))->title(), QStringLiteral("Low Fuses"));
        EXPECT_FALSE(form.findChild<QGroupBox*>(QString::fromLatin1(names::kBitGroup[3]))->isVisible());
        // Slot 0 = 0xE1: CKSEL1, CKSEL2, CKSEL3 and SUT0 programmed, CKSEL0, SUT1, BODEN, BODLEVEL not.
        for (int b = 0; b < 8; ++b) {
            QCheckBox* box = form.CheckBox(b + 1);
            EXPECT_EQ(box->isChecked(), ((0xE1 >> b) & 1) == 0) << box->text().toStdString();
        }
        EXPECT_EQ(form.CheckBox(2)->text(), QStringLiteral("CKSEL1"));
    });
}

TEST_F(LockFuses, ReadToggleAndWriteKeepTheGreyedBit)
{
    StartWith("ATmega169");
    Find<QSlider>(names::kDelay)->setValue(0);
    Chip().fuses = {0xE2, 0x99, 0xF8};  // extended: RESERVED (bit 0) programmed
    WithDialog([&](LockFusesForm& form) {
        Press(form, names::kReadLockFuses);  // Read Lock && Fuses
        EXPECT_EQ(Status(), "Read Lock & Fuses succeeded in <time>");
        EXPECT_EQ(SlotFromBoxes(form, 0), 0xE2);
        EXPECT_EQ(SlotFromBoxes(form, 2), 0xF8);
        QCheckBox* reserved = form.CheckBox(17);
        EXPECT_EQ(reserved->text(), QStringLiteral("RESERVED"));
        EXPECT_FALSE(reserved->isEnabled());
        EXPECT_TRUE(reserved->isChecked());
        QTest::mouseClick(reserved, Qt::LeftButton);  // greyed: no change
        EXPECT_TRUE(reserved->isChecked());
        QTest::mouseClick(form.CheckBox(2), Qt::LeftButton);   // CKSEL1 of the low fuses: 1 -> 0
        QTest::mouseClick(form.CheckBox(18), Qt::LeftButton);  // BODLEVEL0: 0 -> 1
        EXPECT_EQ(SlotFromBoxes(form, 0), 0xE0);
        Press(form, names::kWriteLockFuses);  // Write Lock && Fuses
    });
    EXPECT_EQ(Chip().fuses[0], 0xE0);
    EXPECT_EQ(Chip().fuses[2] & 0x03, 0x02);  // RESERVED still programmed, BODLEVEL0 now 1
    EXPECT_EQ(CurrentSession().chip.lockFuse[0], 0xE0);
}

// A compiled program's fuse and lock bytes come into the dialog marked as the file's, and reach
// the chip only by Write.
TEST_F(LockFuses, AnElfFilesBytesAreOfferedAndWrittenOnlyByWrite)
{
    const QString elf = QString::fromLatin1(QUILLON_BINARY_DIR "/fixtures/avr/app168.elf");
    if (!QFile::exists(elf)) GTEST_SKIP() << "the AVR compiler fixtures were not built";
    StartWith("ATmega168");
    const auto before = Chip().fuses;
    const std::uint8_t lockBefore = Chip().lock;
    window->SetFileChooser([elf](FileDialogKind) { return std::optional<ChosenFile>({elf, FilterAny}); });
    Trigger(names::kLoadProgram);
    // The EEPROM section came along into the data view, as avr-objcopy extracts it.
    EXPECT_TRUE(window->View(2)->RowText(0).startsWith(QStringLiteral("00000000: EF BE 11 22 33 44 55 66 FF")))
        << window->View(2)->RowText(0).toStdString();
    EXPECT_EQ(Chip().fuses, before);
    EXPECT_EQ(Chip().lock, lockBefore);

    BoxAnswerer yes(QMessageBox::Yes);  // the file's lock byte programs LB1: asked first
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Lock & Fuses - from app168.elf"));
        auto* label = form.findChild<QLabel*>(QStringLiteral("FileLabel"));
        ASSERT_NE(label, nullptr);
        EXPECT_TRUE(label->text().startsWith(QStringLiteral("From app168.elf: fuses E2 D9 FD, lock FE.")))
            << label->text().toStdString();
        EXPECT_EQ(SlotFromBoxes(form, 0), 0xE2);
        EXPECT_EQ(SlotFromBoxes(form, 1), 0xD9);
        EXPECT_EQ(SlotFromBoxes(form, 3), 0xFE);
        EXPECT_EQ(Chip().fuses, before) << "showing is not writing";
        Press(form, names::kWriteLockFuses);
    });
    EXPECT_EQ(Chip().fuses[0], 0xE2);
    EXPECT_EQ(Chip().fuses[1], 0xD9);
    EXPECT_EQ(Chip().fuses[2] & 0x07, 0xFD & 0x07);
    EXPECT_EQ(Chip().lock & 0x03, 0xFE & 0x03);

    // Shown once: the next opening is the ordinary dialog.
    WithDialog([&](LockFusesForm& form) { EXPECT_EQ(form.windowTitle(), QStringLiteral("Lock & Fuses")); });
}

// An ATtiny85 found by the serial search: RSTDISBL ticked asks a warning and then a second,
// explicit question; No to either leaves the chip as it was.
TEST_F(LockFuses, ALockOutWriteAsksTwiceAndNoLeavesTheChipUntouched)
{
    StartWith("ATtiny85");
    Find<QSlider>(names::kDelay)->setValue(0);
    const auto fuses = Chip().fuses;
    const std::uint8_t lock = Chip().lock;
    for (const bool yesToTheFirst : {false, true}) {
        BoxAnswerer answerer(QMessageBox::No);
        if (yesToTheFirst) answerer.AnswerFirst({QMessageBox::Yes});
        WithDialog([&](LockFusesForm& form) {
            // RSTDISBL, bit 7 of the high fuses; the first round's Save & Close kept it ticked.
            if (!form.CheckBox(16)->isChecked()) QTest::mouseClick(form.CheckBox(16), Qt::LeftButton);
            Press(form, names::kWriteLockFuses);
        });
        ASSERT_EQ(answerer.seen.size(), yesToTheFirst ? 2u : 1u);
        EXPECT_EQ(answerer.seen[0].caption, QStringLiteral("Chip will be locked out"));
        EXPECT_TRUE(answerer.seen[0].text.contains(QStringLiteral("RSTDISBL")));
        if (yesToTheFirst) {
            EXPECT_EQ(answerer.seen[1].caption, QStringLiteral("Write bits that lock the chip out?"));
            EXPECT_TRUE(answerer.seen[1].text.startsWith(QStringLiteral("Really write RSTDISBL?")));
        }
        EXPECT_EQ(Chip().fuses, fuses);
        EXPECT_EQ(Chip().lock, lock);
        EXPECT_EQ(Status(), "Write Lock & Fuses was not run: you answered No");
    }
}

// The bytes in hex beside their groups, old and new while boxes change, where the boxes came
// from, and the factory values on a button.
TEST_F(LockFuses, TheBytesShowInHexWithTheirOriginAndFactoryDefaultsRefillTheBoxes)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    Chip().fuses = {0xE4, 0xC9};
    const auto text = [](LockFusesForm& form, const char* name) {
        return form.findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(form.size(), QSize(640, 413));  // the dialog's own layout, a strip below it
        EXPECT_EQ(text(form, names::kByteLabel[0]), QStringLiteral("0xE1"));  // the ATmega8's factory low fuses
        EXPECT_EQ(text(form, names::kByteLabel[1]), QStringLiteral("0xD9"));
        EXPECT_FALSE(form.findChild<QLabel*>(QString::fromLatin1(names::kByteLabel[3]))->isVisible());
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("Factory values of the ATmega8: not read from the chip yet"));

        Press(form, names::kReadLockFuses);
        EXPECT_EQ(text(form, names::kByteLabel[0]), QStringLiteral("0xE4"));
        EXPECT_EQ(text(form, names::kByteLabel[1]), QStringLiteral("0xC9"));
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("As read from or written to the chip"));

        QTest::mouseClick(form.CheckBox(1), Qt::LeftButton);  // CKSEL0: 0 -> 1
        EXPECT_EQ(text(form, names::kByteLabel[0]), QString::fromUtf8("0xE4 \u2192 0xE5"));
        QTest::mouseClick(form.CheckBox(1), Qt::LeftButton);  // and back
        EXPECT_EQ(text(form, names::kByteLabel[0]), QStringLiteral("0xE4"));

        Press(form, "FactoryButton");
        EXPECT_EQ(SlotFromBoxes(form, 0), 0xE1);
        EXPECT_EQ(SlotFromBoxes(form, 1), 0xD9);
        EXPECT_EQ(text(form, names::kByteLabel[0]), QString::fromUtf8("0xE4 \u2192 0xE1"));
        EXPECT_EQ(text(form, names::kByteLabel[1]), QString::fromUtf8("0xC9 \u2192 0xD9"));
        EXPECT_TRUE(text(form, "OriginLabel").startsWith(QStringLiteral("Factory values of the ATmega8;")));
        EXPECT_EQ(Chip().fuses[0], 0xE4) << "the button only fills the boxes";
    });
    // Saved and opened again: the record's bytes, marked as not written.
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(text(form, names::kByteLabel[0]), QStringLiteral("0xE1"));
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("Saved here earlier, not written to the chip yet"));
        Press(form, names::kWriteLockFuses);
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("As read from or written to the chip"));
    });
    EXPECT_EQ(Chip().fuses[0], 0xE1);
}

// The fields in words: a drop-down changes the bits and the hex, typed hex moves the drop-downs,
// the named bits move them too; non-factory settings are marked.
TEST_F(LockFuses, TheSettingsTabKeepsFieldsBitsAndHexInStep)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    WithDialog(
        [&](LockFusesForm& form) {
            EXPECT_EQ(form.findChild<QTabWidget*>(QStringLiteral("ViewTabs"))->currentIndex(), 0);
            auto* clock = form.findChild<QComboBox*>(QStringLiteral("Field_clock"));
            auto* ckopt = form.findChild<QCheckBox*>(QStringLiteral("Field_ckopt"));
            auto* hex = form.findChild<QLineEdit*>(QString::fromLatin1(names::kHexField[0]));
            ASSERT_TRUE(clock && ckopt && hex);
            EXPECT_EQ(clock->currentData().toUInt(), 0x21u);  // factory: internal 1 MHz, 6 CK + 64 ms
            EXPECT_FALSE(clock->toolTip().isEmpty());
            EXPECT_EQ(hex->text(), QStringLiteral("E1"));
            EXPECT_EQ(clock->findText(QStringLiteral("reserved"), Qt::MatchContains), -1);

            // The last setting: the crystal of the highest range, 16K CK + 64 ms.
            clock->setFocus();
            QTest::keyClick(clock, Qt::Key_End);
            EXPECT_EQ(clock->currentData().toUInt(), 0x3Fu);
            EXPECT_EQ(BoxByte(form.Model(), 0), 0xFF);
            EXPECT_EQ(hex->text(), QStringLiteral("FF"));
            EXPECT_EQ(form.findChild<QLabel*>(QString::fromLatin1(names::kByteLabel[0]))->text(), QString::fromUtf8("0xE1 \u2192 0xFF"));
            QTest::mouseClick(ckopt, Qt::LeftButton);
            EXPECT_EQ(BoxByte(form.Model(), 1), 0xC9);

            // Typed hex: a letter that is no hex digit is refused in place, a byte moves the list.
            hex->setFocus();
            hex->selectAll();
            QTest::keyClicks(hex, QStringLiteral("G"));
            EXPECT_EQ(hex->text(), QStringLiteral("FF"));
            QTest::keyClicks(hex, QStringLiteral("e4"));
            QTest::keyClick(hex, Qt::Key_Return);
            EXPECT_EQ(BoxByte(form.Model(), 0), 0xE4);
            EXPECT_EQ(clock->currentData().toUInt(), 0x24u);  // internal 8 MHz, 6 CK + 64 ms

            // The named bits drive the same fields.
            form.ShowBits();
            EXPECT_EQ(SlotFromBoxes(form, 0), 0xE4);
            EXPECT_TRUE(form.CheckBox(13)->isChecked());  // CKOPT
            QTest::mouseClick(form.CheckBox(1), Qt::LeftButton);  // CKSEL0: 0 -> 1
            form.ShowSettings();
            EXPECT_EQ(clock->currentData().toUInt(), 0x25u);
            EXPECT_EQ(hex->text(), QStringLiteral("E5"));
            // Marked: it is not the factory setting any more.
            bool marked = false;
            for (QLabel* label : form.findChildren<QLabel*>())
                marked = marked || label->text() == QStringLiteral("clock (SUT_CKSEL) *");
            EXPECT_TRUE(marked);
        },
        false);
}

TEST_F(LockFuses, APresetShowsItsChangesBeforeTheWrite)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    const auto before = Chip().fuses;
    WithDialog(
        [&](LockFusesForm& form) {
            auto* presets = form.findChild<QComboBox*>(QStringLiteral("PresetBox"));
            ASSERT_NE(presets, nullptr);
            presets->setFocus();
            QTest::keyClicks(presets, QStringLiteral("c"));  // "crystal: ..."
            auto* label = form.findChild<QLabel*>(QStringLiteral("PresetLabel"));
            EXPECT_TRUE(label->isVisible());
            EXPECT_EQ(label->text(), QString::fromUtf8("Preset crystal changes clock: rc1m-6ck-64ms \u2192 "
                                                       "xtal-3m-16k-64ms; ckopt: off \u2192 on. Nothing is "
                                                       "written until Write Lock & Fuses."));
            EXPECT_EQ(form.findChild<QLabel*>(QString::fromLatin1(names::kByteLabel[1]))->text(), QString::fromUtf8("0xD9 \u2192 0xC9"));
            EXPECT_EQ(Chip().fuses, before) << "a preset is not a write";
            Press(form, names::kWriteLockFuses);
        },
        false);
    EXPECT_EQ(Chip().fuses[0], 0xFF);
    EXPECT_EQ(Chip().fuses[1], 0xC9);
}

// Esc, Cancel and the close box leave without saving the boxes.
TEST_F(LockFuses, EscapeCancelAndTheCloseBoxDoNotSave)
{
    StartWith("ATmega8");
    const auto record = CurrentSession().chip.lockFuse;
    const std::function<void(LockFusesForm&)> ways[] = {
        [](LockFusesForm& form) { QTest::keyClick(&form, Qt::Key_Escape); },
        [](LockFusesForm& form) {
            QTest::mouseClick(form.findChild<QPushButton*>(QString::fromLatin1(names::kCancelButton)), Qt::LeftButton);
        },
        [](LockFusesForm& form) { form.close(); },
    };
    for (const auto& leave : ways) {
        WithDialog(
            [&](LockFusesForm& form) {
                QTest::mouseClick(form.findChild<QCheckBox*>(QStringLiteral("Field_ckopt")), Qt::LeftButton);
                EXPECT_EQ(BoxByte(form.Model(), 1), 0xC9);
                leave(form);
                EXPECT_FALSE(form.isVisible());
            },
            false);
        EXPECT_EQ(CurrentSession().chip.lockFuse, record);
    }
}

// Edit > Rescue chip... on a chip with the RESET pin disabled, an external clock and both lock
// bits: No leaves it, Yes brings back the factory fuses.
TEST_F(LockFuses, RescueChipFromTheMenu)
{
    StartWith("ATmega8");
    Find<QSlider>(names::kDelay)->setValue(0);
    Chip().fuses = {0xE0, 0x59};
    Chip().lock = 0xFC;
    {
        BoxAnswerer no(QMessageBox::No);
        Trigger(names::kRescueChip);
        ASSERT_EQ(no.seen.size(), 1u);
        EXPECT_EQ(no.seen[0].caption, QStringLiteral("Rescue chip"));
        EXPECT_TRUE(no.seen[0].text.contains(QStringLiteral("a Chip Erase comes first"))) << no.seen[0].text.toStdString();
    }
    EXPECT_EQ(Chip().fuses[0], 0xE0);
    EXPECT_EQ(Chip().fuses[1], 0x59);
    EXPECT_EQ(Chip().lock & 0x03, 0x00);
    BoxAnswerer yes(QMessageBox::Yes);
    Trigger(names::kRescueChip);
    EXPECT_EQ(Status(), "Rescue chip succeeded in <time>");
    EXPECT_EQ(Chip().fuses[0], 0xE1);
    EXPECT_EQ(Chip().fuses[1], 0xD9);
    EXPECT_EQ(Chip().lock & 0x03, 0x03);
}

}  // namespace
}  // namespace quillon::ui::test
