// Message boxes: the Windows MessageBox call and the component library's MessageDlg, for the
// suite's windows. The box itself is drawn by the GUI part (dialogs_qt.h), which a program
// with windows installs at start-up; this part holds no GUI code, so programs without
// windows do not link the toolkit.
//
// Tests answer boxes instead of a user: while a MessageBoxScript lives, every box is
// recorded and answered from its queue (the box's default button when the queue is empty),
// and nothing is shown. A whole program run by a test is scripted through a file instead:
// with VREL_MESSAGEBOX_SCRIPT naming it, each box takes the next of the file's lines
// "answer IDYES" (IDOK, IDCANCEL, IDNO, ...) that the process has not used (its default
// button when none is left), nothing is shown, and a line is appended for the box:
//   box<TAB>caption<TAB>text<TAB>icon<TAB>buttons<TAB>answer
// (texts with \n, \r, \t and \\ escaped; the icon as its MB_ICON number; buttons as their
// ID names, separated by ","). Without a script and without an installed GUI part, a box is
// answered with its default button, as if Enter were pressed.
//
// Callers are the programs' own code on their GUI thread; the texts are shown as given.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

using UINT = std::uint32_t;

// MessageBox buttons, icons and default button (the uType argument).
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_YESNOCANCEL = 0x3;
inline constexpr UINT MB_YESNO = 0x4;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr UINT MB_ICONERROR = 0x10;
inline constexpr UINT MB_ICONQUESTION = 0x20;
inline constexpr UINT MB_ICONWARNING = 0x30;
inline constexpr UINT MB_ICONINFORMATION = 0x40;
inline constexpr UINT MB_ICONMASK = 0xF0;
inline constexpr UINT MB_DEFBUTTON1 = 0x000;
inline constexpr UINT MB_DEFBUTTON2 = 0x100;
inline constexpr UINT MB_DEFBUTTON3 = 0x200;
inline constexpr UINT MB_DEFMASK = 0xF00;
inline constexpr UINT MB_TASKMODAL = 0x2000;

// The button that closed a box.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// One box as asked for: the icon (an MB_ICON value or 0), the buttons (IDs, in the order
// shown) and the default one.
struct MessageBoxRecord {
    std::string text;
    std::string caption;
    UINT icon = 0;
    std::vector<int> buttons;
    int defaultButton = IDOK;
};

// Shows a modal box; the ID of the button pressed.
int MessageBox(std::string_view text, std::string_view caption, UINT type);

// The component library's dialog types and buttons; the caption is the type's title
// ("Warning", "Error", "Information", "Confirm"), or the application title for mtCustom.
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : UINT {
    mbYes = 1 << 0,
    mbNo = 1 << 1,
    mbOK = 1 << 2,
    mbCancel = 1 << 3,
    mbAbort = 1 << 4,
    mbRetry = 1 << 5,
    mbIgnore = 1 << 6,
};
using TMsgDlgButtons = UINT;
// Results as ModalResult gives them.
inline constexpr int mrOk = IDOK;
inline constexpr int mrCancel = IDCANCEL;
inline constexpr int mrYes = IDYES;
inline constexpr int mrNo = IDNO;
// Buttons are shown in the library's order (Yes, No, OK, Cancel, Abort, Retry, Ignore); the
// default is OK when present, else Yes, else Retry. The help context is not used by the box.
int MessageDlg(std::string_view text, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);

// The component library's ShowMessage: the text in a box with the application title as its
// caption and one OK button.
void ShowMessage(std::string_view text);

// Records or shows a box built by the caller (MessageBox and MessageDlg build theirs).
int Present(const MessageBoxRecord& record);

// What the GUI part installs: shows the box and answers the button pressed.
using MessageBoxPresenter = std::function<int(const MessageBoxRecord&)>;
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

// The application title (mtCustom boxes take it as caption).
void SetApplicationTitle(std::string_view title);
std::string ApplicationTitle();

// True when a window can be shown: a display (DISPLAY or WAYLAND_DISPLAY) or a platform
// chosen for the toolkit (QT_QPA_PLATFORM, e.g. "offscreen" in tests).
bool DisplayAvailable();

// For tests: while it lives, boxes are recorded and answered from Answers; one at a time.
class MessageBoxScript {
  public:
    explicit MessageBoxScript(std::deque<int> answers = {});
    MessageBoxScript(const MessageBoxScript&) = delete;
    MessageBoxScript& operator=(const MessageBoxScript&) = delete;
    ~MessageBoxScript();

    void Answer(int id) { answers_.push_back(id); }
    const std::vector<MessageBoxRecord>& Shown() const { return shown_; }

  private:
    friend int Present(const MessageBoxRecord& record);
    std::deque<int> answers_;
    std::vector<MessageBoxRecord> shown_;
};

}  // namespace win
