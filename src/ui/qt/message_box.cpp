#include "message_box.h"

#include <QGuiApplication>
#include <cstdio>
#include <exception>

#include "qt_widgets.h"

namespace nurv::qtui {

void ShowLoaderMessage(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QGuiApplication::applicationDisplayName(), ToQ(text), QMessageBox::Ok,
                  parent);
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.exec();
}

int RunShowingErrors(const std::function<int()>& run) {
  try {
    return run();
  } catch (const std::exception& error) {
    // Also on stderr, for a start from a terminal or a script.
    std::fprintf(stderr, "%s\n", error.what());
    ShowLoaderMessage(nullptr, QMessageBox::Critical, error.what());
    return 3;
  }
}

}  // namespace nurv::qtui
