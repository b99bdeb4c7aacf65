// The generic Win32 renderer of the core's forms, its host part: event delivery into the core, the
// one native timer that drives every timer of the core, window messages and the message loop.
#include "frontend/win32/win32_host.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string_view>

#include "frontend/win32/native.h"
#include "process/windows/win32_text.h"
#include "ui/layout.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace win32 {
namespace {

// How long a loop nested in the program's own may keep the program after its last window has gone.
constexpr UINT kEndGraceMillis = 500;

}  // namespace

int TwipsToPixels(double twips, UINT dpi) { return static_cast<int>(std::lround(twips * dpi / ui::kTwipsPerInch)); }

Win32Host::Win32Host(ui::Desktop& desktop, HINSTANCE instance)
    : desktop_(desktop), instance_(instance), start_ticks_(GetTickCount64()) {
  WNDCLASSEXW form_class{};
  form_class.cbSize = sizeof form_class;
  form_class.lpfnWndProc = &Win32Host::FormProc;
  form_class.hInstance = instance_;
  form_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  form_class.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  form_class.hIcon = LoadIconW(instance_, L"TARNWICK_ICON");
  form_class.lpszClassName = kFormClass;
  RegisterClassExW(&form_class);

  WNDCLASSEXW timer_class{};
  timer_class.cbSize = sizeof timer_class;
  timer_class.lpfnWndProc = &Win32Host::TimerProc;
  timer_class.hInstance = instance_;
  timer_class.lpszClassName = kTimerClass;
  RegisterClassExW(&timer_class);
  timer_window_ = CreateWindowExW(0, kTimerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, this);
}

Win32Host::~Win32Host() {
  for (auto& view : views_)
    if (view->hwnd != nullptr) DestroyWindow(view->hwnd);
  if (timer_window_ != nullptr) DestroyWindow(timer_window_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
  for (auto& [colour, brush] : brushes_) DeleteObject(brush);
}

ui::Millis Win32Host::Now() const { return static_cast<ui::Millis>(GetTickCount64() - start_ticks_); }

void Win32Host::Deliver(const std::function<void()>& event) {
  ++core_depth_;
  const ui::Desktop::Settled settled = desktop_.Deliver(Now(), event);
  --core_depth_;
  if (core_depth_ == 0) Settle(settled);
}

void Win32Host::Settle(const ui::Desktop::Settled& settled) {
  if (HandInPendingMoves()) return;  // that event settles in its turn
  Sync();
  RearmTimer(settled.next_due);
  no_window_left_ = !settled.windows_left;
  if (no_window_left_) {
    PostQuitMessage(0);
    if (in_message_loop_) SetTimer(timer_window_, kEndTimer, kEndGraceMillis, nullptr);
  }
  if (close_pending_ && core_depth_ == 0) CloseEverything();
}

bool Win32Host::HandInPendingMoves() {
  std::vector<std::pair<ui::Form*, std::pair<float, float>>> moves;
  for (auto& view : views_) {
    if (view->pending_move) moves.emplace_back(view->form, *view->pending_move);
    view->pending_move.reset();
  }
  if (moves.empty()) return false;
  Deliver([this, &moves] {
    for (const auto& [form, place] : moves) desktop_.UserMoved(*form, place.first, place.second);
  });
  return true;
}

void Win32Host::Forward(const std::function<void()>& event) {
  // Input that arrives while the core is creating or removing windows is the platform's own echo.
  if (core_depth_ > 0) return;
  Deliver(event);
}

// ---- Time -------------------------------------------------------------------------------------

void Win32Host::RearmTimer(std::optional<ui::Millis> due) {
  if (!due) {
    KillTimer(timer_window_, kCoreTimer);
    return;
  }
  const ui::Millis wait = std::max<ui::Millis>(*due - Now(), USER_TIMER_MINIMUM);
  SetTimer(timer_window_, kCoreTimer, static_cast<UINT>(std::min<ui::Millis>(wait, USER_TIMER_MAXIMUM)), nullptr);
}

LRESULT CALLBACK Win32Host::TimerProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* host = reinterpret_cast<Win32Host*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (host != nullptr && message == WM_TIMER && wparam == kEndTimer) {
    // The program's own loop returns as soon as it has control after the last window went, so only
    // a loop nested in one of its messages runs this: Wine's move loop, for one, goes on while the
    // mouse button is held on a title bar that is no more, and drops the quit message. Everything
    // was stored as the windows closed; a scheduled run must not leave a process without a window.
    KillTimer(hwnd, kEndTimer);
    if (host->no_window_left_) std::exit(0);
    return 0;
  }
  if (host != nullptr && message == WM_TIMER && wparam == kCoreTimer) {
    // Timers run even while a modal window is open; only input is refused.
    if (host->core_depth_ == 0) {
      ++host->core_depth_;
      const ui::Desktop::Settled settled = host->desktop_.TimerPass(host->Now());
      --host->core_depth_;
      host->Settle(settled);
    }
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// ---- Messages ---------------------------------------------------------------------------------

LRESULT CALLBACK Win32Host::FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* view = reinterpret_cast<FormView*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetPropW(hwnd, L"TARNWICK_HOST", create->lpCreateParams);
  }
  auto* host = static_cast<Win32Host*>(GetPropW(hwnd, L"TARNWICK_HOST"));
  if (message == WM_NCDESTROY) RemovePropW(hwnd, L"TARNWICK_HOST");
  if (view == nullptr || host == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  return host->HandleFormMessage(*view, message, wparam, lparam);
}

LRESULT Win32Host::HandleFormMessage(FormView& view, UINT message, WPARAM wparam, LPARAM lparam) {
  ui::Form& form = *view.form;
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (id == IDOK || id == IDCANCEL) {
        // Enter presses the button that has the focus, else the default button; Escape the cancel
        // button. Either goes through the desktop, which refuses it while a modal child is open.
        ui::Button* target = id == IDOK ? form.default_button() : form.cancel_button();
        if (id == IDOK) {
          if (ControlView* focus = ControlOf(view, GetFocus());
              focus != nullptr && focus->control->kind() == ui::ControlKind::Button)
            target = static_cast<ui::Button*>(focus->control);
        }
        if (target != nullptr) Forward([this, target] { desktop_.UserClick(*target); });
        return 0;
      }
      ControlView* cv = ControlOf(view, reinterpret_cast<HWND>(lparam));
      if (cv == nullptr) break;
      ui::Control* c = cv->control;
      if (c->kind() == ui::ControlKind::TextBox) {
        if (code == EN_CHANGE) OnTextChanged(*cv);
        return 0;
      }
      if (code == BN_CLICKED || code == STN_CLICKED) Forward([this, c] { desktop_.UserClick(*c); });
      return 0;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN: return ControlColour(view, message, wparam, lparam);
    case WM_PAINT: Paint(view); return 0;
    case WM_MOVE: ReportMove(view); break;
    case WM_CLOSE: Forward([this, &form] { desktop_.UserClose(form); }); return 0;
    case WM_QUERYENDSESSION:
      // The session may end: everything is stored now, but the program runs on until the end is
      // confirmed, for another program may still call it off.
      StoreForSessionEnd(view);
      return TRUE;
    case WM_ENDSESSION:
      if (wparam) CloseEverything();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(view.hwnd, focus)) view.last_focus = focus;
      } else if (view.last_focus != nullptr && IsWindow(view.last_focus) && IsWindowEnabled(view.last_focus)) {
        SetFocus(view.last_focus);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      view.dpi = HIWORD(wparam);
      const auto* suggested = reinterpret_cast<const RECT*>(lparam);
      const ui::Geometry& g = form.geometry();
      const SIZE client{TwipsToPixels(ui::ClientWidthTwips(g), view.dpi),
                        TwipsToPixels(ui::ClientHeightTwips(g), view.dpi)};
      const SIZE outer = OuterSize(client, FormStyle(form), FormExStyle(form), view.dpi);
      SetWindowPos(view.hwnd, nullptr, suggested->left, suggested->top, outer.cx, outer.cy,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      Layout(view);
      SyncForm(view);
      InvalidateRect(view.hwnd, nullptr, TRUE);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(view.hwnd, message, wparam, lparam);
}

void Win32Host::OnTextChanged(ControlView& cv) {
  const std::wstring shown = WindowText(cv.hwnd);
  // Half a surrogate pair is no text yet: the core hears of the character once it is whole.
  if (core_depth_ > 0 || HasLoneSurrogate(shown)) return;
  cv.text = process::Narrow(shown);
  // A refused edit differs from the model, so the Sync that follows the event shows the model again.
  ui::Control* c = cv.control;
  std::string text = cv.text;
  Forward([this, c, text] { desktop_.UserEdit(static_cast<ui::TextBox&>(*c), text); });
}

void Win32Host::ReportMove(FormView& view) {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  if (!GetWindowPlacement(view.hwnd, &placement)) return;
  // The normal position, never the far-off place of a minimised window. It is given in work-area
  // coordinates, which differ from the screen's when a taskbar lies at the left or top.
  RECT normal = placement.rcNormalPosition;
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(MonitorFromRect(&normal, MONITOR_DEFAULTTONEAREST), &info) &&
      (GetWindowLongW(view.hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) == 0) {
    OffsetRect(&normal, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
  }
  // A report of the pixel the core's position already rounds to is no move: handing it in would
  // shift the stored position by the rounding at every open and close.
  const ui::Geometry& known = view.form->geometry();
  if (normal.left == TwipsToPixels(known.left, view.dpi) && normal.top == TwipsToPixels(known.top, view.dpi)) {
    view.pending_move.reset();
    return;
  }
  const float left = static_cast<float>(normal.left) * ui::kTwipsPerInch / static_cast<float>(view.dpi);
  const float top = static_cast<float>(normal.top) * ui::kTwipsPerInch / static_cast<float>(view.dpi);
  if (core_depth_ > 0) {
    // Moved while the core is busy (placed on a monitor as the window opened): the core hears of
    // it when the event ends, so a window closed unmoved stores where it really was.
    view.pending_move.emplace(left, top);
    return;
  }
  ui::Form* form = view.form;
  Forward([this, form, left, top] { desktop_.UserMoved(*form, left, top); });
}

void Win32Host::StoreForSessionEnd(const FormView& view) {
  // Asked of every top-level window; the one without an owner answers for the program.
  if (view.form->owner() != nullptr || core_depth_ > 0) return;
  desktop_.StoreAll();
}

void Win32Host::CloseEverything() {
  if (core_depth_ > 0) {
    close_pending_ = true;
    return;
  }
  close_pending_ = false;
  ++core_depth_;
  const ui::Desktop::Settled settled = desktop_.CloseAll(Now());
  --core_depth_;
  Settle(settled);
}

// ---- The message loop -------------------------------------------------------------------------

bool Win32Host::HandleDialogKeys(MSG& message) {
  // Tab, Enter and Escape move between and press the controls of the window they were typed in.
  HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root == nullptr || ViewOf(root) == nullptr) return false;
  return IsDialogMessageW(root, &message) != FALSE;
}

int Win32Host::RunMessageLoop() {
  MSG message;
  // The last window may close inside a loop nested in a message this loop dispatched: the move and
  // size loop that runs while a title bar is held or dragged. Such a loop may take the quit message
  // for itself (Wine's does), so the end is also checked each time control comes back here.
  in_message_loop_ = true;
  int code = 0;
  while (!no_window_left_) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (got == -1) {
      code = 1;
      break;
    }
    if (HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  in_message_loop_ = false;
  KillTimer(timer_window_, kEndTimer);
  return code;
}

void Win32Host::PumpPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // left for whoever runs the real loop
      return;
    }
    if (HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// ---- Look-ups ---------------------------------------------------------------------------------

Win32Host::FormView* Win32Host::ViewOf(HWND hwnd) {
  for (auto& v : views_)
    if (v->hwnd == hwnd) return v.get();
  return nullptr;
}

Win32Host::FormView* Win32Host::ViewOf(const ui::Form& form) {
  for (auto& v : views_)
    if (v->form == &form) return v.get();
  return nullptr;
}

const Win32Host::FormView* Win32Host::ViewOf(const ui::Form& form) const {
  for (const auto& v : views_)
    if (v->form == &form) return v.get();
  return nullptr;
}

Win32Host::ControlView* Win32Host::ControlOf(FormView& view, HWND child) {
  if (child == nullptr) return nullptr;
  for (ControlView& cv : view.controls)
    if (cv.hwnd == child) return &cv;
  return nullptr;
}

HWND Win32Host::WindowOf(const ui::Form& form) const {
  const FormView* view = ViewOf(form);
  return view != nullptr ? view->hwnd : nullptr;
}

HWND Win32Host::ControlWindow(const ui::Control& control) const {
  const FormView* view = ViewOf(control.form());
  if (view == nullptr) return nullptr;
  for (const ControlView& cv : view->controls)
    if (cv.control == &control) return cv.hwnd;
  return nullptr;
}

UINT Win32Host::DpiOf(const ui::Form& form) const {
  const FormView* view = ViewOf(form);
  return view != nullptr ? view->dpi : 96;
}

}  // namespace win32
