#pragma once
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "connection/chooser_model.h"
#include "gdi.h"

namespace nurv::winui {

// The database chooser dialog on Win32: a tool window with a report list view for the grid of
// ChooserModel (in-place editing of a cell in edit mode) and the two buttons. The model holds the
// logic; this class draws it and routes keys and clicks.
class ChooserDialog {
 public:
  ChooserDialog(HINSTANCE instance, ChooserModel& model);
  ~ChooserDialog();
  ChooserDialog(const ChooserDialog&) = delete;
  ChooserDialog& operator=(const ChooserDialog&) = delete;

  // Modal over `owner`: true for OK ("Начать работу", Enter, a double click), false for the
  // close box.
  bool ShowModal(HWND owner);

  HWND Handle() const { return dialog_; }

 private:
  static LRESULT CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK GridProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  bool GridKey(WPARAM key);
  LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
  void Sync();
  void BeginEdit(const std::wstring* initial);
  void FinishEdit(bool keep);
  void ToggleEditMode();
  void End(bool ok);

  HINSTANCE instance_;
  ChooserModel& model_;
  HWND dialog_ = nullptr;
  HWND grid_ = nullptr;
  HWND editor_ = nullptr;
  HWND button_edit_ = nullptr;
  HWND button_ok_ = nullptr;
  UniqueGdiObject<HFONT> font_ = MakeFont(L"MS Sans Serif", 11, false);
  WNDPROC grid_proc_ = nullptr;
  WNDPROC editor_proc_ = nullptr;
  int edit_row_ = 0;
  int edit_col_ = 0;
  bool done_ = false;
  bool ok_ = false;
};

}  // namespace nurv::winui
