#include "message_box.h"

#include "platform/win32/wide_text.h"

namespace nurv::winui {

void ShowLoaderMessage(HWND owner, const std::string& text, UINT style) {
  MessageBoxW(owner, platform::win32::Widen(text).c_str(), kAppTitle, MB_OK | style);
}

}  // namespace nurv::winui
