#include "message_box.h"

#include <QGuiApplication>

#include "qt_widgets.h"

namespace nurv::qtui {

void ShowLoaderMessage(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
  QMessageBox box(icon, QGuiApplication::applicationDisplayName(), ToQ(text), QMessageBox::Ok,
                  parent);
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("MessageBox"));
  box.exec();
}

}  // namespace nurv::qtui
