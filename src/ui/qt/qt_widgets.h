#pragma once
// Small painted controls of the loader window that Qt has no ready look for: the gradient progress
// bar, the sunken frame, the flat buttons and the version label with its reveal.
#include <QAbstractButton>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <string>

#include "loader/window_look.h"

namespace nurv::qtui {

// A colour of the window's description as Qt takes it.
constexpr QRgb AsQRgb(window_look::Colour colour) {
  return QRgb{colour.red} << 16 | QRgb{colour.green} << 8 | QRgb{colour.blue};
}

inline QString ToQ(const std::string& text) { return QString::fromStdString(text); }
inline std::string FromQ(const QString& text) { return text.toStdString(); }

// The window's Windows fonts, or the nearest installed ones: "MS Sans Serif" → DejaVu Sans,
// "Courier New" → DejaVu Sans Mono, "Georgia" → DejaVu Serif.
QFont MsSansSerif(int pixel_size);
QFont CourierNewBold(int pixel_size);
QFont GeorgiaBold(int pixel_size);

// The 15×15 green arrows of the history button: down (log hidden) or up (log shown).
QPixmap HistArrow(bool up);

// Smooth bar on a dark green ground, shaded lengthwise from #29D331 to #ADEFAD.
class GradientProgressBar : public QWidget {
  Q_OBJECT
 public:
  static constexpr QRgb kGround = AsQRgb(window_look::kBarGround);
  static constexpr QRgb kBarFrom = AsQRgb(window_look::kBarFrom);
  static constexpr QRgb kBarTo = AsQRgb(window_look::kBarTo);

  explicit GradientProgressBar(QWidget* parent = nullptr);
  void SetRange(int max);
  void SetValue(int value);
  int Value() const { return value_; }
  int Maximum() const { return max_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int max_ = 100;
  int value_ = 0;
};

// A lowered bevel: shadow on the top and left, highlight on the bottom and right.
class SunkenBevel : public QWidget {
  Q_OBJECT
 public:
  explicit SunkenBevel(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A flat, transparent button that shows only its caption; the caption changes colour under the
// pointer and a thin raised edge appears.
class FlatTextButton : public QAbstractButton {
  Q_OBJECT
 public:
  FlatTextButton(const QString& text, QColor normal, QColor hover, QWidget* parent = nullptr);
  bool Hovered() const { return hovered_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QColor normal_;
  QColor hover_;
  bool hovered_ = false;
};

// A flat button on a solid ground that shows one picture, centred.
class FlatPictureButton : public QAbstractButton {
  Q_OBJECT
 public:
  FlatPictureButton(QColor ground, QWidget* parent = nullptr);
  void SetPicture(const QPixmap& picture);
  const QPixmap& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QColor ground_;
  QPixmap picture_;
  bool hovered_ = false;
};

// A label that reveals its caption from left to right: the next character cycles upward from a
// blank until it reaches its own code, then settles, one step per tick.
class RevealLabel : public QLabel {
  Q_OBJECT
 public:
  static constexpr int kStepMs = 20;

  explicit RevealLabel(QWidget* parent = nullptr);
  // The caption to reveal; shown whole while the effect is off.
  void SetCaption(const QString& caption);
  // On: starts over from an empty label; off: stops and shows the whole caption.
  void SetRevealOn(bool on);
  bool Revealing() const { return timer_.isActive(); }
  const QTimer& Timer() const { return timer_; }
  // One step of the reveal (the timer's tick).
  void Step();

 private:
  QString caption_;
  int settled_ = 0;          // characters already in place
  char16_t cycling_ = u' ';  // the character cycling at position settled_
  QTimer timer_;
};

}  // namespace nurv::qtui
