#pragma once
#include <QMessageBox>
#include <QWidget>
#include <functional>
#include <string>

namespace nurv::qtui {

// A modal message box of the loader, titled with the application's name and showing `text` as
// typed. `parent` may be null: there is no window yet, or it is hidden.
void ShowLoaderMessage(QWidget* parent, QMessageBox::Icon icon, const std::string& text);

// Runs the program's window and returns its exit status. An error that escapes it (the window
// cannot be created, the run cannot start) is shown in a message box, since a program started from
// the desktop has no console, and gives status 3.
int RunShowingErrors(const std::function<int()>& run);

}  // namespace nurv::qtui
