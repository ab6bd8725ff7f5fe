#pragma once
#include <windows.h>

#include <string>

namespace nurv::winui {

// The application's title: the task bar's and every message box's.
inline constexpr wchar_t kAppTitle[] = L"Загрузчик НУРВ";

// A modal message box of the loader showing `text`, over `owner` (null: no window of the loader is
// up); `style` adds the icon and modality to MB_OK.
void ShowLoaderMessage(HWND owner, const std::string& text, UINT style);

}  // namespace nurv::winui
