// Timers without a clock: the front end passes a monotonic time in, the TimerService runs the
// ticks that are due and says when the next one is, so one native timer drives them all.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace ui {

using Millis = std::int64_t;

class TimerService;
class Form;

class Timer {
 public:
  // `owner` is the window the timer belongs to: closing that window retires the timer (see Retire).
  Timer(TimerService& service, std::string name, Millis interval, const void* owner = nullptr);
  // A timer of a window: it goes when the window closes.
  Timer(Form& form, std::string name, Millis interval);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  const std::string& name() const { return name_; }
  Millis interval() const { return interval_; }
  bool armed() const { return armed_; }
  // Arming an armed timer changes nothing: its next tick is neither restarted nor delayed.
  void Arm();
  void Disarm();
  void Set(bool armed) { armed ? Arm() : Disarm(); }
  void OnTick(std::function<void()> h) { on_tick_ = std::move(h); }
  Millis due() const { return due_; }

 private:
  friend class TimerService;
  TimerService& service_;
  std::string name_;
  Millis interval_;
  const void* owner_;
  bool armed_ = false;
  Millis due_ = 0;
  std::uint64_t sequence_ = 0;
  std::function<void()> on_tick_;
};

class TimerService {
 public:
  // The time every arming counts from; the front end sets it before it hands any event in.
  void SetNow(Millis now);
  Millis now() const { return now_; }

  // Runs every tick due at `now`. A timer that is several intervals late ticks once and counts its
  // next interval from this tick, so a suspended machine never fires a burst of ticks.
  void RunDue(Millis now);
  // When the next armed timer is due, if any timer is armed.
  std::optional<Millis> NextDue() const;
  // Disarms every timer of this owner: a window that closes takes its timers with it at once, so
  // none of them ticks later in the pass under way. One armed again by a handler that runs while
  // the window closes (its own Unload, say) comes due an interval later at the soonest, and by then
  // the window and its timers are gone: closed windows are deleted at the end of the event.
  void Retire(const void* owner);

  // Ticks due at the same moment run in the order the timers were created, or reversed: tests
  // run a scenario both ways, since no handler may rely on that order.
  void set_reverse_ties(bool r) { reverse_ties_ = r; }
  std::size_t timer_count() const { return timers_.size(); }

 private:
  friend class Timer;
  void Add(Timer* t);
  void Remove(Timer* t);
  Millis now_ = 0;
  bool reverse_ties_ = false;
  std::uint64_t next_sequence_ = 0;
  std::vector<Timer*> timers_;
};

}  // namespace ui
