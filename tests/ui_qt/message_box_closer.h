#pragma once
#include <gtest/gtest.h>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QTimer>

namespace nurv::qtui {

// Once the next modal message box is up, keeps its text in `text` and presses its OK button.
inline void CloseNextMessageBox(QString& text) {
  QTimer::singleShot(0, [&text] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) {
      ADD_FAILURE() << "no message box shown";
      return;
    }
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
}

}  // namespace nurv::qtui
