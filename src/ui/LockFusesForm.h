// The Lock & Fuses dialog: the chip's fuses in words -- per fuse byte a drop-down list for each
// multi-bit field and a check box for each single bit, the byte's hex beside them to type into,
// and presets -- and, on its own tab, the four groups of eight named-bit boxes. Both views render
// the core's dialog model, so they stay in step; Read, Write, Save & Close and Cancel.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <vector>

#include "images/FileCommands.h"
#include "operations/LockFuses.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QTabWidget;
class QWidget;
class QGroupBox;
class QLabel;
class QPushButton;

namespace quillon {
struct ChipFuses;
}

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

    void reject() override;  // Cancel, Esc and the close box: the boxes are not saved

    void ShowBits();      // the named-bit tab
    void ShowSettings();  // the fields in words (the tab it opens on)

    // Told how each Read and Write ended, with the command's name, for the main window to show.
    using ResultShown = std::function<void(const QString& command, const Result& result)>;
    void SetResultShown(ResultShown shown) { resultShown_ = std::move(shown); }

private:
    struct FieldWidgets {
        std::size_t field = 0;         // index into the chip's fields
        QLabel* label = nullptr;
        QComboBox* combo = nullptr;    // multi-bit field
        QCheckBox* check = nullptr;    // single bit
    };

    void BuildSettings(QWidget* page);
    void RenderSettings();
    // The fuse bytes the boxes make now, and boxes set from such bytes (the lock slot untouched).
    std::vector<std::uint8_t> FuseBytes() const;
    void TakeFuseBytes(const std::vector<std::uint8_t>& bytes);
    void OnFieldChosen(std::size_t index, std::uint8_t value);
    void OnHexTyped(std::size_t slot);
    void OnPresetChosen(int index);
    void Render();
    void RenderBytes();  // the hex bytes beside the groups and where the boxes came from
    void OnSaveAndClose();
    // Read and Write run on the worker with a copy of the boxes; their end takes the copy back.
    void OnReadBits();
    void OnWriteBits();
    void Ended(const QString& command, const LockFusesDialog& boxes, const Result& result);

    Session& session_;
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
    QTabWidget* tabs_ = nullptr;
    const ChipFuses* fuses_ = nullptr;
    std::vector<FieldWidgets> fieldWidgets_;
    std::array<QLineEdit*, 3> hexEdits_{};
    QComboBox* presets_ = nullptr;
    QLabel* presetLabel_ = nullptr;
    bool rendering_ = false;  // the widgets are being set from the model: no echo back
};

}  // namespace quillon::ui
