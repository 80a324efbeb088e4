// The Lock & Fuses dialog: four groups of eight check boxes over the chip's lock and fuse slots,
// rendering the core's dialog model, with Read, Write and Save & Close.
#pragma once

#include <QDialog>
#include <array>

#include "operations/LockFuses.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QPushButton;

namespace quillon::ui {

class CommandRunner;

class LockFusesForm : public QDialog {
    Q_OBJECT
public:
    // `confirm` asks the questions before a risky write (a Yes/No box on the GUI thread).
    LockFusesForm(Session& session, CommandRunner& runner, Confirm confirm, QWidget* parent = nullptr);

    const LockFusesDialog& Model() const { return model_; }
    QCheckBox* CheckBox(int number) const;  // CheckBox1 .. CheckBox32

    void reject() override;  // no way out but "Save changes && Close the window"

private:
    void Render();
    void OKButtonClick();
    void Button1Click();  // Read
    void Button2Click();  // Write

    Session& ctx_;
    CommandRunner& runner_;
    Confirm confirm_;
    LockFusesDialog model_;
    QFrame* panel1_;
    std::array<QGroupBox*, 4> groups_{};
    std::array<QCheckBox*, 32> boxes_{};
};

}  // namespace quillon::ui
