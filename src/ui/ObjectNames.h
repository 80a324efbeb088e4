// The object names of the window's widgets, menu items and dialogs: the names Qt reports, which
// stored window settings, the tests and scripts that drive the window look widgets up by. They
// keep the names the window has always had; the code spells them only through these constants.
#pragma once

#include <QString>
#include <array>
#include <utility>

#include "chips/MemoryKind.h"

namespace quillon::ui::names {

// The main window and its panel.
inline constexpr char kMainWindow[] = "Form1";
inline constexpr char kCentral[] = "Central";
inline constexpr char kConnectionPanel[] = "Panel1";
inline constexpr char kLogPanel[] = "Panel3";
inline constexpr char kConnect[] = "Button1";
inline constexpr char kDisconnect[] = "Button2";
inline constexpr char kPortBox[] = "ComboBox1";
inline constexpr char kAutosearch[] = "Button3";
inline constexpr char kChipName[] = "Edit1";
inline constexpr char kIdBox[] = "Edit2";
inline constexpr char kDelay[] = "TrackBar1";
inline constexpr char kDelayValue[] = "DelayValue";

// The eight operation buttons.
inline constexpr char kReadProgram[] = "Button4";
inline constexpr char kWriteProgram[] = "Button5";
inline constexpr char kVerifyProgram[] = "Button6";
inline constexpr char kReadCalibration[] = "Button7";
inline constexpr char kReadData[] = "Button8";
inline constexpr char kWriteData[] = "Button9";
inline constexpr char kVerifyData[] = "Button10";
inline constexpr char kChipErase[] = "Button11";

// The two pages and their hex views, and the log pane.
inline constexpr char kPages[] = "PageControl1";
inline constexpr char kPage1[] = "TabSheet1";
inline constexpr char kPage2[] = "TabSheet2";
inline constexpr char kFlashPage1[] = "RichEdit1";
inline constexpr char kFlashPage2[] = "RichEdit2";
inline constexpr char kEepromPage1[] = "RichEdit3";
inline constexpr char kEepromPage2[] = "RichEdit4";
inline constexpr char kLogPane[] = "RichEdit5";

inline const char* PageName(int page) { return page == 1 ? kPage2 : kPage1; }
inline const char* HexViewName(int page, MemoryKind memory)
{
    if (memory == MemoryKind::Program) return page == 1 ? kFlashPage2 : kFlashPage1;
    return page == 1 ? kEepromPage2 : kEepromPage1;
}

// The menus and their items.
inline constexpr char kMenuBar[] = "MainMenu1";
inline constexpr char kFileMenu[] = "File1";
inline constexpr char kLoadProgram[] = "LoadProgramfromFile1";
inline constexpr char kLoadProgramOver[] = "LoadProgramOver1";
inline constexpr char kSaveProgram[] = "SaveProgramtoFile1";
inline constexpr char kLoadData[] = "Open1";
inline constexpr char kLoadDataOver[] = "LoadDataOver1";
inline constexpr char kSaveData[] = "Save1";
inline constexpr char kRecentFiles[] = "RecentFiles1";
inline constexpr char kSaveLog[] = "SaveLogas1";
inline constexpr char kProduction[] = "Production1";
inline constexpr char kExit[] = "Exit1";

inline constexpr char kEditMenu[] = "Edit3";
inline constexpr char kLockFuses[] = "LockFuses1";
inline constexpr char kRescueChip[] = "RescueChip1";
inline constexpr char kSkipBlankPages[] = "SkipBlankPages1";
inline constexpr char kVerifyAfterWrite[] = "VerifyAfterWrite1";
inline constexpr char kAnswersInFlightMenu[] = "AnswersInFlightMenu1";
// The items of the Answers in flight menu, by depth; 0 is Automatic.
inline constexpr std::array<std::pair<int, const char*>, 7> kAnswersInFlight = {{
    {0, "AnswersInFlight0"}, {1, "AnswersInFlight1"}, {2, "AnswersInFlight2"}, {4, "AnswersInFlight4"},
    {8, "AnswersInFlight8"}, {16, "AnswersInFlight16"}, {32, "AnswersInFlight32"},
}};
constexpr const char* AnswersInFlight(int depth)
{
    for (const auto& [n, name] : kAnswersInFlight)
        if (n == depth) return name;
    return "";
}
inline constexpr char kUnboundedInFlight[] = "UnboundedInFlight1";
inline constexpr char kCheckChip[] = "CheckChip1";
inline constexpr char kCheckAnswers[] = "CheckAnswers1";
inline constexpr char kPowerDown[] = "PowerDown1";
inline constexpr char kUndo[] = "Undo1";
inline constexpr char kRedo[] = "Redo1";
inline constexpr char kGoTo[] = "GoTo1";
inline constexpr char kFind[] = "Find1";
inline constexpr char kFindNext[] = "FindNext1";
inline constexpr char kFindPrevious[] = "FindPrevious1";
inline constexpr char kFillFF[] = "FillFF1";
inline constexpr char kCompareProgram[] = "CompareProgram1";
inline constexpr char kCompareData[] = "CompareData1";

inline constexpr char kChipMenu[] = "ChipSelect1";
inline constexpr char kHelpMenu[] = "Help1";
inline constexpr char kAbout[] = "About1";
inline constexpr char kHowToConnect[] = "TavroConnection1";

// The status bar.
inline constexpr char kStatusBar[] = "StatusBar1";
inline constexpr char kStatusPort[] = "StatusPort";
inline constexpr char kStatusChip[] = "StatusChip";
inline constexpr char kStatusResult[] = "StatusResult";

// The window's file dialogs and message boxes.
inline constexpr char kOpenDialog[] = "OpenDialog1";
inline constexpr char kSaveDialog[] = "SaveDialog1";
inline constexpr char kConfirmation[] = "Confirmation";
inline constexpr char kUnsavedEdits[] = "UnsavedEdits";
inline constexpr char kCancelToClose[] = "CancelToClose";

// The progress window.
inline constexpr char kProgressWindow[] = "LBar";
inline constexpr char kProgressPanel[] = "Panel1";
inline constexpr char kProgressBar[] = "ProgressBar1";
inline constexpr char kProgressText[] = "ProgressText";

// The Lock & Fuses dialog.
inline constexpr char kLockFusesForm[] = "LockFusesForm";
inline constexpr char kBitsPanel[] = "Panel1";
inline constexpr char kReadLockFuses[] = "Button1";
inline constexpr char kWriteLockFuses[] = "Button2";
// By slot 0..3: the group of named-bit boxes, the hex byte under it, and the slot's hex field
// on the Settings tab.
inline constexpr std::array<const char*, 4> kBitGroup = {"GroupBox1", "GroupBox2", "GroupBox3", "GroupBox4"};
inline constexpr std::array<const char*, 4> kByteLabel = {"ByteLabel1", "ByteLabel2", "ByteLabel3", "ByteLabel4"};
inline constexpr std::array<const char*, 4> kHexField = {"HexEdit1", "HexEdit2", "HexEdit3", "HexEdit4"};
// Bit b of slot g: box number 8g + b + 1, 1..32.
inline QString BitBox(int number) { return QStringLiteral("CheckBox%1").arg(number); }

// Buttons of the dialogs.
inline constexpr char kOkButton[] = "OKButton";
inline constexpr char kCancelButton[] = "CancelButton";

// The About box, its lines from the top, and the picture window.
inline constexpr char kAboutBox[] = "AboutBox";
inline constexpr char kAboutPanel[] = "Panel1";
inline constexpr char kAboutFreeware[] = "Label1";
inline constexpr char kAboutDemonstrates[] = "Label2";
inline constexpr char kAboutInterface[] = "Label3";
inline constexpr char kAboutGateway[] = "Label5";
inline constexpr char kAboutDocumentation[] = "Label7";
inline constexpr char kAboutOnlineHelp[] = "Label9";
inline constexpr char kAboutGuideIntro[] = "Label10";
inline constexpr char kAboutGuide[] = "Label11";
inline constexpr char kAboutVersion[] = "Label8";
inline constexpr char kPicture[] = "Image1";

}  // namespace quillon::ui::names
