#include "loader_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "button_picture.h"
#include "chooser_dialog.h"
#include "common/test_registry.h"
#include "platform/registry.h"

namespace nurv::winui {
namespace {

// Handles messages until `done` holds or ten seconds have passed; the window's own timers
// (banner, version reveal) run meanwhile.
template <typename Done>
bool PumpUntil(LoaderWindow& window, Done done) {
  const ULONGLONG give_up = GetTickCount64() + 10000;
  while (!done() && GetTickCount64() < give_up) {
    window.ProcessMessages();
    window.WaitForMessages(std::chrono::milliseconds(10));
  }
  return done();
}

// A window closed by an earlier test leaves the thread's quit message behind; each test starts
// without it, as a program does.
void DropQuitMessage() {
  MSG message;
  while (PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
}

class Win32UiTest : public ::testing::Test {
 protected:
  void SetUp() override { DropQuitMessage(); }
  void TearDown() override { DropQuitMessage(); }
};

void Click(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  SendMessageW(window, WM_MOUSEMOVE, 0, at);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
}

RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

std::wstring LogViewText(HWND window) {
  HWND memo = FindWindowExW(window, nullptr, L"EDIT", nullptr);
  const int length = GetWindowTextLengthW(memo);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  GetWindowTextW(memo, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

const ScreenGeometry kScreen{1920, 1080, 1920, 1080};

TEST_F(Win32UiTest, BorderlessWindowPlacedAndToggledByTheHistoryButton) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  window.Initialise(kScreen, false);
  window.FirstShow(kScreen);
  HWND handle = window.Handle();
  EXPECT_EQ(GetWindowLongW(handle, GWL_STYLE) & WS_CAPTION, 0);
  RECT r = WindowRect(handle);
  EXPECT_EQ(r.right - r.left, 501);
  EXPECT_EQ(r.bottom - r.top, 100);
  EXPECT_EQ(r.left, 709);
  EXPECT_EQ(r.top, 490);

  Click(handle, 480, 70);  // LogButton
  r = WindowRect(handle);
  EXPECT_EQ(window.Height(), 500);
  EXPECT_EQ(r.bottom - r.top, 500);
  EXPECT_EQ(r.top, 165);
  EXPECT_EQ(window.LogButtonPicture(), 1);
  Click(handle, 480, 70);
  EXPECT_EQ(WindowRect(handle).top, 365);
  EXPECT_EQ(window.LogButtonPicture(), 0);
  Click(handle, 300, 30);  // the banner is no button
  EXPECT_EQ(window.Height(), 100);
}

TEST_F(Win32UiTest, LogShowsEveryLineAndIsClearedWithTheModel) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  window.Initialise(kScreen, false);
  window.AddLogLine("ИНИЦИАЛИЗАЦИЯ");
  window.AddLogLine("first\r\nsecond");
  window.AddLogLine("");
  EXPECT_EQ(LogViewText(window.Handle()), L"ИНИЦИАЛИЗАЦИЯ\r\nfirst\r\nsecond\r\n");
  window.ClearLog();
  EXPECT_EQ(LogViewText(window.Handle()), L"");
  window.AddLogLine("again");
  EXPECT_EQ(LogViewText(window.Handle()), L"again");
}

TEST_F(Win32UiTest, CloseButtonPlaysTheBannerAndClosesTheWindow) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  window.Initialise(kScreen, true);  // /wait: the close button still closes
  window.Show();
  Click(window.Handle(), 480, 70);
  Click(window.Handle(), 440, 73);  // CloseButton
  EXPECT_FALSE(window.KeepOpen());
  EXPECT_FALSE(window.ProgressVisible());
  EXPECT_EQ(window.Height(), 100);
  EXPECT_TRUE(window.AnimationStarted());
  EXPECT_TRUE(PumpUntil(window, [&] { return window.Handle() == nullptr; }));
  EXPECT_TRUE(window.CloseRequested());
}

TEST_F(Win32UiTest, CloseDuringTheWorkWaitsForItsEnd) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  window.Initialise(kScreen, false);
  bool alive_at_end = false;
  int runs = 0;
  window.SetActivateHandler([&] {
    ++runs;
    window.PressClose();
    PumpUntil(window, [&] { return window.CloseRequested(); });
    alive_at_end = IsWindow(window.Handle()) != 0;
  });
  window.Show();
  EXPECT_TRUE(PumpUntil(window, [&] { return window.Handle() == nullptr; }));
  EXPECT_TRUE(alive_at_end);
  EXPECT_EQ(runs, 1);  // later activations never run it again
}

TEST_F(Win32UiTest, WaitForMessagesReturnsForAPostedMessage) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  PostMessageW(window.Handle(), WM_NULL, 0, 0);
  // Would block for a minute if the posted message did not wake it.
  const DWORD before = GetTickCount();
  window.WaitForMessages(std::chrono::minutes(1));
  EXPECT_LT(GetTickCount() - before, 30000u);
  window.ProcessMessages();
}

// The first window of this thread of class `class_name` (and visible, when asked), or null. A named
// callback: the i686 build takes no lambda for WNDENUMPROC's stdcall convention.
struct WindowSearch {
  const wchar_t* class_name;
  bool visible_only;
  HWND found = nullptr;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM search_address) {
  auto& search = *reinterpret_cast<WindowSearch*>(search_address);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (std::wstring(name) != search.class_name) return TRUE;
  if (search.visible_only && !IsWindowVisible(window)) return TRUE;
  search.found = window;
  return FALSE;
}

HWND ThreadWindow(const wchar_t* class_name, bool visible_only) {
  WindowSearch search{class_name, visible_only};
  EnumThreadWindows(GetCurrentThreadId(), &MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Drives the chooser once it is up: one step per timer tick, so that the dialog's own loop handles
// what a step posts before the next step runs.
struct DialogDriver {
  static inline std::vector<std::function<void(HWND)>> steps;
  static inline std::size_t next = 0;
  static inline bool in_step = false;  // a step that handles messages itself ticks no other step
  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    // This thread's chooser: other test processes may show theirs at the same time.
    HWND dialog = ThreadWindow(L"ChooserDialog", false);
    if (in_step || !dialog || !IsWindowVisible(dialog)) return;
    if (next >= steps.size()) {
      KillTimer(nullptr, timer);
      return;
    }
    in_step = true;
    steps[next++](dialog);
    in_step = false;
  }
};

// Inside a step: handles the dialog's messages until `done` holds or five seconds have passed.
bool PumpDialogUntil(const std::function<bool()>& done) {
  const ULONGLONG give_up = GetTickCount64() + 5000;
  MSG message;
  while (!done() && GetTickCount64() < give_up) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
  return done();
}

bool RunDialog(ChooserModel& model, std::vector<std::function<void(HWND)>> steps) {
  DialogDriver::steps = std::move(steps);
  DialogDriver::next = 0;
  SetTimer(nullptr, 0, 20, &DialogDriver::Tick);
  ChooserDialog dialog(GetModuleHandleW(nullptr), model);
  const bool ok = dialog.ShowModal(nullptr);
  DropQuitMessage();
  return ok;
}

HWND Grid(HWND dialog) { return FindWindowExW(dialog, nullptr, L"SysListView32", nullptr); }

void Key(HWND target, WPARAM key) {
  SendMessageW(target, WM_KEYDOWN, key, 0);
  SendMessageW(target, WM_KEYUP, key, 0);
}

void DoubleClick(HWND window, int x, int y) {
  const LPARAM at = MAKELPARAM(x, y);
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
  SendMessageW(window, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
  SendMessageW(window, WM_LBUTTONUP, 0, at);
}

HWND CellEditor(HWND dialog) { return FindWindowExW(Grid(dialog), nullptr, L"EDIT", nullptr); }

POINT CellCentre(HWND grid, int col, int row) {
  RECT cell{};
  ListView_GetSubItemRect(grid, row - 1, col, LVIR_LABEL, &cell);
  return {(cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2};
}

void ClickCell(HWND grid, int col, int row) {
  const POINT at = CellCentre(grid, col, row);
  SendMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
  SendMessageW(grid, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
}

std::wstring Caption(HWND window) {
  wchar_t text[64] = {};
  GetWindowTextW(window, text, 64);
  return text;
}

// The last step of a dialog that a failing step may have left open.
void CloseIfStillOpen(HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }

// A model of `rows` described connections.
void Describe(ChooserModel& model, int rows) {
  const bool edit = model.EditMode();
  if (!edit) model.ToggleEditMode();
  for (int row = 1; row <= rows; ++row) {
    model.SetCell(0, row, "c" + std::to_string(row));
    model.SetCurrent(0, row);
    if (row < rows) model.HandleArrowKey(ChooserModel::Key::Down);
  }
  if (!edit) model.ToggleEditMode();
  model.SetCurrent(0, 1);
}

// This thread's visible message box, or null.
HWND MessageBoxUp() { return ThreadWindow(L"#32770", true); }

TEST_F(Win32UiTest, ChooserCloseBoxCancelsOkAccepts) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.SetCell(0, 1, "Главная");
  EXPECT_FALSE(RunDialog(model, {[](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }}));
  EXPECT_TRUE(RunDialog(model, {[](HWND dialog) {
                          PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                        }}));
  // Esc never closes it; Enter on the grid is the default button.
  bool open_after_escape = false;
  EXPECT_TRUE(
      RunDialog(model, {[](HWND dialog) { PostMessageW(Grid(dialog), WM_KEYDOWN, VK_ESCAPE, 0); },
                        [&](HWND dialog) {
                          open_after_escape = IsWindowVisible(dialog) != 0;
                          Key(Grid(dialog), VK_RETURN);
                        }}));
  EXPECT_TRUE(open_after_escape);
}

TEST_F(Win32UiTest, ChooserF4ArrowsAndTypingReachTheModel) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.SetCell(0, 1, "Главная");
  model.SetCell(1, 1, "srv");
  bool button_shown = false;
  int rows_after_down = 0;
  const bool ok = RunDialog(
      model, {// F4 anywhere in the dialog switches the mode, before any control sees the key.
              [](HWND dialog) { PostMessageW(Grid(dialog), WM_KEYDOWN, VK_F4, 0); },
              [&](HWND dialog) {
                button_shown = IsWindowVisible(FindWindowExW(dialog, nullptr, L"BUTTON",
                                                             L"Сохранить в реестре")) != 0;
                Key(Grid(dialog), VK_DOWN);  // a described last row: a new empty row
                rows_after_down = model.RowCount();
                Key(Grid(dialog), VK_UP);  // an empty last row goes again
                Key(Grid(dialog), VK_RIGHT);
                SendMessageW(Grid(dialog), WM_CHAR, L'x', 0);  // typing opens the cell
                HWND editor = FindWindowExW(Grid(dialog), nullptr, L"EDIT", nullptr);
                if (!editor) {
                  ADD_FAILURE() << "no cell editor";
                  PostMessageW(dialog, WM_CLOSE, 0, 0);  // never leave the dialog open
                  return;
                }
                SendMessageW(editor, WM_CHAR, L'2', 0);
                Key(editor, VK_RETURN);  // keeps the text and accepts
              }});
  EXPECT_TRUE(ok);
  EXPECT_TRUE(model.EditMode());
  EXPECT_TRUE(button_shown);
  EXPECT_EQ(rows_after_down, 3);
  EXPECT_EQ(model.RowCount(), 2);
  EXPECT_EQ(model.Cell(1, 1), "x2");
  EXPECT_EQ(model.Cell(0, 1), "Главная");
}

TEST_F(Win32UiTest, ChooserDoubleClickBelowTheRowsAccepts) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.SetCell(0, 1, "Главная");
  for (bool edit : {false, true}) {
    if (edit) model.ToggleEditMode();
    EXPECT_TRUE(RunDialog(model, {[](HWND dialog) { DoubleClick(Grid(dialog), 100, 250); },
                                  // Still open: the double click was lost.
                                  [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }}))
        << (edit ? "edit mode" : "view mode");
  }
}

TEST_F(Win32UiTest, ChooserShowsAFailedSaveAndStaysOpen) {
  testing::ScopedTestRegistry test_registry("");
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.ToggleEditMode();
  model.SetCell(0, 1, "Главная");
  test_registry.MakeUnwritable();
  std::wstring shown;
  bool open_after_box = false;
  EXPECT_FALSE(RunDialog(
      model, {[](HWND dialog) {
                PostMessageW(FindWindowExW(dialog, nullptr, L"BUTTON", L"Сохранить в реестре"),
                             BM_CLICK, 0, 0);
              },
              [&](HWND) {
                HWND box = MessageBoxUp();
                if (!box) return;  // the save did not come back with a message box
                wchar_t text[512] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 512);  // the message box's text control
                shown = text;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
              },
              [&](HWND dialog) {
                open_after_box = IsWindowVisible(dialog) != 0 && MessageBoxUp() == nullptr;
                PostMessageW(dialog, WM_CLOSE, 0, 0);
              }}));
  EXPECT_EQ(shown.rfind(L"Сохранение в реестре - ОШИБКА\n[", 0), 0u);
  EXPECT_TRUE(open_after_box);
  EXPECT_EQ(model.Cell(0, 1), "Главная");
}

// Edit mode: a click on the current cell opens its editor, once the time of a double click has
// passed; a click on another cell only makes it current.
TEST_F(Win32UiTest, ChooserClickOnTheCurrentCellOpensItsEditor) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.ToggleEditMode();
  model.SetCell(1, 1, "old");
  bool editor_after_first_click = true;
  bool editor_opened = false;
  EXPECT_TRUE(RunDialog(model, {[&](HWND dialog) {
                                  ClickCell(Grid(dialog), 1, 1);
                                  editor_after_first_click = CellEditor(dialog) != nullptr;
                                  ClickCell(Grid(dialog), 1, 1);
                                  editor_opened = PumpDialogUntil(
                                      [&] { return CellEditor(dialog) != nullptr; });
                                  if (!editor_opened) return;
                                  SendMessageW(CellEditor(dialog), WM_CHAR, L'n', 0);
                                  Key(CellEditor(dialog), VK_RETURN);
                                },
                                CloseIfStillOpen}));
  EXPECT_FALSE(editor_after_first_click);
  EXPECT_TRUE(editor_opened);
  EXPECT_EQ(model.Cell(1, 1), "n");
}

// The moving keys in view mode, then the buttons by keyboard: Ctrl+Tab leaves the grid, Enter on
// the focused "Сохранить в реестре" saves, Tab goes on to "Начать работу", whose Space gives OK.
TEST_F(Win32UiTest, ChooserKeysMoveTheRowAndReachTheButtons) {
  testing::ScopedTestRegistry test_registry("");
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  Describe(model, 4);
  std::vector<int> rows;
  std::wstring focus_after_ctrl_tab;  // the focused control's caption
  std::wstring focus_after_tab;
  bool open_after_save = false;
  const auto press = [](HWND target, WPARAM key) {
    PostMessageW(target, WM_KEYDOWN, key, 0);
    PostMessageW(target, WM_KEYUP, key, 0);
  };
  const auto set_control = [](bool down) {
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
  };
  const bool ok = RunDialog(
      model, {[&](HWND dialog) {
                for (WPARAM key : {VK_END, VK_TAB, VK_TAB, VK_NEXT, VK_PRIOR, VK_END, VK_HOME}) {
                  Key(Grid(dialog), key);
                  rows.push_back(model.CurrentRow());
                }
                PostMessageW(Grid(dialog), WM_KEYDOWN, VK_F4, 0);
              },
              [&](HWND dialog) {
                set_control(true);
                PostMessageW(Grid(dialog), WM_KEYDOWN, VK_TAB, 0);
              },
              [&](HWND) {
                set_control(false);
                focus_after_ctrl_tab = Caption(GetFocus());
                press(GetFocus(), VK_RETURN);
              },
              [&](HWND dialog) {
                open_after_save = IsWindowVisible(dialog) != 0;
                press(GetFocus(), VK_TAB);
              },
              [&](HWND) {
                focus_after_tab = Caption(GetFocus());
                press(GetFocus(), VK_SPACE);
              },
              CloseIfStillOpen});
  EXPECT_EQ(rows, (std::vector<int>{4, 1, 2, 4, 1, 4, 1}))
      << "End, Tab (wraps), Tab, PgDn, PgUp, End, Home";
  EXPECT_EQ(focus_after_ctrl_tab, L"Сохранить в реестре");
  EXPECT_TRUE(open_after_save);
  const auto saved =
      platform::OpenCurrentUserRegistry()->Open("\\SOFTWARE\\NURVSQL\\DataBaseCaptions");
  EXPECT_TRUE(saved && saved->Query("DataBaseCaption4"));
  EXPECT_EQ(focus_after_tab, L"Начать работу");
  EXPECT_TRUE(ok);
}

// A double click inside an open cell editor gives OK and keeps what was typed.
TEST_F(Win32UiTest, ChooserDoubleClickInAnOpenEditorAccepts) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.ToggleEditMode();
  EXPECT_TRUE(RunDialog(model, {[](HWND dialog) {
                                  SendMessageW(Grid(dialog), WM_CHAR, L'w', 0);
                                  if (HWND editor = CellEditor(dialog)) DoubleClick(editor, 3, 3);
                                },
                                CloseIfStillOpen}));
  EXPECT_EQ(model.Cell(0, 1), "w");
}

// The panel's raised edge round the dialog, and each button's picture in its own colour.
TEST_F(Win32UiTest, ChooserShowsItsPanelAndTheButtonsPictures) {
  auto registry = platform::OpenCurrentUserRegistry();
  ChooserModel model(*registry);
  model.ToggleEditMode();
  const auto shows = [](HWND window, COLORREF colour) {
    RECT r{};
    GetClientRect(window, &r);
    HDC dc = GetDC(window);
    bool found = false;
    for (int y = 0; y < r.bottom && !found; ++y)
      for (int x = 0; x < r.right / 3 && !found; ++x) found = GetPixel(dc, x, y) == colour;
    ReleaseDC(window, dc);
    return found;
  };
  COLORREF corners[2] = {};
  bool save_picture = false;
  bool start_picture = false;
  RunDialog(model, {[&](HWND dialog) {
                      RedrawWindow(dialog, nullptr, nullptr,
                                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
                      HDC dc = GetDC(dialog);
                      corners[0] = GetPixel(dc, 0, 0);
                      corners[1] = GetPixel(dc, 500, 339);
                      ReleaseDC(dialog, dc);
                      save_picture =
                          shows(FindWindowExW(dialog, nullptr, L"BUTTON", L"Сохранить в реестре"),
                                kSavePictureColour);
                      start_picture =
                          shows(FindWindowExW(dialog, nullptr, L"BUTTON", L"Начать работу"),
                                kStartPictureColour);
                    },
                    CloseIfStillOpen});
  EXPECT_EQ(corners[0], GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(corners[1], GetSysColor(COLOR_BTNSHADOW));
  EXPECT_TRUE(save_picture);
  EXPECT_TRUE(start_picture);
}

// Steps come on their schedule whatever the timer's granularity: a tick that comes late runs every
// step due by then.
TEST_F(Win32UiTest, BannerAndRevealKeepTheirScheduleWhenTicksComeLate) {
  LoaderWindow window(GetModuleHandleW(nullptr));
  window.Initialise(kScreen, true);  // keep open: frame 19 closes nothing
  window.SetVersionLabel("00");      // 2 x 16 steps of 20 ms
  window.StartClosingAnimation();
  Sleep(700);
  window.ProcessMessages();
  EXPECT_EQ(window.VersionShown(), L"00") << "32 steps were due after 640 ms";
  EXPECT_GE(window.BannerFrame(), 12) << "14 frames were due after 700 ms";
}

}  // namespace
}  // namespace nurv::winui
