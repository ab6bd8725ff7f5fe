#include "chooser_dialog.h"

#include <commctrl.h>

#include <optional>
#include <string>

#include "button_picture.h"
#include "message_box.h"
#include "platform/win32/wide_text.h"
#include "window_owner.h"

namespace nurv::winui {

using platform::win32::Narrow;
using platform::win32::Widen;

namespace {

constexpr wchar_t kDialogClass[] = L"ChooserDialog";
constexpr int kClientWidth = 501;
constexpr int kClientHeight = 340;
constexpr int kColumns = 3;
constexpr int kSaveButtonId = 101;
constexpr int kOkId = IDOK;
constexpr UINT_PTR kClickEditTimer = 1;

// The model's move for one of the grid's moving keys, by the keys held with it.
ChooserModel::Move GridMove(WPARAM key) {
  using Move = ChooserModel::Move;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  switch (key) {
    case VK_TAB:
      return GetKeyState(VK_SHIFT) < 0 ? Move::PreviousCell : Move::NextCell;
    case VK_HOME:
      return ctrl ? Move::CtrlHome : Move::Home;
    case VK_END:
      return ctrl ? Move::CtrlEnd : Move::End;
    case VK_PRIOR:
      return Move::PageUp;
    default:
      return Move::PageDown;
  }
}

// The grid and its cell editor take every key but Ctrl+Tab, which leaves them for the buttons.
LRESULT GridDialogCode(LPARAM lparam) {
  const auto* message = reinterpret_cast<const MSG*>(lparam);
  const bool ctrl_tab = message && message->message == WM_KEYDOWN && message->wParam == VK_TAB &&
                        GetKeyState(VK_CONTROL) < 0;
  return ctrl_tab ? DLGC_WANTARROWS | DLGC_WANTCHARS : DLGC_WANTALLKEYS;
}

}  // namespace

ChooserDialog::ChooserDialog(HINSTANCE instance, ChooserModel& model)
    : instance_(instance), model_(model) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &ChooserDialog::DialogProc;
  window_class.hInstance = instance_;
  window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kDialogClass;
  RegisterClassExW(&window_class);
}

ChooserDialog::~ChooserDialog() {
  // The dialog goes before its font.
  if (dialog_) DestroyWindow(dialog_);
}

bool ChooserDialog::ShowModal(HWND owner) {
  // A tool window that stays on top, client 501x340, centred on the screen.
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD ex_style = WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
  RECT frame{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  dialog_ = CreateWindowExW(ex_style, kDialogClass, L"Выбор БД", style, left, top, width, height,
                            owner, nullptr, instance_, this);
  if (!dialog_) return false;

  grid_ = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                          WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LVS_REPORT |
                              LVS_SINGLESEL | LVS_NOSORTHEADER,
                          2, 2, 497, 305, dialog_, nullptr, instance_, nullptr);
  ListView_SetExtendedListViewStyle(grid_, LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
  SendMessageW(grid_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  // Rows of the model's height: an image list of pictures 1 wide and that high sets it.
  HIMAGELIST rows = ImageList_Create(1, ChooserModel::kRowHeight, ILC_COLOR, 1, 0);
  ListView_SetImageList(grid_, rows, LVSIL_SMALL);
  for (int col = 0; col < kColumns; ++col) {
    std::wstring title = Widen(model_.Cell(col, 0));
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = 0;
    column.iSubItem = col;
    ListView_InsertColumn(grid_, col, &column);
  }
  SetWindowLongPtrW(grid_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  grid_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(grid_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChooserDialog::GridProc)));

  button_edit_ = CreateWindowExW(
      0, L"BUTTON", L"Сохранить в реестре", WS_CHILD | WS_TABSTOP | BS_OWNERDRAW, 10, 311, 143, 25,
      dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kSaveButtonId)), instance_, nullptr);
  button_ok_ = CreateWindowExW(
      0, L"BUTTON", L"Начать работу", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 370, 312,
      115, 25, dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kOkId)), instance_, nullptr);
  SendMessageW(button_edit_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  SendMessageW(button_ok_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  Sync();

  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(dialog_, SW_SHOW);
  SetFocus(grid_);
  MSG message;
  while (!done_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: leave its quit message for the main loop; the dialog counts as
      // closed by its close box.
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));
      End(false);
      break;
    }
    // F4 anywhere in the dialog, before any control sees it.
    if (message.message == WM_KEYDOWN && message.wParam == VK_F4 &&
        (message.hwnd == dialog_ || IsChild(dialog_, message.hwnd))) {
      ToggleEditMode();
      continue;
    }
    // The dialog's own keyboard navigation: Tab between the buttons, Enter and Space on them.
    if (IsDialogMessageW(dialog_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  if (owner) {
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
  }
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  return ok_;
}

void ChooserDialog::End(bool ok) {
  // Whatever is typed in an open cell counts, also when the dialog is cancelled.
  FinishEdit(true);
  ok_ = ok;
  done_ = true;
}

void ChooserDialog::ToggleEditMode() {
  FinishEdit(true);
  model_.ToggleEditMode();
  Sync();
}

void ChooserDialog::Sync() {
  const int rows = std::max(0, model_.RowCount() - 1);
  if (ListView_GetItemCount(grid_) != rows) {
    ListView_DeleteAllItems(grid_);
    for (int row = 0; row < rows; ++row) {
      LVITEMW item{};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.pszText = const_cast<wchar_t*>(L"");
      ListView_InsertItem(grid_, &item);
    }
  }
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < kColumns; ++col) {
      std::wstring text = Widen(model_.Cell(col, row + 1));
      ListView_SetItemText(grid_, row, col, text.data());
    }
  }
  const std::vector<int> widths = model_.ColumnWidths();
  for (int col = 0; col < kColumns; ++col) {
    ListView_SetColumnWidth(grid_, col, col < static_cast<int>(widths.size()) ? widths[col] : 0);
  }
  ShowWindow(button_edit_, model_.EditMode() ? SW_SHOW : SW_HIDE);
  const int current = model_.CurrentRow() - 1;
  if (current >= 0 && current < rows) ListView_EnsureVisible(grid_, current, FALSE);
  InvalidateRect(grid_, nullptr, FALSE);
}

LRESULT ChooserDialog::CustomDraw(NMLVCUSTOMDRAW* draw) {
  switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
      // The list's own selection is not used: the model's current cell or row is painted instead.
      draw->nmcd.uItemState &= ~(CDIS_SELECTED | CDIS_FOCUS);
      return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM: {
      const int row = static_cast<int>(draw->nmcd.dwItemSpec) + 1;
      const bool current = row == model_.CurrentRow() &&
                           (!model_.EditMode() || draw->iSubItem == model_.CurrentCol());
      draw->clrText = GetSysColor(current ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
      draw->clrTextBk = GetSysColor(current ? COLOR_HIGHLIGHT : COLOR_WINDOW);
      return CDRF_NEWFONT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void ChooserDialog::BeginEdit(const std::wstring* initial) {
  if (!model_.EditMode() || editor_) return;
  edit_row_ = model_.CurrentRow();
  edit_col_ = model_.CurrentCol();
  RECT cell{};
  cell.top = edit_col_;
  cell.left = LVIR_LABEL;
  if (!ListView_GetSubItemRect(grid_, edit_row_ - 1, edit_col_, LVIR_LABEL, &cell)) return;
  const std::wstring text = initial ? *initial : Widen(model_.Cell(edit_col_, edit_row_));
  editor_ = CreateWindowExW(
      0, L"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL, cell.left,
      cell.top, cell.right - cell.left, cell.bottom - cell.top, grid_, nullptr, instance_, nullptr);
  SendMessageW(editor_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
  SetWindowLongPtrW(editor_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  editor_proc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      editor_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChooserDialog::EditorProc)));
  const int length = GetWindowTextLengthW(editor_);
  SendMessageW(editor_, EM_SETSEL, initial ? length : 0, length);
  SetFocus(editor_);
}

void ChooserDialog::FinishEdit(bool keep) {
  if (!editor_) return;
  HWND editor = editor_;
  editor_ = nullptr;  // first: destroying the editor moves the focus, which calls here again
  if (keep) {
    const int length = GetWindowTextLengthW(editor);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(editor, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    model_.SetCell(edit_col_, edit_row_, Narrow(text));
  }
  DestroyWindow(editor);
  SetFocus(grid_);
  Sync();
}

bool ChooserDialog::GridKey(WPARAM key) {
  switch (key) {
    case VK_RETURN:
      End(true);  // the default button
      return true;
    case VK_F2:
      BeginEdit(nullptr);
      return true;
    case VK_TAB:
    case VK_HOME:
    case VK_END:
    case VK_PRIOR:
    case VK_NEXT:
      model_.MoveCurrent(GridMove(key), ListView_GetCountPerPage(grid_));
      Sync();
      return true;
    case VK_UP:
    case VK_DOWN:
    case VK_LEFT:
    case VK_RIGHT: {
      static constexpr ChooserModel::Key kKeys[] = {ChooserModel::Key::Left, ChooserModel::Key::Up,
                                                    ChooserModel::Key::Right,
                                                    ChooserModel::Key::Down};
      model_.HandleArrowKey(kKeys[key - VK_LEFT]);
      Sync();
      return true;
    }
    default:
      return false;
  }
}

LRESULT CALLBACK ChooserDialog::GridProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<ChooserDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_GETDLGCODE:
      return GridDialogCode(lparam);
    case WM_KEYDOWN:
      if (self->GridKey(wparam)) return 0;
      break;
    case WM_CHAR:
      // Typing in edit mode opens the cell with the typed character.
      if (self->model_.EditMode() && wparam >= L' ' && wparam != 0x7F) {
        const std::wstring typed(1, static_cast<wchar_t>(wparam));
        self->BeginEdit(&typed);
        return 0;
      }
      if (wparam == L'\r' || wparam == L'\t') return 0;
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      self->FinishEdit(true);
      KillTimer(self->dialog_, kClickEditTimer);
      LVHITTESTINFO hit{};
      hit.pt = POINT{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      if (ListView_SubItemHitTest(window, &hit) >= 0 && hit.iItem >= 0) {
        const bool edit = self->model_.EditMode();
        const bool on_current = edit && hit.iItem + 1 == self->model_.CurrentRow() &&
                                hit.iSubItem == self->model_.CurrentCol();
        self->model_.SetCurrent(edit ? hit.iSubItem : self->model_.CurrentCol(), hit.iItem + 1);
        self->Sync();
        // A click on the current cell opens its editor, once no second click has made it a
        // double click.
        if (on_current && message == WM_LBUTTONDOWN) {
          SetTimer(self->dialog_, kClickEditTimer, GetDoubleClickTime(), nullptr);
        }
      }
      SetFocus(window);
      // A double click gives OK in either mode, on a row or on the empty area below the rows.
      if (message == WM_LBUTTONDBLCLK) self->End(true);
      return 0;
    }
    default:
      break;
  }
  return CallWindowProcW(self->grid_proc_, window, message, wparam, lparam);
}

LRESULT CALLBACK ChooserDialog::EditorProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* self = reinterpret_cast<ChooserDialog*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  const WNDPROC proc = self->editor_proc_;
  switch (message) {
    case WM_GETDLGCODE:
      return GridDialogCode(lparam);
    case WM_KEYDOWN:
      if (wparam == VK_ESCAPE) {
        self->FinishEdit(false);  // Esc drops the typing, never closes the dialog
        return 0;
      }
      if (wparam == VK_RETURN || wparam == VK_UP || wparam == VK_DOWN || wparam == VK_TAB) {
        self->FinishEdit(true);
        self->GridKey(wparam);
        return 0;
      }
      break;
    case WM_CHAR:
      if (wparam == L'\r' || wparam == 27 || wparam == L'\t') return 0;
      break;
    case WM_LBUTTONDBLCLK:
      self->End(true);  // a double click on the grid, also inside its open cell, gives OK
      return 0;
    case WM_KILLFOCUS:
      if (self->editor_ == window) {
        const LRESULT result = CallWindowProcW(proc, window, message, wparam, lparam);
        self->FinishEdit(true);
        return result;
      }
      break;
    default:
      break;
  }
  return CallWindowProcW(proc, window, message, wparam, lparam);
}

LRESULT CALLBACK ChooserDialog::DialogProc(HWND window, UINT message, WPARAM wparam,
                                           LPARAM lparam) {
  auto* self = OwnerOfWindow<ChooserDialog>(window, message, lparam);
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->OnMessage(window, message, wparam, lparam);
}

LRESULT ChooserDialog::OnMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == kOkId) {
        End(true);
        return 0;
      }
      if (LOWORD(wparam) == kSaveButtonId) {
        FinishEdit(true);
        const std::optional<std::string> error = model_.SaveToRegistry();
        Sync();
        if (error) ShowLoaderMessage(dialog_, *error, MB_ICONERROR);
        return 0;
      }
      break;
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lparam);
      if (header->hwndFrom == grid_ && header->code == NM_CUSTOMDRAW) {
        return CustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(lparam));
      }
      // Hidden columns stay hidden: their dividers cannot be dragged open.
      if (header->code == HDN_BEGINTRACKW || header->code == HDN_BEGINTRACKA) {
        const int col = reinterpret_cast<NMHEADERW*>(lparam)->iItem;
        return col >= static_cast<int>(model_.ColumnWidths().size()) ? TRUE : FALSE;
      }
      break;
    }
    case WM_PAINT: {
      // The panel that holds the controls: a raised edge round the whole client area.
      const WindowPaint paint(dialog_);
      RECT panel;
      GetClientRect(dialog_, &panel);
      DrawEdge(paint.Dc(), &panel, BDR_RAISEDINNER, BF_RECT);
      return 0;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      DrawPictureButton(item,
                        item.hwndItem == button_edit_ ? ButtonPicture::Save : ButtonPicture::Start,
                        font_.Get());
      return TRUE;
    }
    case DM_GETDEFID:
      // Enter presses the focused "Сохранить в реестре", elsewhere the default button.
      return MAKELRESULT(GetFocus() == button_edit_ ? kSaveButtonId : kOkId, DC_HASDEFID);
    case WM_NEXTDLGCTL:
      // The dialog manager's move to the next or previous control, asked of a plain window.
      SetFocus(lparam ? reinterpret_cast<HWND>(wparam)
                      : GetNextDlgTabItem(dialog_, GetFocus(), wparam != 0));
      return 0;
    case WM_TIMER:
      if (wparam != kClickEditTimer) break;
      KillTimer(dialog_, kClickEditTimer);
      BeginEdit(nullptr);
      return 0;
    case WM_CLOSE:
      End(false);  // the close box
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace nurv::winui
