// The File menu of the main window: the open and save dialogs, loading and saving program and
// data files through the core's file commands, and saving the log.
#include <QFileDialog>
#include <QMessageBox>

#include "core/FileIo.h"
#include "log/SaveLog.h"
#include "images/FileCommands.h"
#include "log/Log.h"
#include "ui/CommandRunner.h"
#include "ui/MainWindow.h"

namespace quillon::ui {

namespace {

const QStringList kFilters = {QStringLiteral("*.hex"), QStringLiteral("*.eep"), QStringLiteral("*.bin")};

MemoryKind MemoryOf(int kind)
{
    return kind == 1 ? MemoryKind::Program : MemoryKind::Data;
}

}  // namespace

std::optional<ChosenFile> MainWindow::ChooseFile(FileDialogKind kind)
{
    if (chooseFile_) return chooseFile_(kind);
    QFileDialog dialog(this);
    dialog.setObjectName(kind == FileDialogKind::Open ? QStringLiteral("OpenDialog1") : QStringLiteral("SaveDialog1"));
    dialog.setNameFilters(kFilters);
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
    const int index = static_cast<int>(kFilters.indexOf(dialog.selectedNameFilter()));
    return ChosenFile{dialog.selectedFiles().front(), index < 0 ? 1 : index + 1};
}

void MainWindow::ReportFileFailure(const QString& action, const QString& name, const Result& result)
{
    // A file that could not be read or written, or loaded only in part, gets a box; "No chip
    // selected" and a "Wrong file" line say all there is to say in the log. The box repeats the log's words,
    // with the file's name and the system's reason, so the failure cannot pass unnoticed.
    if (result.failure == FailureKind::FilePart || result.failure == FailureKind::FileBeyond) {
        // Loaded in part: what did load is in the view, over what it held before.
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("%1 %2 did not complete.\n\n%3\n\nWhat did load is shown over what "
                                            "the view held; the rest of the view is unchanged.")
                                 .arg(action, name, QString::fromStdString(result.words)));
        return;
    }
    if (result.failure != FailureKind::File) return;
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("%1 %2 did not complete.\n\n%3")
                              .arg(action, name, QString::fromStdString(result.words)));
}

void MainWindow::LoadFile(int kind)
{
    const auto chosen = ChooseFile(FileDialogKind::Open);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    auto outcome = std::make_shared<Result>();
    RunCommand([this, path, kind, outcome] { *outcome = LoadMemoryFile(*ctx_, path, MemoryOf(kind)); },
               [this, outcome, name = chosen->name] { ReportFileFailure(QStringLiteral("Loading"), name, *outcome); });
}

void MainWindow::SaveFile(int kind)
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    const int filter = chosen->filterIndex;
    auto outcome = std::make_shared<Result>();
    RunCommand([this, path, filter, kind, outcome] { *outcome = SaveMemoryFile(*ctx_, path, filter, MemoryOf(kind)); },
               [this, outcome, name = chosen->name] { ReportFileFailure(QStringLiteral("Saving"), name, *outcome); });
}

void MainWindow::SaveLogas1Click()
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    // A rich-text document whatever the name's extension; the name is taken as typed.
    const FileStatus status = SaveLogAs(ctx_->bus.log, chosen->name.toStdString());
    if (!status.ok) QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(status.message));
}

}  // namespace quillon::ui
