// The Qt widgets of the control kit's labels, tick boxes and lines, and the caption fitting the
// labels draw with.
#pragma once
#include <QCheckBox>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QStringList>
#include <QWidget>

#include "ui/controls.h"

namespace qt_frontend {

class QtHost;

// How a label draws its caption in `area`: lines broken at spaces only, in the font narrowed or
// made smaller as far as it takes for every word to show.
struct CaptionFit {
  QFont font;
  QStringList lines;
};
CaptionFit FitCaption(const QFont& font, const QString& text, const QRect& area);

// A label that hands a left click to the core when the model gives it a handler.
class ClickableLabel : public QLabel {
 public:
  ClickableLabel(QtHost& host, ui::Label& label, QWidget* parent);
  void Detach() { detached_ = true; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QtHost& host_;
  ui::Label& label_;
  bool detached_ = false;
};

// A tick box whose state belongs to the model alone: Qt never toggles it (the click is handed to
// the core, which toggles and may refuse), and its caption wraps within the designed box.
class TickBoxWidget : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  void nextCheckState() override {}
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
  void paintEvent(QPaintEvent*) override;
};

// A straight line of the control's colour and pixel width, drawn inside a widget just large enough
// to hold it, so it covers nothing else of the window.
class LineWidget : public QWidget {
 public:
  LineWidget(const ui::Line& line, QWidget* parent);
  void set_colour(QColor c) {
    colour_ = c;
    update();
  }
  QColor colour() const { return colour_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const ui::Line& line_;
  QPoint from_, to_;
  QColor colour_ = Qt::black;
};

}  // namespace qt_frontend
