// FormWindow: the top-level widget of one form, with one child widget per rendered control, and the
// mapping of the control kit's units, colours and fonts onto Qt.
#pragma once
#include <QColor>
#include <QFont>
#include <QPoint>
#include <QRect>
#include <QStringList>
#include <QWidget>
#include <optional>
#include <string>
#include <vector>

#include "frontend/qt/control_widgets.h"
#include "ui/form.h"

namespace qt_frontend {

class QtHost;

inline constexpr int kTwipsPerPixel = 15;

// Twips to device-independent pixels (the designed 96 dots per inch).
int ToPixels(double twips);
QRect ToPixels(const ui::Rect& rect);
// The client size of a window whose designed outer size is given in twips.
QSize ClientSize(const ui::Geometry& geometry);
// An exact colour for RGB; the platform's window / text-entry background for SystemWindow; none
// for PlatformDefault, which leaves the platform's own colour in place.
std::optional<QColor> ToQColor(ui::Colour colour);
// The font a control is drawn with; the empty family is the window default font.
QFont ToQFont(const ui::Font& font);
QFont DefaultWindowFont();

// Where a window whose frame would sit at `wanted` (px) and have `frame_size` opens: wholly on the
// screen it mostly lies on, moved as little as that takes (ui::PlaceOnMonitor, as on Windows).
QPoint PlaceOnScreen(QPoint wanted, QSize frame_size);

class FormWindow : public QWidget {
 public:
  FormWindow(QtHost& host, ui::Form& form, QWidget* owner_widget);
  ~FormWindow() override;

  // Null once the form has closed: the widget then ignores everything until Qt deletes it.
  ui::Form* form() const { return form_; }
  void Detach();
  void Sync();
  // Frame position waiting to be handed to the core, if the last move has not been reported.
  std::optional<QPoint> TakePendingMove();
  bool HasPendingMove() const { return pending_move_.has_value(); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  struct Binding;
  void Build();
  void SyncBinding(Binding& b, bool first);
  void NoteFramePosition();

  QtHost& host_;
  ui::Form* form_;
  std::vector<Binding> bindings_;
  std::string title_;
  // The last frame position the core knows of, in pixels: a move event that reports the same
  // position (as the first one after showing does) changes nothing, so no rounding ever drifts.
  QPoint known_position_;
  std::optional<QPoint> pending_move_;
};

}  // namespace qt_frontend
