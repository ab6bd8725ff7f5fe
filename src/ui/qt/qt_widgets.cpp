#include "qt_widgets.h"

#include <QEnterEvent>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <algorithm>

namespace nurv::qtui {

namespace {

QFont PickFont(const QString& wanted, const QString& stand_in, int pixel_size, bool bold) {
  QFont font(QFontDatabase::hasFamily(wanted) ? wanted : stand_in);
  font.setPixelSize(pixel_size);
  font.setBold(bold);
  // Keep the stand-in itself: fontconfig would otherwise be free to swap in any sans font.
  font.setStyleStrategy(QFont::PreferMatch);
  return font;
}

}  // namespace

QFont MsSansSerif(int pixel_size) {
  return PickFont(QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"), pixel_size,
                  false);
}

QFont CourierNewBold(int pixel_size) {
  return PickFont(QStringLiteral("Courier New"), QStringLiteral("DejaVu Sans Mono"), pixel_size,
                  true);
}

QFont GeorgiaBold(int pixel_size) {
  return PickFont(QStringLiteral("Georgia"), QStringLiteral("DejaVu Serif"), pixel_size, true);
}

QPixmap HistArrow(bool up) {
  QPixmap picture(15, 15);
  picture.fill(Qt::transparent);
  QPainter painter(&picture);
  painter.setRenderHint(QPainter::Antialiasing);
  // Shaft and head of a downward arrow; the upward one is its mirror image.
  QPainterPath arrow;
  arrow.addRect(5.5, 1.5, 4, 6);
  QPolygonF head;
  head << QPointF(1.5, 7.0) << QPointF(13.5, 7.0) << QPointF(7.5, 13.5);
  arrow.addPolygon(head);
  arrow = arrow.simplified();
  if (up) arrow = QTransform(1, 0, 0, -1, 0, 15).map(arrow);
  painter.setPen(QPen(QColor::fromRgb(AsQRgb(window_look::kArrowEdge)), 1));
  painter.setBrush(QColor::fromRgb(AsQRgb(window_look::kArrowFill)));
  painter.drawPath(arrow);
  return picture;
}

GradientProgressBar::GradientProgressBar(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void GradientProgressBar::SetRange(int max) {
  max_ = std::max(1, max);
  value_ = std::clamp(value_, 0, max_);
  update();
}

void GradientProgressBar::SetValue(int value) {
  value = std::clamp(value, 0, max_);
  if (value == value_) return;
  value_ = value;
  update();
}

void GradientProgressBar::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgb(kGround));
  const int filled = static_cast<int>(static_cast<long long>(width()) * value_ / max_);
  if (filled <= 0) return;
  // The shading spans the whole bar, so a colour stays where it is while the bar grows.
  QLinearGradient shade(0, 0, width(), 0);
  shade.setColorAt(0, QColor::fromRgb(kBarFrom));
  shade.setColorAt(1, QColor::fromRgb(kBarTo));
  painter.fillRect(QRect(0, 0, filled, height()), shade);
}

SunkenBevel::SunkenBevel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SunkenBevel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int r = width() - 1;
  const int b = height() - 1;
  painter.setPen(QColor::fromRgb(AsQRgb(window_look::kBevelShadow)));
  painter.drawLine(0, 0, r, 0);
  painter.drawLine(0, 0, 0, b);
  painter.setPen(QColor::fromRgb(AsQRgb(window_look::kBevelLight)));
  painter.drawLine(0, b, r, b);
  painter.drawLine(r, 0, r, b);
}

FlatTextButton::FlatTextButton(const QString& text, QColor normal, QColor hover, QWidget* parent)
    : QAbstractButton(parent), normal_(normal), hover_(hover) {
  setText(text);
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void FlatTextButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (hovered_) {
    const int r = width() - 1;
    const int b = height() - 1;
    painter.setPen(QColor::fromRgb(AsQRgb(window_look::kBevelShadow)));
    painter.drawLine(0, 0, r, 0);
    painter.drawLine(0, 0, 0, b);
    painter.setPen(QColor::fromRgb(AsQRgb(window_look::kEdgeDark)));
    painter.drawLine(0, b, r, b);
    painter.drawLine(r, 0, r, b);
  }
  painter.setFont(font());
  painter.setPen(hovered_ ? hover_ : normal_);
  const QPoint shift = isDown() ? QPoint(1, 1) : QPoint();
  painter.drawText(rect().translated(shift), Qt::AlignCenter, text());
}

void FlatTextButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void FlatTextButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

FlatPictureButton::FlatPictureButton(QColor ground, QWidget* parent)
    : QAbstractButton(parent), ground_(ground) {
  setFocusPolicy(Qt::NoFocus);
  setAttribute(Qt::WA_Hover);
}

void FlatPictureButton::SetPicture(const QPixmap& picture) {
  picture_ = picture;
  update();
}

void FlatPictureButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ground_);
  if (hovered_ || isDown()) {
    const int r = width() - 1;
    const int b = height() - 1;
    painter.setPen(isDown() ? QColor::fromRgb(AsQRgb(window_look::kEdgeDark))
                            : QColor::fromRgb(AsQRgb(window_look::kEdgeMid)));
    painter.drawLine(0, 0, r, 0);
    painter.drawLine(0, 0, 0, b);
    painter.setPen(isDown() ? QColor::fromRgb(AsQRgb(window_look::kEdgeMid))
                            : QColor::fromRgb(AsQRgb(window_look::kEdgeDark)));
    painter.drawLine(0, b, r, b);
    painter.drawLine(r, 0, r, b);
  }
  const QPoint at((width() - picture_.width()) / 2, (height() - picture_.height()) / 2);
  painter.drawPixmap(at + (isDown() ? QPoint(1, 1) : QPoint()), picture_);
}

void FlatPictureButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void FlatPictureButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

RevealLabel::RevealLabel(QWidget* parent) : QLabel(parent) {
  timer_.setInterval(kStepMs);
  connect(&timer_, &QTimer::timeout, this, &RevealLabel::Step);
}

void RevealLabel::SetCaption(const QString& caption) {
  caption_ = caption;
  if (!timer_.isActive()) setText(caption_);
}

void RevealLabel::SetRevealOn(bool on) {
  if (!on) {
    timer_.stop();
    setText(caption_);
    return;
  }
  settled_ = 0;
  cycling_ = u' ';
  setText(caption_.isEmpty() ? QString() : QStringLiteral(" "));
  timer_.start();
}

void RevealLabel::Step() {
  if (settled_ < caption_.size()) {
    const char16_t target = caption_.at(settled_).unicode();
    if (cycling_ < target) ++cycling_;
    if (cycling_ >= target) {
      ++settled_;
      cycling_ = u' ';
    }
  }
  if (settled_ >= caption_.size()) {
    timer_.stop();
    setText(caption_);
    return;
  }
  setText(caption_.left(settled_) + QChar(cycling_));
}

}  // namespace nurv::qtui
