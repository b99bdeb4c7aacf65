// The generic Win32 renderer of the core's forms: native child controls for labels, buttons, tick
// boxes and text boxes, painted lines, exact colours and fonts, DPI scaling, modality by disabling
// the owner, and one native timer that drives every timer of the core.
#include "frontend/win32/win32_host.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "process/windows/win32_text.h"
#include "ui/layout.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace win32 {
namespace {

constexpr wchar_t kFormClass[] = L"TARNWICK_FORM";
constexpr wchar_t kTimerClass[] = L"TARNWICK_TIMER";
constexpr UINT_PTR kCoreTimer = 1;
constexpr int kFirstControlId = 100;  // below it: IDOK, IDCANCEL and the other dialog ids
constexpr double kDefaultPoints = 8.25;
constexpr wchar_t kDefaultFamily[] = L"MS Shell Dlg";

// Functions of newer Windows versions, looked up at run time so the program still starts without.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

template <typename Fn>
Fn Lookup(const wchar_t* module, const char* name) {
  HMODULE handle = GetModuleHandleW(module);
  if (handle == nullptr) handle = LoadLibraryW(module);
  if (handle == nullptr) return nullptr;
  // Through the generic function type, which the compiler accepts as a cast to any other.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

UINT SystemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND hwnd) {
  static const auto get_dpi = Lookup<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
  if (get_dpi != nullptr) {
    const UINT dpi = get_dpi(hwnd);
    if (dpi != 0) return dpi;
  }
  return SystemDpi();
}

UINT MonitorDpi(HMONITOR monitor) {
  static const auto get_dpi = Lookup<GetDpiForMonitorFn>(L"shcore.dll", "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (get_dpi != nullptr && get_dpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y) == S_OK && y != 0) return y;
  return SystemDpi();
}

// The outer size of a window whose client area is `client` pixels, at `dpi`.
SIZE OuterSize(SIZE client, DWORD style, DWORD ex_style, UINT dpi) {
  static const auto adjust = Lookup<AdjustWindowRectExForDpiFn>(L"user32.dll", "AdjustWindowRectExForDpi");
  RECT rect{0, 0, client.cx, client.cy};
  if (adjust == nullptr || !adjust(&rect, style, FALSE, ex_style, dpi))
    AdjustWindowRectEx(&rect, style, FALSE, ex_style);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

COLORREF ToColorRef(ui::Colour colour) { return RGB(colour.red(), colour.green(), colour.blue()); }

std::wstring WindowText(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(copied, 0)));
  return text;
}

// Typing a character beyond the Basic Multilingual Plane changes an edit control twice, once per
// half of its surrogate pair; text with half a pair is the control between those two changes.
bool HasLoneSurrogate(std::wstring_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return true;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

void SetTextIfDifferent(HWND hwnd, const std::string& utf8) {
  const std::wstring wanted = process::Widen(utf8);
  if (WindowText(hwnd) != wanted) SetWindowTextW(hwnd, wanted.c_str());
}

DWORD FormStyle(const ui::Form& form) {
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  if (form.main_style()) style |= WS_MINIMIZEBOX;
  return style;
}

DWORD FormExStyle(const ui::Form& form) { return form.main_style() ? WS_EX_APPWINDOW : 0; }

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& w = info.rcWork;
    reinterpret_cast<std::vector<ui::ScreenRect>*>(areas)->push_back(ui::ScreenRect{w.left, w.top, w.right, w.bottom});
  }
  return TRUE;
}

// Where a window of this outer size goes: wholly on the monitor it mostly lies on, moved as little
// as that takes (the rule both front ends share).
RECT PlaceOnAMonitor(RECT wanted) {
  std::vector<ui::ScreenRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, &AddWorkArea, reinterpret_cast<LPARAM>(&areas));
  const ui::ScreenRect placed =
      ui::PlaceOnMonitor(ui::ScreenRect{wanted.left, wanted.top, wanted.right, wanted.bottom}, areas);
  return RECT{placed.left, placed.top, placed.right, placed.bottom};
}

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
  Sync();
  RearmTimer(settled.next_due);
  if (!settled.windows_left) PostQuitMessage(0);
}

void Win32Host::Forward(const std::function<void()>& event) {
  // Input that arrives while the core is creating or removing windows is the platform's own echo.
  if (core_depth_ > 0) return;
  Deliver(event);
}

// ---- Opening and closing ---------------------------------------------------------------------

void Win32Host::Open(ui::Form& form) {
  auto view = std::make_unique<FormView>();
  view->form = &form;
  FormView* owner = form.owner() != nullptr ? ViewOf(*form.owner()) : nullptr;
  const DWORD style = FormStyle(form);
  const DWORD ex_style = FormExStyle(form);
  const ui::Geometry& g = form.geometry();

  // The DPI of the monitor the stored position lies on decides every size in pixels.
  const UINT guess_dpi = SystemDpi();
  const POINT guess{TwipsToPixels(g.left, guess_dpi), TwipsToPixels(g.top, guess_dpi)};
  UINT dpi = MonitorDpi(MonitorFromPoint(guess, MONITOR_DEFAULTTONEAREST));
  auto outer_rect = [&](UINT at_dpi) {
    const SIZE client{TwipsToPixels(ui::ClientWidthTwips(g), at_dpi), TwipsToPixels(ui::ClientHeightTwips(g), at_dpi)};
    const SIZE outer = OuterSize(client, style, ex_style, at_dpi);
    const LONG left = TwipsToPixels(g.left, at_dpi);
    const LONG top = TwipsToPixels(g.top, at_dpi);
    return PlaceOnAMonitor(RECT{left, top, left + outer.cx, top + outer.cy});
  };
  RECT rect = outer_rect(dpi);

  view->hwnd = CreateWindowExW(ex_style, kFormClass, process::Widen(form.title()).c_str(), style, rect.left, rect.top,
                               rect.right - rect.left, rect.bottom - rect.top, owner != nullptr ? owner->hwnd : nullptr,
                               nullptr, instance_, this);
  if (view->hwnd == nullptr) {
    process::ReportProblem("cannot create the window " + form.name());
    return;
  }
  FormView& v = *view;
  views_.push_back(std::move(view));
  SetWindowLongPtrW(v.hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&v));
  v.dpi = WindowDpi(v.hwnd);
  if (v.dpi != dpi) {
    rect = outer_rect(v.dpi);
    SetWindowPos(v.hwnd, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
  CreateControls(v);
  SyncForm(v);
  // Modal without a nested loop: the owner takes no input while this window is open.
  if (owner != nullptr) EnableWindow(owner->hwnd, FALSE);
  ShowWindow(v.hwnd, SW_SHOWNORMAL);
  UpdateWindow(v.hwnd);
  if (ui::Control* first = form.FirstFocus()) {
    if (HWND focus = ControlWindow(*first)) SetFocus(focus);
  }
}

void Win32Host::Destroy(ui::Form& form) {
  auto it = std::find_if(views_.begin(), views_.end(), [&](const auto& v) { return v->form == &form; });
  if (it == views_.end()) return;
  std::unique_ptr<FormView> view = std::move(*it);
  views_.erase(it);
  // The owner is enabled again before this window goes, so Windows hands activation back to it.
  if (form.owner() != nullptr) {
    if (FormView* owner = ViewOf(*form.owner())) {
      if (!desktop_.HasOpenChild(*form.owner())) EnableWindow(owner->hwnd, TRUE);
    }
  }
  SetWindowLongPtrW(view->hwnd, GWLP_USERDATA, 0);
  DestroyWindow(view->hwnd);
}

void Win32Host::CreateControls(FormView& view) {
  ui::Form& form = *view.form;
  // Creation order is the z-order of the children, which is the order Tab walks: the tab order
  // first, then every other control.
  std::vector<ui::Control*> order = form.tab_order();
  for (ui::Control* c : form.controls())
    if (std::find(order.begin(), order.end(), c) == order.end()) order.push_back(c);
  const auto& tab = form.tab_order();

  for (ui::Control* c : order) {
    ControlView cv;
    cv.control = c;
    cv.id = kFirstControlId +
            static_cast<int>(std::find(form.controls().begin(), form.controls().end(), c) - form.controls().begin());
    const bool tab_stop = std::find(tab.begin(), tab.end(), c) != tab.end();
    // Clipped by its siblings, so no control paints over another's pixels.
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (tab_stop ? WS_TABSTOP : 0);
    DWORD ex_style = 0;
    const wchar_t* cls = nullptr;
    std::string text;
    switch (c->kind()) {
      case ui::ControlKind::Label: {
        auto& label = static_cast<ui::Label&>(*c);
        cls = L"STATIC";
        style |= (c->centred() ? SS_CENTER : SS_LEFT) | SS_NOPREFIX | (label.clickable() ? SS_NOTIFY : 0);
        text = label.caption();
        break;
      }
      case ui::ControlKind::Button:
        cls = L"BUTTON";
        style |= (c == form.default_button() ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
        text = static_cast<ui::Button&>(*c).caption();
        break;
      case ui::ControlKind::TickBox:
        // Not an auto check box: the state shown is always the model's, set after each click.
        cls = L"BUTTON";
        style |= BS_CHECKBOX | BS_MULTILINE;  // Windows wraps a caption wider than its box
        text = static_cast<ui::TickBox&>(*c).caption();
        break;
      case ui::ControlKind::TextBox: {
        auto& box = static_cast<ui::TextBox&>(*c);
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | (c->centred() ? ES_CENTER : ES_LEFT) | (box.read_only() ? ES_READONLY : 0);
        ex_style |= WS_EX_CLIENTEDGE;
        text = box.text();
        break;
      }
      case ui::ControlKind::Line: view.controls.push_back(cv); continue;
    }
    cv.hwnd = CreateWindowExW(ex_style, cls, process::Widen(text).c_str(), style, 0, 0, 0, 0, view.hwnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(cv.id)), instance_, nullptr);
    view.controls.push_back(cv);
  }
  Layout(view);
}

void Win32Host::Layout(FormView& view) {
  for (ControlView& cv : view.controls) {
    if (cv.hwnd == nullptr) continue;
    const ui::Rect r = ui::DrawnRect(*cv.control);
    const int left = TwipsToPixels(r.left, view.dpi);
    const int top = TwipsToPixels(r.top, view.dpi);
    // Right and bottom edges are rounded as positions, so neighbours never overlap or gap.
    const int right = TwipsToPixels(r.left + r.width, view.dpi);
    const int bottom = TwipsToPixels(r.top + r.height, view.dpi);
    SetWindowPos(cv.hwnd, nullptr, left, top, right - left, bottom - top, SWP_NOZORDER | SWP_NOACTIVATE);
    cv.font = ui::Font{"\x01", -1, false};  // forces the font to be set again at this DPI
  }
}

// ---- Bringing the windows up to date ----------------------------------------------------------

void Win32Host::Sync() {
  for (auto& view : views_) SyncForm(*view);
}

void Win32Host::SyncForm(FormView& view) {
  SetTextIfDifferent(view.hwnd, view.form->title());
  bool lines_changed = false;
  for (ControlView& cv : view.controls) {
    ui::Control& c = *cv.control;
    const bool colours_changed = cv.back != c.back_colour() || cv.fore != c.fore_colour();
    cv.back = c.back_colour();
    cv.fore = c.fore_colour();
    if (cv.hwnd == nullptr) {
      lines_changed = lines_changed || colours_changed;
      continue;
    }
    const bool visible = (GetWindowLongW(cv.hwnd, GWL_STYLE) & WS_VISIBLE) != 0;
    if (visible != c.rendered()) ShowWindow(cv.hwnd, c.rendered() ? SW_SHOWNA : SW_HIDE);
    if ((IsWindowEnabled(cv.hwnd) != FALSE) != c.enabled()) EnableWindow(cv.hwnd, c.enabled() ? TRUE : FALSE);
    if (!(cv.font == c.font())) {
      cv.font = c.font();
      HFONT font = FontFor(c.font(), view.dpi);
      if (c.kind() == ui::ControlKind::Label) font = NarrowedToFit(cv.hwnd, static_cast<ui::Label&>(c), font, view.dpi);
      SendMessageW(cv.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    switch (c.kind()) {
      case ui::ControlKind::Label: SetTextIfDifferent(cv.hwnd, static_cast<ui::Label&>(c).caption()); break;
      case ui::ControlKind::Button: SetTextIfDifferent(cv.hwnd, static_cast<ui::Button&>(c).caption()); break;
      case ui::ControlKind::TickBox: {
        auto& tick = static_cast<ui::TickBox&>(c);
        SetTextIfDifferent(cv.hwnd, tick.caption());
        const WPARAM wanted = tick.state() == 1 ? BST_CHECKED : tick.state() == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
        if (static_cast<WPARAM>(SendMessageW(cv.hwnd, BM_GETCHECK, 0, 0)) != wanted)
          SendMessageW(cv.hwnd, BM_SETCHECK, wanted, 0);
        break;
      }
      case ui::ControlKind::TextBox: {
        auto& box = static_cast<ui::TextBox&>(c);
        // Only text the core changed is written back: rewriting a control the user types in would
        // move the caret and tear a character whose second half is still on its way.
        if (box.text() != cv.text) {
          cv.text = box.text();
          ++core_depth_;  // the EN_CHANGE this causes is not the user's typing
          SetTextIfDifferent(cv.hwnd, box.text());
          --core_depth_;
        }
        const bool read_only = (GetWindowLongW(cv.hwnd, GWL_STYLE) & ES_READONLY) != 0;
        if (read_only != box.read_only()) SendMessageW(cv.hwnd, EM_SETREADONLY, box.read_only() ? TRUE : FALSE, 0);
        break;
      }
      case ui::ControlKind::Line: break;
    }
    if (colours_changed) InvalidateRect(cv.hwnd, nullptr, TRUE);
  }
  if (lines_changed) InvalidateRect(view.hwnd, nullptr, TRUE);
}

// A one-word caption wider than its label would be broken at a hyphen into lines the label cannot
// show ("PELLUM-" over a clipped "ON"); such a caption is drawn with narrower letters instead.
// A caption of several words that wraps onto more lines than its label shows would lose its last
// words; it is drawn in a smaller font instead, the largest at which every word shows.
HFONT Win32Host::NarrowedToFit(HWND hwnd, const ui::Label& label, HFONT font, UINT dpi) {
  const std::wstring caption = process::Widen(label.caption());
  if (caption.empty()) return font;
  RECT client{};
  GetClientRect(hwnd, &client);
  if (caption.find(L' ') != std::wstring::npos) {
    HDC dc = GetDC(hwnd);
    HFONT fitted = font;
    ui::Font smaller = label.font();
    const double points = smaller.points > 0 ? smaller.points : kDefaultPoints;
    for (int percent = 100; percent >= 50; percent -= 5) {
      smaller.points = points * percent / 100;
      fitted = percent == 100 ? font : FontFor(smaller, dpi);
      HGDIOBJ old = SelectObject(dc, fitted);
      RECT needed{0, 0, client.right, 0};
      DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &needed,
                DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
      SelectObject(dc, old);
      if (needed.right <= client.right && needed.bottom <= client.bottom) break;
    }
    ReleaseDC(hwnd, dc);
    return fitted;
  }
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE extent{};
  TEXTMETRICW metrics{};
  GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  const int available = client.right - client.left - 2;
  if (extent.cx <= available || extent.cx <= 0) return font;
  const int percent = std::max(70, static_cast<int>(available * 100 / extent.cx));
  return FontFor(label.font(), dpi, std::max(1, static_cast<int>(metrics.tmAveCharWidth * percent / 100)));
}

HFONT Win32Host::FontFor(const ui::Font& font, UINT dpi, int width) {
  const std::wstring family = font.family.empty() ? std::wstring(kDefaultFamily) : process::Widen(font.family);
  const double points = font.points > 0 ? font.points : kDefaultPoints;
  const int height = -static_cast<int>(std::lround(points * dpi / 72.0));
  const auto key = std::make_tuple(family, height, font.bold, dpi, width);
  if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
  HFONT handle = CreateFontW(height, width, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             family.c_str());
  fonts_.emplace(key, handle);
  return handle;
}

HBRUSH Win32Host::BrushFor(COLORREF colour) {
  if (auto it = brushes_.find(colour); it != brushes_.end()) return it->second;
  HBRUSH brush = CreateSolidBrush(colour);
  brushes_.emplace(colour, brush);
  return brush;
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

LRESULT Win32Host::ControlColour(FormView& view, UINT message, WPARAM wparam, LPARAM lparam) {
  const LRESULT platform = DefWindowProcW(view.hwnd, message, wparam, lparam);
  ControlView* cv = ControlOf(view, reinterpret_cast<HWND>(lparam));
  if (cv == nullptr) return platform;
  HDC dc = reinterpret_cast<HDC>(wparam);
  const ui::Colour fore = cv->control->fore_colour();
  const ui::Colour back = cv->control->back_colour();
  if (fore.IsRgb()) SetTextColor(dc, ToColorRef(fore));
  if (back.IsRgb()) {
    SetBkColor(dc, ToColorRef(back));
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(BrushFor(ToColorRef(back)));
  }
  if (back.kind() == ui::Colour::Kind::SystemWindow) {
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
  }
  return platform;
}

void Win32Host::Paint(FormView& view) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(view.hwnd, &paint);
  for (const ControlView& cv : view.controls) {
    if (cv.control->kind() != ui::ControlKind::Line || !cv.control->rendered()) continue;
    const auto& line = static_cast<const ui::Line&>(*cv.control);
    const COLORREF colour = line.fore_colour().IsRgb() ? ToColorRef(line.fore_colour()) : GetSysColor(COLOR_WINDOWTEXT);
    // The width is the designed number of pixels; a flat cap keeps the ends where they were drawn.
    LOGBRUSH brush{BS_SOLID, colour, 0};
    HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT, static_cast<DWORD>(line.pixel_width()), &brush, 0,
                            nullptr);
    HGDIOBJ old = SelectObject(dc, pen);
    MoveToEx(dc, TwipsToPixels(line.x1(), view.dpi), TwipsToPixels(line.y1(), view.dpi), nullptr);
    LineTo(dc, TwipsToPixels(line.x2(), view.dpi), TwipsToPixels(line.y2(), view.dpi));
    SelectObject(dc, old);
    DeleteObject(pen);
  }
  EndPaint(view.hwnd, &paint);
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
  const float left = static_cast<float>(normal.left) * ui::kTwipsPerInch / static_cast<float>(view.dpi);
  const float top = static_cast<float>(normal.top) * ui::kTwipsPerInch / static_cast<float>(view.dpi);
  ui::Form* form = view.form;
  Forward([this, form, left, top] { desktop_.UserMoved(*form, left, top); });
}

void Win32Host::StoreForSessionEnd(const FormView& view) {
  // Asked of every top-level window; the one without an owner answers for the program.
  if (view.form->owner() != nullptr || core_depth_ > 0) return;
  desktop_.StoreAll();
}

void Win32Host::CloseEverything() {
  if (core_depth_ > 0) return;
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
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(message.wParam);
    if (got == -1) return 1;
    if (HandleDialogKeys(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
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

// ---- Always on top ----------------------------------------------------------------------------

ui::NativeWindow Win32WindowManager::WindowOf(const ui::Form& form) {
  return reinterpret_cast<ui::NativeWindow>(host_.WindowOf(form));
}

ui::NativeWindow Win32WindowManager::ForegroundWindow() {
  return reinterpret_cast<ui::NativeWindow>(GetForegroundWindow());
}

void Win32WindowManager::SetTopmost(ui::NativeWindow window, bool topmost) {
  if (window == ui::kNoWindow) return;
  // Never activating: a tick once a second must not take the keyboard from the window the user types in.
  SetWindowPos(reinterpret_cast<HWND>(window), topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
}

}  // namespace win32
