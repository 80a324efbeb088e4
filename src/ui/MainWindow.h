// The main window: connection controls, chip identity, the eight operation buttons, the four hex
// views on two pages, the log pane and the menus. Widgets show the core's state and pass the
// user's commands down; every command runs on the worker thread.
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "chips/MemoryKind.h"
#include "core/Result.h"
#include "operations/Confirmation.h"
#include "images/FileCommands.h"
#include "images/Views.h"
#include "operations/Session.h"
#include "ui/CommandRunner.h"

class QAction;
class QActionGroup;
class QLabel;
class QSettings;
class QComboBox;
class QLineEdit;
class QMenu;
class QPushButton;
class QSlider;
class QTabWidget;

namespace quillon::ui {

class AboutBox;
struct ButtonCommand;
class FindDialog;
class HexViewWidget;
class IdBox;
class LogPane;
class PortBox;
class WindowSettings;
class UiProgress;

// What the user chose in a file dialog: the name and what the chosen filter stands for (a
// SaveFilter: 1 Intel HEX, 2 Intel HEX as .eep, 3 raw binary, 4 S-record, 5 ELF, 0 any).
struct ChosenFile {
    QString name;
    int filterIndex = 1;
};

enum class FileDialogKind { Open, Save };

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The window owns the session it works on for its whole life.
    explicit MainWindow(std::unique_ptr<Session> session, QWidget* parent = nullptr);
    ~MainWindow() override;

    Session& CurrentSession() { return *session_; }
    // The documents the hex views show and edit, with the active page.
    ViewSet& Views() { return views_; }
    CommandRunner& Runner() { return *runner_; }
    UiProgress& Progress() { return *progress_; }
    AboutBox& About() { return *about_; }
    // The hex views by their index in the ViewSet: ViewIndex(page, memory).
    HexViewWidget* View(int index) const;
    bool Connected() const { return connected_; }
    // The title while the port is closed by a gateway failure in the connected look.
    static QString PortLostTitle();

    // Remembers the port, delay, page, geometry, folders and recent files in `settings` from now
    // on, and restores what it holds. Without it the window starts with the built-in port, delay
    // and page every time, as kiosk stations and the tests expect (kept: docs/compatibility.md).
    void UseSettings(std::unique_ptr<QSettings> settings);

    // Replaces the file dialogs, so that a script or a test can answer them.
    using FileChooser = std::function<std::optional<ChosenFile>(FileDialogKind kind)>;
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // The port names the COM box offers: the system's serial ports, COM1 to COM10, the
    // simulated gateways.
    static QStringList PortNames();

    // Ends the program without a question, as the end of the session (or a closed terminal)
    // asks: a command under way is cancelled first, then the socket is switched off, the port
    // closed and every window closed.
    void EndWithoutAsking();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildPanel();
    void BuildPages();
    void BuildMenus();
    void BuildChipMenu(QMenu* menu);
    void SetConnected(bool connected);
    // After a command: a gateway failure that closed the port leaves the connected look, and
    // the title says what happened and how to go on.
    void ShowPortState();
    // A command is running and the window is asked to close: true to close once it is cancelled.
    bool AskCancelToClose();

    // One of the eight operation buttons (MainWindow.cpp, kButtonCommands).
    void RunButtonCommand(const ButtonCommand& command);

    // The Edit menu's choices and the delay, into the session: as each command starts, and at
    // once when one changes while no command runs (the session is then this thread's).
    void CopyOptions();
    void OptionChanged();
    // Runs `work` on the worker thread with the options copied into the session first; `done`
    // gets the result on this thread. False, and nothing runs, while a command is under way.
    bool RunCommand(CommandRunner::Work work, CommandRunner::Done done = {});
    // As RunCommand, and the status line says how the command (named as its button is) ended.
    void RunOperation(const QString& command, CommandRunner::Work work, CommandRunner::Done done = {});
    // Keeps how the command ended for the status bar, which shows it once the command's run ends.
    void RememberResult(const QString& command, const Result& result);
    // Brings the hex views and the chip boxes up to what the documents hold.
    void SyncFromCore();
    bool AskYesNo(const QString& caption, const QString& text);
    // The warnings of the writes and the erase, asked in a box while the command waits.
    // `onFirstYes` runs on this thread at the first Yes, while the command still waits for it.
    Confirm ConfirmOnGuiThread(std::function<void()> onFirstYes = {});
    // A write takes the active page's bytes of that memory into the image once the user agreed
    // to it, and only then: a No leaves the image as it was.
    Confirm ConfirmWriting(MemoryKind memory);

    void OnConnect();
    void OnDisconnect();
    void OnPortChanged();
    void OnAutosearch();
    // Loads a file into the active page's view of that memory: in place of what it held, or over
    // it. A replacing load asks first when the view has unsaved edits (unless `ask` is off: the
    // caller asked already).
    void LoadFile(MemoryKind memory, LoadInto how = LoadInto::Replace);
    void LoadChosenFile(MemoryKind memory, const ChosenFile& chosen, LoadInto how = LoadInto::Replace,
                        bool ask = true);
    void SaveFile(MemoryKind memory);
    void OnSaveLog();
    void ReportFileFailure(const QString& action, const QString& name, const Result& result);
    // True when none of the views in `views` (bit i: view i) has edits since its last load, read,
    // save or write, or when the user agrees to lose them before `action`.
    bool AskToDropEdits(unsigned views, const QString& action);
    void OnExit();
    void OnLockFuses();
    void OnRescueChip();  // read a parallel chip in high-voltage mode and restore its factory fuses
    void OnHowToConnect();
    std::optional<ChosenFile> ChooseFile(FileDialogKind kind);
    std::optional<ChosenFile> ChooseInDialog(FileDialogKind kind);

    // The Edit menu's tools on the views (MainWindowTools.cpp): undo, go to, find, fill and
    // compare, and the menus' shortcuts.
    void BuildEditTools(QMenu* edit);
    void AddShortcuts();
    // The view the Edit tools work on: the one that last had the focus, on the active page.
    HexViewWidget* ActiveEditView() const;
    HexViewWidget* ActiveView(MemoryKind memory) const;
    void OnCompare(MemoryKind memory);
    // The chip now holds what the active view of that kind shows: no byte is changed or differs.
    void MarkWritten(MemoryKind memory);
    void OnGoTo();
    void OnFind();
    void FindAgain(bool forward);

    // Settings, recent files, the status bar and dropped files (MainWindowSettings.cpp).
    void BuildRecentMenu(QMenu* file);
    void ShowRecentFiles();
    void RememberFolder(FileDialogKind kind, const QString& file);
    QString RememberedFolder(FileDialogKind kind) const;
    void RememberLoaded(MemoryKind memory, const QString& file);
    void BuildStatusBar();
    void ShowStatus();

    std::unique_ptr<Session> session_;
    // Written on this thread only: before a command hands the image over, and after it ended.
    ViewSet views_;
    CommandRunner* runner_;
    UiProgress* progress_;
    AboutBox* about_ = nullptr;
    bool connected_ = false;
    bool closeAfterCommand_ = false;  // the user chose to cancel the command and close
    bool endingWithoutAsking_ = false;  // a signal or the session's end: close with no questions
    unsigned dirty_ = 0;  // bit i: view i changed; bit 4: name and ID boxes
    unsigned edited_ = 0;             // bit i: the user edited view i since its last load, read, save or write
    FileChooser chooseFile_;
    // Fuse and lock bytes of the last program file loaded, until the Lock & Fuses dialog has
    // shown them.
    std::optional<FileFuses> fileFuses_;
    QString fuseFile_;

    QPushButton* connectButton_ = nullptr;
    QPushButton* disconnectButton_ = nullptr;
    QPushButton* autosearchButton_ = nullptr;
    std::array<QPushButton*, 8> operationButtons_{};  // Button4 .. Button11
    PortBox* portBox_ = nullptr;
    QLineEdit* chipNameBox_ = nullptr;
    IdBox* idBox_ = nullptr;
    QSlider* delaySlider_ = nullptr;
    QTabWidget* pages_ = nullptr;
    std::array<HexViewWidget*, 2> flashViews_{};   // by page
    std::array<HexViewWidget*, 2> eepromViews_{};  // by page
    LogPane* logPane_ = nullptr;
    QAction* lockFusesItem_ = nullptr;
    QAction* skipBlankPages_ = nullptr;  // Edit > Skip blank pages when writing
    QAction* verifyAfterWrite_ = nullptr;  // Edit > Verify after writing
    QActionGroup* answersInFlight_ = nullptr;  // Edit > Answers in flight, one checked; its data is N
    QAction* unboundedInFlight_ = nullptr;     // Edit > Answers in flight > Past the gateway's input
    QAction* checkChip_ = nullptr;     // Edit > Check the chip's signature before writing
    QAction* checkAnswers_ = nullptr;  // Edit > Check that the gateway answers during writes
    QAction* powerDown_ = nullptr;     // Edit > Switch the socket off after every command
    std::vector<QAction*> connectedActions_;  // enabled while connected, as the buttons are
    bool lastViewFlash_ = true;               // the Edit tools' view: flash or EEPROM
    FindDialog* findDialog_ = nullptr;
    std::unique_ptr<WindowSettings> settings_;
    QMenu* recentMenu_ = nullptr;
    QLabel* statusPort_ = nullptr;
    QLabel* statusChip_ = nullptr;
    QLabel* statusResult_ = nullptr;
    QLabel* statusDifference_ = nullptr;  // a verify's first difference, both bytes
    QString lastCommand_;            // the caption of the command under way or last run
    std::optional<Result> lastResult_;
    qint64 commandStarted_ = 0;      // ms since the epoch
};

}  // namespace quillon::ui
