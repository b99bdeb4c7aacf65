// The Qt widgets that draw the control kit's labels, tick boxes and lines as the layouts expect:
// captions broken at spaces only, a tick box the core alone toggles, a line that covers nothing else.
#include "frontend/qt/control_widgets.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>

#include "frontend/qt/form_window.h"
#include "frontend/qt/qt_host.h"

namespace qt_frontend {

namespace {

QStringList WrapAtSpaces(const QFontMetrics& fm, const QString& text, int width) {
  QStringList lines;
  for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
    QString line;
    for (const QString& word : paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      const QString longer = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
      if (line.isEmpty() || fm.horizontalAdvance(longer) <= width) {
        line = longer;
      } else {
        lines << line;
        line = word;
      }
    }
    lines << line;
  }
  return lines;
}

}  // namespace

CaptionFit FitCaption(const QFont& font, const QString& text, const QRect& area) {
  QFont f = font;
  QStringList lines = WrapAtSpaces(QFontMetrics(f), text, area.width());
  // A word that cannot fit is condensed a little rather than clipped at both ends.
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, QFontMetrics(f).horizontalAdvance(line));
  if (widest > area.width() && widest > 0) {
    f.setStretch(std::max(70, 100 * area.width() / widest));
    lines = WrapAtSpaces(QFontMetrics(f), text, area.width());
  }
  // Text wrapped onto more lines than the label can show is condensed a little, if that is enough.
  for (int stretch = 95; stretch >= 80 && QFontMetrics(f).height() * lines.size() > area.height() && lines.size() > 1;
       stretch -= 5) {
    QFont narrower = f;
    narrower.setStretch(std::min(f.stretch() > 0 ? f.stretch() : 100, stretch));
    const QStringList fewer = WrapAtSpaces(QFontMetrics(narrower), text, area.width());
    if (fewer.size() < lines.size()) {
      f = narrower;
      lines = fewer;
    }
  }
  // Still more lines than the label shows: a smaller font, rather than losing the last words.
  for (int size = f.pixelSize();
       size > 6 && lines.size() > 1 && QFontMetrics(f).height() * lines.size() > area.height();) {
    f.setPixelSize(--size);
    lines = WrapAtSpaces(QFontMetrics(f), text, area.width());
  }
  return CaptionFit{f, lines};
}

ClickableLabel::ClickableLabel(QtHost& host, ui::Label& label, QWidget* parent)
    : QLabel(parent), host_(host), label_(label) {}

// Lines break at spaces only, as a Windows static label breaks them: a word wider than the label
// (PELLUM-ON in its light) stays whole on one line, centred, instead of splitting at its hyphen
// into two lines that the label is too short to show.
void ClickableLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect area = contentsRect();
  const CaptionFit fit = FitCaption(font(), text(), area);
  const QFont& f = fit.font;
  const QStringList& lines = fit.lines;
  p.setFont(f);
  const QFontMetrics fm(f);
  const int block = fm.height() * static_cast<int>(lines.size());
  int y = (alignment() & Qt::AlignVCenter) ? area.top() + (area.height() - block) / 2 : area.top();
  const Qt::Alignment h = (alignment() & Qt::AlignHCenter) ? Qt::AlignHCenter : Qt::AlignLeft;
  for (const QString& line : lines) {
    style()->drawItemText(&p, QRect(area.left(), y, area.width(), fm.height()), int(h | Qt::AlignVCenter), palette(),
                          isEnabled(), line, foregroundRole());
    y += fm.height();
  }
}

void ClickableLabel::mousePressEvent(QMouseEvent* event) {
  if (!detached_ && event->button() == Qt::LeftButton && label_.clickable()) {
    event->accept();
    host_.Click(label_);
    return;
  }
  QLabel::mousePressEvent(event);
}

void TickBoxWidget::paintEvent(QPaintEvent*) {
  QStylePainter p(this);
  QStyleOptionButton opt;
  initStyleOption(&opt);
  QStyleOptionButton indicator = opt;
  indicator.rect = style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, this);
  indicator.rect.moveTop((height() - indicator.rect.height()) / 2);
  p.drawPrimitive(QStyle::PE_IndicatorCheckBox, indicator);
  // The designed gap between box and caption, narrower than most styles', so captions fit their box.
  const int gap = 3;
  QRect text_rect = rect().adjusted(indicator.rect.right() + 1 + gap, 0, 0, 0);
  style()->drawItemText(&p, text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, palette(), isEnabled(),
                        text(), QPalette::WindowText);
  if (hasFocus()) {
    QStyleOptionFocusRect focus;
    focus.initFrom(this);
    focus.rect = p.boundingRect(text_rect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, text())
                     .adjusted(-1, 0, 1, 0)
                     .intersected(rect());
    p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
  }
}

LineWidget::LineWidget(const ui::Line& line, QWidget* parent) : QWidget(parent), line_(line) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  const int pad = std::max(1, line.pixel_width());
  const QPoint a(ToPixels(line.x1()), ToPixels(line.y1()));
  const QPoint b(ToPixels(line.x2()), ToPixels(line.y2()));
  const QRect box = QRect(a, b).normalized().adjusted(-pad, -pad, pad, pad);
  setGeometry(box);
  from_ = a - box.topLeft();
  to_ = b - box.topLeft();
}

void LineWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QPen pen(colour_, std::max(1, line_.pixel_width()), Qt::SolidLine, Qt::FlatCap);
  p.setPen(pen);
  p.drawLine(from_, to_);
}

}  // namespace qt_frontend
