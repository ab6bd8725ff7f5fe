#pragma once
#include <windows.h>

namespace nurv::winui {

// The small pictures of the chooser's two buttons: a floppy disk for "Сохранить в реестре" and a
// green tick for "Начать работу".
enum class ButtonPicture { Save, Start };

// The colours that carry each picture, for drawing and for telling it apart on screen.
constexpr COLORREF kSavePictureColour = RGB(0x1F, 0x4E, 0xA8);
constexpr COLORREF kStartPictureColour = RGB(0x17, 0xA3, 0x2B);

// Draws an owner-drawn push button as a plain one, with `picture` left of its caption in `font`.
void DrawPictureButton(const DRAWITEMSTRUCT& item, ButtonPicture picture, HFONT font);

}  // namespace nurv::winui
