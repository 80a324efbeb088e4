// The Lock & Fuses dialog opened from the Edit menu: the factory bits of a freshly selected chip,
// reading the chip, a click that toggles a bit, the greyed bit that cannot be toggled, writing.
#include <gtest/gtest.h>

#include <QCheckBox>
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

namespace quillon::ui::test {
namespace {

class LockFuses : public SimWindowTest {
protected:
    // Opens the dialog from the menu and runs `use` on it while it is shown modally; the dialog
    // is closed with its own button afterwards whatever `use` found.
    void WithDialog(const std::function<void(LockFusesForm&)>& use)
    {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* form = qobject_cast<LockFusesForm*>(QApplication::activeModalWidget());
            if (!form) {
                ADD_FAILURE() << "no Lock & Fuses dialog";
                return;
            }
            ran = true;
            use(*form);
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("OKButton")), Qt::LeftButton);
            if (form->isVisible()) form->accept();
        });
        Trigger("LockFuses1");
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
        EXPECT_EQ(form.size(), QSize(443, 228));  // the dialog's own layout, a strip with the bytes below it
        EXPECT_EQ(form.findChild<QGroupBox*>(QStringLiteral("GroupBox1"))->title(), QStringLiteral("Low Fuses"));
        EXPECT_FALSE(form.findChild<QGroupBox*>(QStringLiteral("GroupBox4"))->isVisible());
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
    Find<QSlider>("TrackBar1")->setValue(0);
    Chip().fuses = {0xE2, 0x99, 0xF8};  // extended: RESERVED (bit 0) programmed
    WithDialog([&](LockFusesForm& form) {
        Press(form, "Button1");  // Read Lock && Fuses
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
        Press(form, "Button2");  // Write Lock && Fuses
    });
    EXPECT_EQ(Chip().fuses[0], 0xE0);
    EXPECT_EQ(Chip().fuses[2] & 0x03, 0x02);  // RESERVED still programmed, BODLEVEL0 now 1
    EXPECT_EQ(Ctx().chip.lockFuse[0], 0xE0);
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
    Trigger("LoadProgramfromFile1");
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
        Press(form, "Button2");
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
    Find<QSlider>("TrackBar1")->setValue(0);
    const auto fuses = Chip().fuses;
    const std::uint8_t lock = Chip().lock;
    for (const bool yesToTheFirst : {false, true}) {
        BoxAnswerer answerer(QMessageBox::No);
        if (yesToTheFirst) answerer.AnswerFirst({QMessageBox::Yes});
        WithDialog([&](LockFusesForm& form) {
            // RSTDISBL, bit 7 of the high fuses; the first round's Save & Close kept it ticked.
            if (!form.CheckBox(16)->isChecked()) QTest::mouseClick(form.CheckBox(16), Qt::LeftButton);
            Press(form, "Button2");
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
    Find<QSlider>("TrackBar1")->setValue(0);
    Chip().fuses = {0xE4, 0xC9};
    const auto text = [](LockFusesForm& form, const char* name) {
        return form.findChild<QLabel*>(QString::fromLatin1(name))->text();
    };
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(form.size(), QSize(443, 228));  // the dialog's own layout, a strip below it
        EXPECT_EQ(text(form, "ByteLabel1"), QStringLiteral("0xE1"));  // the ATmega8's factory low fuses
        EXPECT_EQ(text(form, "ByteLabel2"), QStringLiteral("0xD9"));
        EXPECT_FALSE(form.findChild<QLabel*>(QStringLiteral("ByteLabel4"))->isVisible());
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("Factory values of the ATmega8: not read from the chip yet"));

        Press(form, "Button1");
        EXPECT_EQ(text(form, "ByteLabel1"), QStringLiteral("0xE4"));
        EXPECT_EQ(text(form, "ByteLabel2"), QStringLiteral("0xC9"));
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("As read from or written to the chip"));

        QTest::mouseClick(form.CheckBox(1), Qt::LeftButton);  // CKSEL0: 0 -> 1
        EXPECT_EQ(text(form, "ByteLabel1"), QString::fromUtf8("0xE4 \u2192 0xE5"));
        QTest::mouseClick(form.CheckBox(1), Qt::LeftButton);  // and back
        EXPECT_EQ(text(form, "ByteLabel1"), QStringLiteral("0xE4"));

        Press(form, "FactoryButton");
        EXPECT_EQ(SlotFromBoxes(form, 0), 0xE1);
        EXPECT_EQ(SlotFromBoxes(form, 1), 0xD9);
        EXPECT_EQ(text(form, "ByteLabel1"), QString::fromUtf8("0xE4 \u2192 0xE1"));
        EXPECT_EQ(text(form, "ByteLabel2"), QString::fromUtf8("0xC9 \u2192 0xD9"));
        EXPECT_TRUE(text(form, "OriginLabel").startsWith(QStringLiteral("Factory values of the ATmega8;")));
        EXPECT_EQ(Chip().fuses[0], 0xE4) << "the button only fills the boxes";
    });
    // Saved and opened again: the record's bytes, marked as not written.
    WithDialog([&](LockFusesForm& form) {
        EXPECT_EQ(text(form, "ByteLabel1"), QStringLiteral("0xE1"));
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("Saved here earlier, not written to the chip yet"));
        Press(form, "Button2");
        EXPECT_EQ(text(form, "OriginLabel"), QStringLiteral("As read from or written to the chip"));
    });
    EXPECT_EQ(Chip().fuses[0], 0xE1);
}

}  // namespace
}  // namespace quillon::ui::test
