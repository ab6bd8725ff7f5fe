#include "loader_window.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

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
  static void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    // This thread's chooser: other test processes may show theirs at the same time.
    HWND dialog = ThreadWindow(L"ChooserDialog", false);
    if (!dialog || !IsWindowVisible(dialog)) return;
    if (next >= steps.size()) {
      KillTimer(nullptr, timer);
      return;
    }
    steps[next++](dialog);
  }
};

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

}  // namespace
}  // namespace nurv::winui
