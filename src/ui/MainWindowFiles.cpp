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

void MainWindow::ReportFileFailure(const QString& action, const QString& name, std::size_t firstLine)
{
    // The core has logged what went wrong, with the file's name and the system's reason; the
    // same lines go into the box so the failure cannot pass unnoticed.
    const auto lines = ctx_->log.Lines();
    QStringList details;
    for (std::size_t i = firstLine; i < lines.size(); ++i) details << QString::fromStdString(lines[i]);
    QMessageBox::critical(this, QStringLiteral("Error"),
                          QStringLiteral("%1 %2 did not complete.\n\n%3").arg(action, name, details.join(u'\n')));
}

void MainWindow::LoadFile(int kind)
{
    const auto chosen = ChooseFile(FileDialogKind::Open);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    const std::size_t firstLine = ctx_->log.Size();
    auto result = std::make_shared<LoadResult>();
    RunCommand([this, path, kind, result] { *result = LoadImageFile(*ctx_, path, MemoryOf(kind)); },
               [this, result, name = chosen->name, firstLine] {
                   // "No chip selected" and a "Wrong file" line say all there is to say in the
                   // log; a file that could not be read, or loaded only in part, gets a box.
                   const FileOutcome outcome = OutcomeOf(*result);
                   if (outcome == FileOutcome::Failed) ReportFileFailure(QStringLiteral("Loading"), name, firstLine);
                   if (outcome == FileOutcome::Incomplete)
                       QMessageBox::warning(
                           this, QStringLiteral("Warning"),
                           QStringLiteral("Loading %1 did not complete.\n\n%2\n\nWhat did load is shown over what "
                                          "the view held; the rest of the view is unchanged.")
                               .arg(name, QString::fromStdString(result->message)));
               });
}

void MainWindow::SaveFile(int kind)
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    const std::string path = chosen->name.toStdString();
    const int filter = chosen->filterIndex;
    const std::size_t firstLine = ctx_->log.Size();
    auto outcome = std::make_shared<FileOutcome>(FileOutcome::Done);
    RunCommand([this, path, filter, kind, outcome] { *outcome = SaveMemoryFile(*ctx_, path, filter, MemoryOf(kind)); },
               [this, outcome, name = chosen->name, firstLine] {
                   if (*outcome == FileOutcome::Failed) ReportFileFailure(QStringLiteral("Saving"), name, firstLine);
               });
}

void MainWindow::SaveLogas1Click()
{
    const auto chosen = ChooseFile(FileDialogKind::Save);
    if (!chosen) return;
    // A rich-text document whatever the name's extension; the name is taken as typed.
    const FileStatus status = SaveLogAs(ctx_->log, chosen->name.toStdString());
    if (!status.ok) QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(status.message));
}

}  // namespace quillon::ui
