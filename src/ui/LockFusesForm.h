// The Lock & Fuses dialog: four groups of eight check boxes over the chip's lock and fuse slots,
// rendering the core's dialog model, with Read, Write and Save & Close.
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "images/FileCommands.h"
#include "operations/LockFuses.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
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

    // Checks the boxes as a program file's fuse and lock bytes say and tells so under the
    // boxes; nothing reaches the chip until Write. A file for another chip is only told.
    void OfferFileBytes(const QString& fileName, const FileFuses& bytes);

    void reject() override;  // no way out but "Save changes && Close the window"

    // Told how each Read and Write ended, with the command's name, for the main window to show.
    using ResultShown = std::function<void(const QString& command, const Result& result)>;
    void SetResultShown(ResultShown shown) { resultShown_ = std::move(shown); }

private:
    void Render();
    void RenderBytes();  // the hex bytes beside the groups and where the boxes came from
    void OnSaveAndClose();
    void OnReadBits();
    void OnWriteBits();

    Session& ctx_;
    CommandRunner& runner_;
    Confirm confirm_;
    ResultShown resultShown_;
    LockFusesDialog model_;
    QFrame* bitsPanel_;
    QLabel* fileLabel_ = nullptr;
    std::array<QGroupBox*, 4> groups_{};
    std::array<QCheckBox*, 32> boxes_{};
    std::array<QLabel*, 4> bytes_{};
    QLabel* origin_ = nullptr;
};

}  // namespace quillon::ui
