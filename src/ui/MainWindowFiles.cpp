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
#include "ui/ObjectNames.h"

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
    std::optional<ChosenFile> chosen = chooseFile_ ? chooseFile_(kind) : ChooseInDialog(kind);
    if (chosen) RememberFolder(kind, chosen->name);
    return chosen;
}

std::optional<ChosenFile> MainWindow::ChooseInDialog(FileDialogKind kind)
{
    QFileDialog dialog(this);
    if (const QString folder = RememberedFolder(kind); !folder.isEmpty()) dialog.setDirectory(folder);
    dialog.setObjectName(kind == FileDialogKind::Open ? QString::fromLatin1(names::kOpenDialog) : QString::fromLatin1(names::kSaveDialog));
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

void MainWindow::ReportFileFailure(const QString& action, const QString& name, const Result& result)
{
    // A file that could not be read or written, one refused or cut short, and one loaded without
    // its data beyond the memory get a box: the log's words, the file's name and the reason, so
    // the failure cannot pass unnoticed. "No chip selected" says all there is to say in the log.
    if (result.failure == FailureKind::FileBeyond) {
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("%1 %2 did not complete.\n\n%3\n\nWhat fits in the memory was loaded.")
                                 .arg(action, name, QString::fromStdString(result.Words())));
        return;
    }
    const bool loading = action == QStringLiteral("Loading");
    if (result.failure == FailureKind::File || (loading && (result.failure == FailureKind::FileContent ||
                                                            result.failure == FailureKind::FilePart))) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("%1 %2 did not complete.\n\n%3%4")
                                  .arg(action, name, QString::fromStdString(result.Words()),
                                       loading ? QStringLiteral("\n\nNothing was loaded: the view is as it was.")
                                               : QString()));
    }
}

void MainWindow::LoadFile(MemoryKind memory, LoadInto how)
{
    if (how == LoadInto::Replace &&
        !AskToDropEdits(1u << quillon::ActiveView(views_, memory), QStringLiteral("Load the file")))
        return;
    const auto chosen = ChooseFile(FileDialogKind::Open);
    if (chosen) LoadChosenFile(memory, *chosen, how, false);
}

void MainWindow::LoadChosenFile(MemoryKind memory, const ChosenFile& chosen, LoadInto how, bool ask)
{
    if (runner_->Busy()) return;
    if (ask && how == LoadInto::Replace && !AskToDropEdits(1u << quillon::ActiveView(views_, memory), QStringLiteral("Load the file"))) return;
    const std::string path = chosen.name.toStdString();
    const FileFormat format = LoadFormatFor(path, chosen.filterIndex);
    // Over what the view holds means over what it shows, edits included.
    if (how == LoadInto::Over) StoreActiveView(views_, session_->chip, memory);
    auto load = std::make_shared<FileLoad>();
    RunCommand([path, format, memory, how, load](Session& session) {
                   return LoadMemoryFileWhole(session, path, format, memory, how, load.get());
               },
               [this, load, memory, name = chosen.name](const Result& result) {
                   RememberResult(memory == MemoryKind::Program ? QStringLiteral("Load Program") : QStringLiteral("Load Data"),
                              result);
                   // Only a load that took the file names the images it filled.
                   for (const MemoryKind kind : {MemoryKind::Program, MemoryKind::Data}) {
                       if (!(kind == MemoryKind::Program ? load->program : load->data)) continue;
                       FillActiveView(views_, session_->chip, kind);
                       edited_ &= ~(1u << quillon::ActiveView(views_, kind));
                   }
                   ReportFileFailure(QStringLiteral("Loading"), name, result);
                   if (result.Succeeded() || result.failure == FailureKind::FileBeyond) RememberLoaded(memory, name);
                   // A new program replaces the fuse bytes an earlier one offered.
                   if (result.Succeeded() && memory == MemoryKind::Program) {
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
    // The file gets what the active page shows, edits included; the image is the worker's while
    // a command runs.
    if (runner_->Busy()) return;
    StoreActiveView(views_, session_->chip, memory);
    RunCommand([path, filter, memory](Session& session) { return SaveMemoryFile(session, path, filter, memory); },
               [this, memory, name = chosen->name](const Result& result) {
                   RememberResult(memory == MemoryKind::Program ? QStringLiteral("Save Program") : QStringLiteral("Save Data"),
                              result);
                   if (result.Succeeded()) edited_ &= ~(1u << quillon::ActiveView(views_, memory));
                   ReportFileFailure(QStringLiteral("Saving"), name, result);
               });
}

void MainWindow::OnSaveLog()
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    // A rich-text document whatever the name's extension; the name is taken as typed.
    const Failure status = SaveLogAs(session_->bus.log, chosen->name.toStdString());
    if (status.Failed()) QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(status.words));
}

}  // namespace quillon::ui
