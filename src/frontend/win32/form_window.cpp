// The generic Win32 renderer of the core's forms, its form-window part: creating a form's window
// and its native child controls for labels, buttons, tick boxes and text boxes, bringing them up to
// date with the model, painted lines, exact colours and fonts, and DPI scaling.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "frontend/win32/native.h"
#include "frontend/win32/win32_host.h"
#include "process/windows/win32_text.h"
#include "ui/layout.h"

namespace win32 {

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
  // Where it opened, when that is not the stored place (brought onto a monitor): the core keeps the
  // real place, so a window closed unmoved stores that.
  ReportMove(v);
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

}  // namespace win32
