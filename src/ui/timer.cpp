// Timer scheduling for the control kit; see timer.h.
#include "ui/timer.h"

#include <algorithm>

#include "ui/form.h"

namespace ui {

Timer::Timer(TimerService& service, std::string name, Millis interval, const void* owner)
    : service_(service), name_(std::move(name)), interval_(interval), owner_(owner) {
  service_.Add(this);
}

Timer::Timer(Form& form, std::string name, Millis interval) : Timer(form.timers(), std::move(name), interval, &form) {}

Timer::~Timer() { service_.Remove(this); }

void Timer::Arm() {
  if (armed_) return;
  armed_ = true;
  due_ = service_.now_ + std::max<Millis>(interval_, 1);
}

void Timer::Disarm() { armed_ = false; }

void TimerService::Add(Timer* t) {
  t->sequence_ = next_sequence_++;
  timers_.push_back(t);
}

void TimerService::Remove(Timer* t) { std::erase(timers_, t); }

void TimerService::SetNow(Millis now) { now_ = std::max(now_, now); }

void TimerService::RunDue(Millis now) {
  SetNow(now);
  std::vector<Timer*> due;
  for (Timer* t : timers_)
    if (t->armed_ && t->due_ <= now_) due.push_back(t);
  std::sort(due.begin(), due.end(), [this](const Timer* a, const Timer* b) {
    if (a->due_ != b->due_) return a->due_ < b->due_;
    return reverse_ties_ ? a->sequence_ > b->sequence_ : a->sequence_ < b->sequence_;
  });
  for (Timer* t : due) {
    // An earlier tick of this pass may have disarmed this timer, re-armed it, or destroyed its
    // window (forms are only deleted after the event, so the pointer is still good).
    if (std::find(timers_.begin(), timers_.end(), t) == timers_.end()) continue;
    if (!t->armed_ || t->due_ > now_) continue;
    t->due_ = now_ + std::max<Millis>(t->interval_, 1);
    if (t->on_tick_) t->on_tick_();
  }
}

void TimerService::Retire(const void* owner) {
  if (owner == nullptr) return;
  for (Timer* t : timers_) {
    if (t->owner_ == owner) t->armed_ = false;
  }
}

std::optional<Millis> TimerService::NextDue() const {
  std::optional<Millis> next;
  for (const Timer* t : timers_)
    if (t->armed_ && (!next || t->due_ < *next)) next = t->due_;
  return next;
}

}  // namespace ui
