#pragma once
#include <QMessageBox>
#include <QWidget>
#include <string>

namespace nurv::qtui {

// A modal message box of the loader, titled with the application's name and showing `text` as
// typed. `parent` may be null: there is no window yet, or it is hidden.
void ShowLoaderMessage(QWidget* parent, QMessageBox::Icon icon, const std::string& text);

}  // namespace nurv::qtui
