// The widgets of one form: building them from the controls, keeping them equal to the model, and
// turning the user's clicks, edits, keys, moves and close box into calls on the host.
#include "frontend/qt/form_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QMoveEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <algorithm>
#include <cmath>
#include <vector>

#include "frontend/qt/qt_host.h"
#include "ui/layout.h"

namespace qt_frontend {

namespace {

// The store reads no file above 16 MiB, so no stored value holds more characters than this.
constexpr int kTextBoxCharacters = 16 * 1024 * 1024;

QString ToQString(const std::string& s) { return QString::fromStdString(s); }

// Which palette roles carry a control's background and text.
struct Roles {
  QPalette::ColorRole back;
  QPalette::ColorRole fore;
  bool fill;  // whether the widget must paint its own background for the colour to show
};

Roles RolesOf(ui::ControlKind kind) {
  switch (kind) {
    case ui::ControlKind::TextBox: return {QPalette::Base, QPalette::Text, false};
    case ui::ControlKind::Button: return {QPalette::Button, QPalette::ButtonText, false};
    case ui::ControlKind::Label:
    case ui::ControlKind::TickBox:
    case ui::ControlKind::Line: break;
  }
  return {QPalette::Window, QPalette::WindowText, true};
}

}  // namespace

int ToPixels(double twips) { return static_cast<int>(std::lround(twips / kTwipsPerPixel)); }

QRect ToPixels(const ui::Rect& r) {
  return QRect(ToPixels(r.left), ToPixels(r.top), ToPixels(r.width), ToPixels(r.height));
}

QSize ClientSize(const ui::Geometry& g) {
  return QSize(std::max(1, ToPixels(ui::ClientWidthTwips(g))), std::max(1, ToPixels(ui::ClientHeightTwips(g))));
}

std::optional<QColor> ToQColor(ui::Colour colour) {
  switch (colour.kind()) {
    case ui::Colour::Kind::Rgb: return QColor(colour.red(), colour.green(), colour.blue());
    case ui::Colour::Kind::SystemWindow: return QGuiApplication::palette().color(QPalette::Base);
    case ui::Colour::Kind::PlatformDefault: break;
  }
  return std::nullopt;
}

// Sizes go in pixels at the designed 96 dots per inch, the unit the whole layout is in, so text fits
// its box whatever resolution the display claims.
static int PointsToPixels(double points) { return std::max(1, static_cast<int>(std::lround(points * 96.0 / 72.0))); }

QFont DefaultWindowFont() {
  QFont f = QApplication::font();
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(PointsToPixels(8.25));
  f.setBold(false);
  return f;
}

QFont ToQFont(const ui::Font& font) {
  QFont f = DefaultWindowFont();
  if (!font.family.empty()) {
    QStringList families{ToQString(font.family)};
    // A bitmap face of another platform: its nearest installed relative at the same size and weight.
    if (font.family == "MS Sans Serif")
      families << "Liberation Sans"
               << "Arial";
    f.setFamilies(families);
  }
  if (font.points > 0) f.setPixelSize(PointsToPixels(font.points));
  f.setBold(font.bold);
  return f;
}

// Wholly on the screen the window mostly lies on, moved as little as that takes: the rule the
// Windows program follows too.
QPoint PlaceOnScreen(QPoint wanted, QSize frame_size) {
  std::vector<ui::ScreenRect> areas;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect a = screen->availableGeometry();
    areas.push_back(ui::ScreenRect{a.left(), a.top(), a.left() + a.width(), a.top() + a.height()});
  }
  const ui::ScreenRect placed = ui::PlaceOnMonitor(
      ui::ScreenRect{wanted.x(), wanted.y(), wanted.x() + frame_size.width(), wanted.y() + frame_size.height()}, areas);
  return QPoint(placed.left, placed.top);
}

// A stored size may be anything up to a million twips; a window beyond every screen could not be used
// and its pixels alone could take gigabytes, so it is cut to the largest screen's free area.
static QSize FitLargestScreen(QSize size) {
  QSize largest;
  for (QScreen* screen : QGuiApplication::screens()) largest = largest.expandedTo(screen->availableGeometry().size());
  return largest.isValid() && !largest.isEmpty() ? size.boundedTo(largest) : size;
}

struct FormWindow::Binding {
  ui::Control* control = nullptr;
  QWidget* widget = nullptr;
  std::string text;
  ui::Colour back = ui::colours::kDefault;
  ui::Colour fore = ui::colours::kDefault;
  ui::Font font;
  bool enabled = true;
  bool read_only = false;
  int state = 0;
  bool centred = false;
};

FormWindow::FormWindow(QtHost& host, ui::Form& form, QWidget* owner_widget)
    : QWidget(owner_widget, owner_widget ? Qt::Dialog : Qt::Window), host_(host), form_(&form) {
  // A window with an owner is a dialog to the window system: X11 then marks it transient for its
  // owner (WM_TRANSIENT_FOR), so the window manager keeps it above the owner it blocks.
  Qt::WindowFlags flags = (owner_widget ? Qt::Dialog : Qt::Window) | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (form.main_style()) flags |= Qt::WindowMinimizeButtonHint;
  setWindowFlags(flags);
  setObjectName(ToQString(form.name()));
  setAttribute(Qt::WA_DeleteOnClose, false);
  setFont(DefaultWindowFont());
  // A window with an owner is modal to that window only, and shown without an event loop of its own.
  if (owner_widget) setWindowModality(Qt::WindowModal);
  setFixedSize(FitLargestScreen(ClientSize(form.geometry())));
  Build();
  for (Binding& b : bindings_) SyncBinding(b, true);
  title_ = form.title();
  setWindowTitle(ToQString(title_));

  const QPoint wanted(ToPixels(form.geometry().left), ToPixels(form.geometry().top));
  // Until the platform has drawn a frame its size is unknown; the designed frame stands in for it.
  const QSize designed_frame(ToPixels(form.geometry().width), ToPixels(form.geometry().height));
  const QPoint placed = PlaceOnScreen(wanted, designed_frame);
  known_position_ = wanted;
  move(placed);
  if (placed != wanted) pending_move_ = placed;  // the core learns where the window really is
}

FormWindow::~FormWindow() = default;

void FormWindow::Build() {
  std::vector<QWidget*> chain;
  const auto& order = form_->tab_order();
  for (ui::Control* c : form_->controls()) {
    if (!c->rendered()) continue;
    QWidget* w = nullptr;
    switch (c->kind()) {
      case ui::ControlKind::Label: {
        auto& label = static_cast<ui::Label&>(*c);
        auto* l = new ClickableLabel(host_, label, this);
        l->setTextFormat(Qt::PlainText);
        l->setWordWrap(true);
        w = l;
        break;
      }
      case ui::ControlKind::Button: {
        auto& button = static_cast<ui::Button&>(*c);
        auto* b = new QPushButton(this);
        // Enter presses the button that has the focus; elsewhere it reaches the window's default.
        b->setAutoDefault(true);
        b->setDefault(&button == form_->default_button());
        QObject::connect(b, &QPushButton::clicked, b, [this, &button] {
          if (form_) host_.Click(button);
        });
        w = b;
        break;
      }
      case ui::ControlKind::TickBox: {
        auto& tick = static_cast<ui::TickBox&>(*c);
        auto* t = new TickBoxWidget(this);
        QObject::connect(t, &QCheckBox::clicked, t, [this, &tick] {
          if (form_) host_.Click(tick);
        });
        w = t;
        break;
      }
      case ui::ControlKind::TextBox: {
        auto& box = static_cast<ui::TextBox&>(*c);
        auto* e = new QLineEdit(this);
        // A line edit keeps 32,767 characters unless told otherwise and cuts a longer text it is
        // given, which an edit and a Save would then store: allow what the store can hold.
        e->setMaxLength(kTextBoxCharacters);
        QObject::connect(e, &QLineEdit::textEdited, e, [this, &box](const QString& text) {
          if (form_) host_.Edit(box, text.toStdString());
        });
        w = e;
        break;
      }
      case ui::ControlKind::Line: w = new LineWidget(static_cast<const ui::Line&>(*c), this); break;
    }
    w->setObjectName(ToQString(c->name()));
    // Drawn where the core's layout rule says: a caption ends where a sibling beside or below begins.
    if (c->kind() != ui::ControlKind::Line) w->setGeometry(ToPixels(ui::DrawnRect(*c)));
    if (w->focusPolicy() != Qt::NoFocus && !order.empty() && std::find(order.begin(), order.end(), c) == order.end())
      w->setFocusPolicy(Qt::ClickFocus);  // outside the designed tab order: Tab never stops there
    Binding b;
    b.control = c;
    b.widget = w;
    bindings_.push_back(std::move(b));
  }
  for (ui::Control* c : order) {
    if (!c->rendered()) continue;
    QWidget* w = findChild<QWidget*>(ToQString(c->name()), Qt::FindDirectChildrenOnly);
    if (w) chain.push_back(w);
  }
  for (std::size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
  if (ui::Control* first = form_->FirstFocus()) {
    if (QWidget* w = findChild<QWidget*>(ToQString(first->name()), Qt::FindDirectChildrenOnly)) w->setFocus();
  }
}

void FormWindow::Detach() {
  form_ = nullptr;
  pending_move_.reset();
  for (Binding& b : bindings_) {
    if (auto* l = dynamic_cast<ClickableLabel*>(b.widget)) l->Detach();
    b.control = nullptr;
  }
}

void FormWindow::Sync() {
  if (!form_) return;
  if (form_->title() != title_) {
    title_ = form_->title();
    setWindowTitle(ToQString(title_));
  }
  for (Binding& b : bindings_) SyncBinding(b, false);
}

void FormWindow::SyncBinding(Binding& b, bool first) {
  const ui::Control& c = *b.control;
  QWidget* w = b.widget;

  if (first || c.enabled() != b.enabled) {
    b.enabled = c.enabled();
    w->setEnabled(b.enabled);
  }
  if (first || !(c.font() == b.font)) {
    b.font = c.font();
    if (!b.font.IsDefault() || b.font.points > 0)
      w->setFont(ToQFont(b.font));
    else if (!first)
      w->setFont(DefaultWindowFont());
  }
  if (first || c.back_colour() != b.back || c.fore_colour() != b.fore) {
    b.back = c.back_colour();
    b.fore = c.fore_colour();
    if (c.kind() == ui::ControlKind::Line) {
      static_cast<LineWidget*>(w)->set_colour(ToQColor(b.fore).value_or(palette().color(QPalette::WindowText)));
    } else {
      const Roles roles = RolesOf(c.kind());
      QPalette p = QApplication::palette(w);
      const std::optional<QColor> back = ToQColor(b.back);
      const std::optional<QColor> fore = ToQColor(b.fore);
      if (back) p.setColor(roles.back, *back);
      // A disabled control keeps the platform's greyed text, as it does everywhere else.
      if (fore) {
        p.setColor(QPalette::Active, roles.fore, *fore);
        p.setColor(QPalette::Inactive, roles.fore, *fore);
      }
      w->setPalette(p);
      if (roles.fill) w->setAutoFillBackground(back.has_value());
    }
  }

  const Qt::Alignment align = c.centred() ? Qt::AlignCenter : (Qt::AlignLeft | Qt::AlignTop);
  switch (c.kind()) {
    case ui::ControlKind::Label: {
      const auto& label = static_cast<const ui::Label&>(c);
      auto* l = static_cast<QLabel*>(w);
      if (first || label.caption() != b.text) {
        b.text = label.caption();
        l->setText(ToQString(b.text));
      }
      if (first || c.centred() != b.centred) l->setAlignment(align);
      if (first) l->setCursor(label.clickable() ? Qt::PointingHandCursor : Qt::ArrowCursor);
      // A light's colour is its meaning: say it to assistive technology and in the tooltip.
      if (const std::string description = label.Description(); !description.empty()) {
        const QString text = ToQString(description);
        if (l->toolTip() != text) {
          l->setAccessibleName(ToQString(label.caption()) + " light");
          l->setAccessibleDescription(text);
          l->setToolTip(text);
        }
      }
      break;
    }
    case ui::ControlKind::Button: {
      const auto& button = static_cast<const ui::Button&>(c);
      if (first || button.caption() != b.text) {
        b.text = button.caption();
        static_cast<QPushButton*>(w)->setText(ToQString(b.text));
      }
      break;
    }
    case ui::ControlKind::TickBox: {
      const auto& tick = static_cast<const ui::TickBox&>(c);
      auto* t = static_cast<QCheckBox*>(w);
      if (first || tick.caption() != b.text) {
        b.text = tick.caption();
        t->setText(ToQString(b.text));
      }
      // Compared with the widget itself, not the cache: the widget must never disagree with the model.
      const Qt::CheckState want = tick.state() == 1   ? Qt::Checked
                                  : tick.state() == 0 ? Qt::Unchecked
                                                      : Qt::PartiallyChecked;
      if (t->checkState() != want) t->setCheckState(want);
      b.state = tick.state();
      break;
    }
    case ui::ControlKind::TextBox: {
      const auto& box = static_cast<const ui::TextBox&>(c);
      auto* e = static_cast<QLineEdit*>(w);
      if (first || box.text() != b.text) {
        b.text = box.text();
        // Only a text that differs is set, so typing never loses the cursor position.
        const QString text = ToQString(b.text);
        if (e->text() != text) e->setText(text);
      }
      if (first || box.read_only() != b.read_only) {
        b.read_only = box.read_only();
        e->setReadOnly(b.read_only);
      }
      if (first || c.centred() != b.centred)
        e->setAlignment(c.centred() ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
      break;
    }
    case ui::ControlKind::Line: break;
  }
  b.centred = c.centred();
}

std::optional<QPoint> FormWindow::TakePendingMove() {
  std::optional<QPoint> p = pending_move_;
  pending_move_.reset();
  if (p) known_position_ = *p;
  return p;
}

void FormWindow::closeEvent(QCloseEvent* event) {
  // The core decides: it closes the children first and unloads, then asks the host to destroy us.
  event->ignore();
  if (form_) host_.Close(*form_);
}

void FormWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  NoteFramePosition();
}

void FormWindow::NoteFramePosition() {
  // A minimised window may sit anywhere (some platforms park it far off screen); the core keeps the
  // last normal position, which is what is stored when the window closes.
  if (!form_ || isMinimized() || !isVisible()) return;
  const QPoint p = frameGeometry().topLeft();
  if (p == known_position_ && !pending_move_) return;
  pending_move_ = p;
  host_.ReportMove(*this);
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
  if (form_) {
    ui::Button* target = nullptr;
    if (event->key() == Qt::Key_Escape) target = form_->cancel_button();
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier)
      target = form_->default_button();
    if (event->key() == Qt::Key_Enter && event->modifiers() == Qt::KeypadModifier) target = form_->default_button();
    if (target) {
      event->accept();
      host_.Click(*target);
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

}  // namespace qt_frontend
