// The File menu of the main window: the open and save dialogs, loading and saving program and
// data files through the core's file commands, and saving the log.
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <algorithm>
#include <span>

#include "core/FileIo.h"
#include "log/SaveLog.h"
#include "images/FileCommands.h"
#include "log/Log.h"
#include "ui/CommandRunner.h"
#include "ui/MainWindow.h"

namespace quillon::ui {

namespace {

struct Filter {
    const char* text;
    int index;  // a SaveFilter
};

// Open takes every format; a name without a known extension is read as the chosen filter says.
constexpr Filter kOpenFilters[] = {
    {"Program and data files (*.hex *.eep *.elf *.srec *.s19 *.s28 *.s37 *.mot *.bin)", FilterAny},
    {"Intel HEX (*.hex *.eep)", FilterHex},
    {"ELF (*.elf)", FilterElf},
    {"S-record (*.srec *.s19 *.s28 *.s37 *.mot)", FilterSRecord},
    {"Raw binary (*.bin)", FilterBin},
    {"All files (*)", FilterAny},
};
// Save writes every format but ELF, which only the compiler makes.
constexpr Filter kSaveFilters[] = {
    {"Intel HEX (*.hex *.eep)", FilterHex},
    {"S-record (*.srec *.s19 *.s28 *.s37 *.mot)", FilterSRecord},
    {"Raw binary (*.bin)", FilterBin},
};

}  // namespace

std::optional<ChosenFile> MainWindow::ChooseFile(FileDialogKind kind)
{
    if (chooseFile_) return chooseFile_(kind);
    QFileDialog dialog(this);
    dialog.setObjectName(kind == FileDialogKind::Open ? QStringLiteral("OpenDialog1") : QStringLiteral("SaveDialog1"));
    const std::span<const Filter> filters = kind == FileDialogKind::Open ? std::span<const Filter>(kOpenFilters)
                                                                         : std::span<const Filter>(kSaveFilters);
    QStringList names;
    for (const Filter& filter : filters) names << QString::fromLatin1(filter.text);
    dialog.setNameFilters(names);
    if (kind == FileDialogKind::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        // The extension follows the chosen filter, by the program's own rule, not the dialog's.
        dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    const auto chosen = static_cast<std::size_t>(std::max<qsizetype>(0, names.indexOf(dialog.selectedNameFilter())));
    return ChosenFile{dialog.selectedFiles().front(), filters[chosen].index};
}

void MainWindow::ReportFileFailure(const QString& action, const QString& name, const Result& result,
                                   bool loadedNothing)
{
    // Only a file that could not be read or written, one refused whole, or one loaded only in
    // part gets a box; "No chip selected" and a "Wrong file" line under what loaded say all there
    // is to say in the log. The box repeats the log's words, with the file's name and the
    // reason, so the failure cannot pass unnoticed.
    if (result.failure == FailureKind::FilePart || result.failure == FailureKind::FileBeyond) {
        // Loaded in part: what did load is in the view, over what it held before.
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("%1 %2 did not complete.\n\n%3\n\nWhat did load is shown over what "
                                            "the view held; the rest of the view is unchanged.")
                                 .arg(action, name, QString::fromStdString(result.words)));
        return;
    }
    const bool refusedWhole = loadedNothing && result.failure == FailureKind::FileContent;
    if (result.failure != FailureKind::File && !refusedWhole) return;
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("%1 %2 did not complete.\n\n%3")
                              .arg(action, name, QString::fromStdString(result.words)));
}

void MainWindow::LoadFile(MemoryKind memory)
{
    const auto chosen = ChooseFile(FileDialogKind::Open);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    const FileFormat format = LoadFormatFor(path, chosen->filterIndex);
    auto outcome = std::make_shared<Result>();
    auto load = std::make_shared<FileLoad>();
    RunCommand([this, path, format, memory, outcome, load] {
                   *outcome = LoadMemoryFileAs(*ctx_, path, format, memory, load.get());
               },
               [this, outcome, load, memory, format, name = chosen->name] {
                   // What the load put into the images goes over what the views held.
                   if (load->program) FillActiveView(views_, ctx_->chip, MemoryKind::Program);
                   if (load->data) FillActiveView(views_, ctx_->chip, MemoryKind::Data);
                   // A refused S-record or ELF file loaded nothing at all: unlike a HEX file
                   // stopped at a line, nothing on the screen shows it.
                   ReportFileFailure(QStringLiteral("Loading"), name, *outcome, format != FileFormat::IntelHex);
                   // A new program replaces the fuse bytes an earlier one offered.
                   if (outcome->Succeeded() && memory == MemoryKind::Program) {
                       fileFuses_ = load->fuses;
                       fuseFile_ = QFileInfo(name).fileName();
                   }
               });
}

void MainWindow::SaveFile(MemoryKind memory)
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    const int filter = chosen->filterIndex;
    // The file gets what the active page shows, edits included.
    StoreActiveView(views_, ctx_->chip, memory);
    auto outcome = std::make_shared<Result>();
    RunCommand([this, path, filter, memory, outcome] { *outcome = SaveMemoryFile(*ctx_, path, filter, memory); },
               [this, outcome, name = chosen->name] { ReportFileFailure(QStringLiteral("Saving"), name, *outcome); });
}

void MainWindow::OnSaveLog()
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    // A rich-text document whatever the name's extension; the name is taken as typed.
    const FileStatus status = SaveLogAs(ctx_->bus.log, chosen->name.toStdString());
    if (!status.ok) QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(status.message));
}

}  // namespace quillon::ui
