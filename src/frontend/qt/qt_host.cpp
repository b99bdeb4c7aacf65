// The host's side of every event: setting the core's clock, forwarding, collecting closed forms,
// syncing the widgets and re-arming the one native timer that drives all of the core's timers.
#include "frontend/qt/qt_host.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <algorithm>
#include <climits>

#include "frontend/qt/form_window.h"

namespace qt_frontend {

QtHost::QtHost(ui::Desktop& desktop) : desktop_(desktop), on_empty_([] { QCoreApplication::quit(); }) {
  clock_.start();
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { TimerFired(); });
  desktop_.set_host(this);
}

QtHost::~QtHost() {
  timer_.stop();
  desktop_.set_host(nullptr);
  // Owned windows first, so no window is deleted twice through its owner.
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    (*it)->Detach();
    delete *it;
  }
  windows_.clear();
}

void QtHost::Open(ui::Form& form) {
  FormWindow* owner = form.owner() ? WindowFor(*form.owner()) : nullptr;
  auto* window = new FormWindow(*this, form, owner);
  windows_.push_back(window);
  if (before_show_) before_show_(window);
  window->show();
}

void QtHost::Destroy(ui::Form& form) {
  FormWindow* window = WindowFor(form);
  if (!window) return;
  windows_.erase(std::find(windows_.begin(), windows_.end(), window));
  window->Detach();
  window->hide();
  window->deleteLater();
}

ui::Form& QtHost::OpenTopLevel(std::unique_ptr<ui::Form> form) {
  ui::Form* opened = nullptr;
  Dispatch([&] { opened = &desktop_.Open(std::move(form), nullptr); });
  return *opened;
}

void QtHost::CloseTopLevels() {
  if (depth_ > 0) {
    // Never from inside an event, whose end would collect forms under it: it waits for that end.
    close_pending_ = true;
    return;
  }
  close_pending_ = false;
  ++depth_;
  const ui::Desktop::Settled settled = desktop_.CloseAll(Now());
  --depth_;
  EndEvent(settled);
}

void QtHost::StoreForSessionEnd() {
  if (depth_ > 0) {
    store_pending_ = true;
    return;
  }
  store_pending_ = false;
  ++depth_;
  desktop_.StoreAll();
  --depth_;
}

void QtHost::FollowSession(QGuiApplication& app) {
  // Closing at the request to save would lose the run to a logout that is then cancelled.
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [this](QSessionManager&) { StoreForSessionEnd(); });
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [this] { CloseTopLevels(); });
}

void QtHost::Sync() {
  for (FormWindow* w : windows_) w->Sync();
}

FormWindow* QtHost::WindowFor(const ui::Form& form) const {
  for (FormWindow* w : windows_)
    if (w->form() == &form) return w;
  return nullptr;
}

QWidget* QtHost::WidgetOf(const ui::Form& form) const { return WindowFor(form); }

std::vector<QWidget*> QtHost::Widgets() const { return std::vector<QWidget*>(windows_.begin(), windows_.end()); }

std::vector<QWidget*> QtHost::OwnedWindows(const QWidget* window) const {
  std::vector<QWidget*> owned;
  for (FormWindow* w : windows_) {
    if (w == window || !w->form()) continue;
    for (const ui::Form* o = w->form()->owner(); o; o = o->owner()) {
      if (WindowFor(*o) == window) {
        owned.push_back(w);
        break;
      }
    }
  }
  return owned;
}

void QtHost::Click(ui::Control& control) {
  Dispatch([&] { desktop_.UserClick(control); });
}

void QtHost::Edit(ui::TextBox& box, std::string text) {
  Dispatch([&] { desktop_.UserEdit(box, std::move(text)); });
}

void QtHost::Close(ui::Form& form) {
  Dispatch([&] { desktop_.UserClose(form); });
}

void QtHost::ReportMove(FormWindow&) {
  // Showing or hiding a window inside an event moves it; that report waits for the event's end.
  if (depth_ > 0) return;
  Dispatch([] {});
}

template <class F>
void QtHost::Dispatch(F&& forward) {
  if (depth_ > 0) {
    // Input from inside an event (a widget signalling while the core opens or closes a window) is
    // not handled under it; it is dropped, as the core would refuse it for a busy window anyway.
    return;
  }
  ++depth_;
  // Moves reported while the core showed or hid a window are handed in within the same event.
  const ui::Desktop::Settled settled = desktop_.Deliver(Now(), [&] {
    forward();
    FlushMoves();
  });
  --depth_;
  EndEvent(settled);
}

void QtHost::FlushMoves() {
  for (FormWindow* w : std::vector<FormWindow*>(windows_)) {
    if (std::optional<QPoint> p = w->TakePendingMove(); p && w->form())
      desktop_.UserMoved(*w->form(), static_cast<float>(p->x() * kTwipsPerPixel),
                         static_cast<float>(p->y() * kTwipsPerPixel));
  }
}

void QtHost::EndEvent(const ui::Desktop::Settled& settled) {
  Sync();
  ArmTimer(settled.next_due);
  if (!settled.windows_left) {
    if (!empty_reported_) {
      empty_reported_ = true;
      if (on_empty_) on_empty_();
    }
  } else {
    empty_reported_ = false;
  }
  if (store_pending_ && depth_ == 0) StoreForSessionEnd();
  if (close_pending_ && depth_ == 0) CloseTopLevels();
}

void QtHost::ArmTimer(std::optional<ui::Millis> due) {
  if (!due) {
    timer_.stop();
    return;
  }
  const ui::Millis wait = std::clamp<ui::Millis>(*due - Now(), 0, INT_MAX);
  timer_.start(static_cast<int>(wait));
}

void QtHost::TimerFired() {
  if (depth_ > 0) {
    // Never lose the tick: it runs once the event in progress has ended.
    ArmTimer(desktop_.timers().NextDue());
    return;
  }
  ++depth_;
  const ui::Desktop::Settled settled = desktop_.TimerPass(Now());
  --depth_;
  // A window the pass moved (its stays-on-top hint re-applied) reports where it is now.
  if (std::any_of(windows_.begin(), windows_.end(), [](const FormWindow* w) { return w->HasPendingMove(); })) {
    Dispatch([] {});
    return;
  }
  EndEvent(settled);
}

}  // namespace qt_frontend
