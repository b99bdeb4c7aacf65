// The Windows front end: draws any of the core's forms with the Windows API alone and hands the
// user's input, the passing of time and the session's end to the core through the Desktop.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "ui/desktop.h"
#include "ui/window_manager.h"

namespace win32 {

class Win32Host : public ui::WindowHost {
 public:
  explicit Win32Host(ui::Desktop& desktop, HINSTANCE instance = GetModuleHandleW(nullptr));
  ~Win32Host() override;
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  // ui::WindowHost: called by the core from inside an event.
  void Open(ui::Form& form) override;
  void Destroy(ui::Form& form) override;

  // Runs `event` as one event of the core (its clock set first), then brings the windows up to
  // date, re-arms the one native timer and quits the loop once no window is left.
  void Deliver(const std::function<void()>& event);

  // The message loop of the program: returns once no window is left (the exit code of WM_QUIT, or
  // 0 when a nested loop took the quit message for itself). Should a loop nested in one of its
  // messages hold on to the program after the last window has gone, the program ends from there.
  int RunMessageLoop();
  // Handles every message already queued, then returns (for tests that drive the loop themselves).
  void PumpPending();

  HWND WindowOf(const ui::Form& form) const;
  HWND ControlWindow(const ui::Control& control) const;
  UINT DpiOf(const ui::Form& form) const;
  ui::Millis Now() const;

 private:
  struct ControlView {
    ui::Control* control = nullptr;
    HWND hwnd = nullptr;  // none for a line: the form paints it
    int id = 0;
    // What the native control shows now, so Sync only touches what differs.
    ui::Colour back = ui::colours::kDefault;
    ui::Colour fore = ui::colours::kDefault;
    ui::Font font;
    // For a text box: the text, as the core holds it, that the control was last known to show.
    std::string text;
  };
  struct FormView {
    ui::Form* form = nullptr;
    HWND hwnd = nullptr;
    UINT dpi = 96;
    std::vector<ControlView> controls;
    HWND last_focus = nullptr;
    // Where the window went while the core was busy (placed on a monitor as it opened): handed in
    // once the event has ended, in twips.
    std::optional<std::pair<float, float>> pending_move;
  };

  static LRESULT CALLBACK FormProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK TimerProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleFormMessage(FormView& view, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT ControlColour(FormView& view, UINT message, WPARAM wparam, LPARAM lparam);

  void CreateControls(FormView& view);
  void Layout(FormView& view);
  void Paint(FormView& view);
  void SyncForm(FormView& view);
  void Sync();
  void RearmTimer(std::optional<ui::Millis> due);
  // After every event: windows brought up to date, the timer re-armed, the loop ended with no window.
  void Settle(const ui::Desktop::Settled& settled);
  bool HandInPendingMoves();
  void Forward(const std::function<void()>& event);
  void ReportMove(FormView& view);
  void OnTextChanged(ControlView& cv);
  void StoreForSessionEnd(const FormView& view);
  void CloseEverything();
  bool HandleDialogKeys(MSG& message);

  FormView* ViewOf(HWND hwnd);
  FormView* ViewOf(const ui::Form& form);
  const FormView* ViewOf(const ui::Form& form) const;
  ControlView* ControlOf(FormView& view, HWND child);
  HFONT FontFor(const ui::Font& font, UINT dpi, int width = 0);
  HFONT NarrowedToFit(HWND hwnd, const ui::Label& label, HFONT font, UINT dpi);
  HBRUSH BrushFor(COLORREF colour);

  ui::Desktop& desktop_;
  HINSTANCE instance_;
  HWND timer_window_ = nullptr;
  ULONGLONG start_ticks_ = 0;
  // Messages sent while the core is busy (windows being created or destroyed) are not input.
  int core_depth_ = 0;
  // The end of the session confirmed while the core was busy: carried out when it is done.
  bool close_pending_ = false;
  // Set once the core has closed the last window; the message loop ends on it, whichever loop the
  // close happened in.
  bool no_window_left_ = false;
  bool in_message_loop_ = false;
  std::vector<std::unique_ptr<FormView>> views_;
  std::map<std::tuple<std::wstring, int, bool, UINT, int>, HFONT> fonts_;
  std::map<COLORREF, HBRUSH> brushes_;
};

// Twips to pixels at a DPI, rounded to the nearest pixel.
int TwipsToPixels(double twips, UINT dpi);

}  // namespace win32
