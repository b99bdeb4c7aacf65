// Always on top on Linux. The EWMH way asks the window manager to move a window into or out of its
// "above" layer, which neither moves, resizes nor activates it; without it, Qt's hint is the fallback.
#include "frontend/qt/x11_window_manager.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <string_view>

#include "frontend/qt/qt_host.h"

namespace qt_frontend {

struct X11WindowManager::Xcb {
  xcb_connection_t* conn = nullptr;
  xcb_window_t root = 0;
  xcb_atom_t supported = 0, active_window = 0, wm_state = 0, wm_state_above = 0;
};

namespace {

constexpr std::uint32_t kStateRemove = 0;
constexpr std::uint32_t kStateAdd = 1;
constexpr std::uint32_t kSourcePager = 2;  // a request on the user's behalf, which window managers honour

xcb_atom_t Intern(xcb_connection_t* c, std::string_view name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.data()), nullptr);
  if (!r) return XCB_ATOM_NONE;
  const xcb_atom_t a = r->atom;
  std::free(r);
  return a;
}

}  // namespace

X11WindowManager::X11WindowManager(QtHost& host) : host_(host) {
  host_.set_before_show([this](QWidget* window) { BeforeShow(window); });
}

X11WindowManager::~X11WindowManager() { host_.set_before_show(nullptr); }

void X11WindowManager::BeforeShow(QWidget* window) {
  bool owner_topmost = false;
  for (QWidget* w : host_.Widgets()) {
    if (w == window || !topmost_.count(static_cast<ui::NativeWindow>(w->winId()))) continue;
    const std::vector<QWidget*> owned = host_.OwnedWindows(w);
    if (std::find(owned.begin(), owned.end(), window) != owned.end()) owner_topmost = true;
  }
  if (!owner_topmost) return;
  Probe();
  // Not yet mapped: Qt maps it with _NET_WM_STATE_ABOVE already set, so it never shows beneath.
  if (xcb_)
    window->setWindowFlag(Qt::WindowStaysOnTopHint, true);
  else
    Pin(window);
}

void X11WindowManager::Probe() {
  if (probed_) return;
  probed_ = true;
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  if (!x11 || QGuiApplication::platformName() != "xcb") return;
  auto state = std::make_unique<Xcb>();
  state->conn = x11->connection();
  if (!state->conn) return;
  const xcb_setup_t* setup = xcb_get_setup(state->conn);
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(setup);
  if (!screens.rem) return;
  state->root = screens.data->root;
  state->supported = Intern(state->conn, "_NET_SUPPORTED");
  state->active_window = Intern(state->conn, "_NET_ACTIVE_WINDOW");
  state->wm_state = Intern(state->conn, "_NET_WM_STATE");
  state->wm_state_above = Intern(state->conn, "_NET_WM_STATE_ABOVE");

  xcb_get_property_reply_t* r = xcb_get_property_reply(
      state->conn, xcb_get_property(state->conn, 0, state->root, state->supported, XCB_ATOM_ATOM, 0, 4096), nullptr);
  if (!r) return;
  const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
  const int count = r->format == 32 ? xcb_get_property_value_length(r) / 4 : 0;
  auto has = [&](xcb_atom_t a) { return a != XCB_ATOM_NONE && std::find(atoms, atoms + count, a) != atoms + count; };
  const bool ewmh = has(state->active_window) && has(state->wm_state) && has(state->wm_state_above);
  std::free(r);
  if (ewmh) xcb_ = std::move(state);
}

bool X11WindowManager::UsesEwmh() {
  Probe();
  return xcb_ != nullptr;
}

ui::NativeWindow X11WindowManager::WindowOf(const ui::Form& form) {
  QWidget* w = host_.WidgetOf(form);
  return w ? static_cast<ui::NativeWindow>(w->winId()) : ui::kNoWindow;
}

ui::NativeWindow X11WindowManager::OwnClientOf(ui::NativeWindow window) {
  for (QWidget* w : host_.Widgets()) {
    const auto client = static_cast<xcb_window_t>(w->winId());
    if (client == window) return client;
    // The window manager may name the frame it reparented our window into: walk up to the root.
    xcb_window_t at = client;
    for (int depth = 0; depth < 8 && at != xcb_->root && at != XCB_WINDOW_NONE; ++depth) {
      xcb_query_tree_reply_t* t = xcb_query_tree_reply(xcb_->conn, xcb_query_tree(xcb_->conn, at), nullptr);
      if (!t) break;
      at = t->parent;
      std::free(t);
      if (at == window && at != xcb_->root) return client;
    }
  }
  return ui::kNoWindow;
}

ui::NativeWindow X11WindowManager::ForegroundWindow() {
  Probe();
  if (!xcb_) return ui::kNoWindow;  // unknown without a window manager that tells
  xcb_get_property_reply_t* r = xcb_get_property_reply(
      xcb_->conn, xcb_get_property(xcb_->conn, 0, xcb_->root, xcb_->active_window, XCB_ATOM_WINDOW, 0, 1), nullptr);
  if (!r) return ui::kNoWindow;
  xcb_window_t active = XCB_WINDOW_NONE;
  if (r->format == 32 && xcb_get_property_value_length(r) >= 4)
    active = *static_cast<const xcb_window_t*>(xcb_get_property_value(r));
  std::free(r);
  if (active == XCB_WINDOW_NONE) return ui::kNoWindow;
  // The core compares the answer with its main window's client id, so a frame of ours becomes that id.
  if (const ui::NativeWindow own = OwnClientOf(active)) {
    // A settings window in front counts as the main window in front, so no tick will raise it: it
    // joins its topmost owner's band here, or it would stay underneath its always-on-top owner.
    if (!topmost_.count(own) && OwnerIsTopmost(own)) {
      SendAbove(own, true);
      topmost_.insert(own);
    }
    return own;
  }
  return active;
}

void X11WindowManager::SetTopmost(ui::NativeWindow window, bool topmost) {
  if (window == ui::kNoWindow) return;
  Probe();
  QWidget* own = nullptr;
  for (QWidget* w : host_.Widgets())
    if (static_cast<ui::NativeWindow>(w->winId()) == window) own = w;
  if (own && topmost) {
    topmost_.insert(window);
    RaiseWithOwned(own);
    return;
  }
  if (own) {
    // A window we own under a topmost owner stays above it, however it is asked.
    if (OwnerIsTopmost(window)) return;
    topmost_.erase(window);
  }
  if (xcb_) SendAbove(window, topmost);
  // Without a window manager to ask, other programs' windows cannot be lowered, and ours keep the hint.
}

bool X11WindowManager::OwnerIsTopmost(ui::NativeWindow window) {
  for (QWidget* w : host_.Widgets()) {
    if (!topmost_.count(static_cast<ui::NativeWindow>(w->winId()))) continue;
    for (QWidget* owned : host_.OwnedWindows(w))
      if (static_cast<ui::NativeWindow>(owned->winId()) == window) return true;
  }
  return false;
}

void X11WindowManager::RaiseWithOwned(QWidget* window) {
  // The owner first, so its owned windows end up above it.
  std::vector<QWidget*> all{window};
  for (QWidget* owned : host_.OwnedWindows(window)) all.push_back(owned);
  for (QWidget* w : all) {
    if (xcb_)
      SendAbove(static_cast<ui::NativeWindow>(w->winId()), true);
    else
      Pin(w);
  }
}

void X11WindowManager::SendAbove(ui::NativeWindow window, bool above) {
  xcb_client_message_event_t ev{};
  ev.response_type = XCB_CLIENT_MESSAGE;
  ev.format = 32;
  ev.window = static_cast<xcb_window_t>(window);
  ev.type = xcb_->wm_state;
  ev.data.data32[0] = above ? kStateAdd : kStateRemove;
  ev.data.data32[1] = xcb_->wm_state_above;
  ev.data.data32[2] = 0;
  ev.data.data32[3] = kSourcePager;
  xcb_send_event(xcb_->conn, 0, xcb_->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&ev));
  xcb_flush(xcb_->conn);
}

void X11WindowManager::Pin(QWidget* w) {
  // The hint stays until the window closes: without a window manager to ask, nothing could lower
  // another program's window in its place anyway.
  const auto id = static_cast<ui::NativeWindow>(w->winId());
  if (pinned_.count(id)) return;
  pinned_.insert(id);
  // Through the QWindow, so the shown window is not hidden and re-created as setWindowFlags would.
  w->overrideWindowFlags(w->windowFlags() | Qt::WindowStaysOnTopHint);
  if (QWindow* h = w->windowHandle()) h->setFlag(Qt::WindowStaysOnTopHint, true);
}

}  // namespace qt_frontend
