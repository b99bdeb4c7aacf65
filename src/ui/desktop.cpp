// The desktop: opening and closing forms in order, and handing the user's input and the passing of
// time to the forms that are open.
#include <algorithm>

#include "ui/desktop.h"

namespace ui {

Desktop::~Desktop() {
  // Forms still open when the program ends are dropped without unloading: the front end closes
  // every window through Close() before it gets here.
  closed_.clear();
  owned_.clear();
}

Form& Desktop::Open(std::unique_ptr<Form> form, Form* owner) {
  Form& f = *form;
  f.owner_ = owner;
  owned_.push_back(std::move(form));
  f.Load();
  open_.push_back(&f);
  if (host_) host_->Open(f);
  return f;
}

bool Desktop::IsOpen(const Form& form) const { return std::find(open_.begin(), open_.end(), &form) != open_.end(); }

bool Desktop::HasOpenChild(const Form& form) const {
  return std::any_of(open_.begin(), open_.end(), [&](const Form* f) { return f->owner_ == &form; });
}

void Desktop::Close(Form& form) {
  auto it = std::find(open_.begin(), open_.end(), &form);
  if (it == open_.end()) return;
  open_.erase(it);  // out of the list first, so a Close from within Unload cannot run it twice
  // Its timers go first of all, so no tick of it runs later in the pass that closed it; one that its
  // children or its own Unload arm again comes due only after the window is deleted.
  timers_.Retire(&form);
  for (auto child = open_.rbegin(); child != open_.rend();) {
    if ((*child)->owner_ == &form) {
      Close(**child);
      child = open_.rbegin();  // the list changed under us
    } else {
      ++child;
    }
  }
  form.Unload();
  if (host_) host_->Destroy(form);
  auto owned = std::find_if(owned_.begin(), owned_.end(), [&](const auto& p) { return p.get() == &form; });
  if (owned != owned_.end()) {
    closed_.push_back(std::move(*owned));
    owned_.erase(owned);
  }
}

void Desktop::StoreAll() {
  // Newest first, the order Close unloads them in.
  for (auto form = open_.rbegin(); form != open_.rend(); ++form) (*form)->Unload();
}

void Desktop::UserClick(Control& control) {
  if (!IsOpen(control.form()) || HasOpenChild(control.form())) return;
  switch (control.kind()) {
    case ControlKind::Label: static_cast<Label&>(control).Click(); break;
    case ControlKind::Button: static_cast<Button&>(control).Click(); break;
    case ControlKind::TickBox: static_cast<TickBox&>(control).Click(); break;
    case ControlKind::TextBox:
    case ControlKind::Line: break;
  }
}

void Desktop::UserEdit(TextBox& box, std::string text) {
  if (!IsOpen(box.form()) || HasOpenChild(box.form())) return;
  box.Edit(std::move(text));
}

void Desktop::UserMoved(Form& form, float left, float top) {
  if (IsOpen(form)) form.Moved(left, top);
}

void Desktop::CollectClosed() { closed_.clear(); }

Desktop::Settled Desktop::Deliver(Millis now, const std::function<void()>& input) {
  timers_.SetNow(now);
  ++depth_;
  if (input) input();
  --depth_;
  if (depth_ == 0) {
    if (after_event_) after_event_();
    CollectClosed();
  }
  return Settled{timers_.NextDue(), !open_.empty()};
}

Desktop::Settled Desktop::TimerPass(Millis now) {
  return Deliver(now, [this, now] {
    if (pass_begins_) pass_begins_();
    timers_.RunDue(now);
    if (pass_ends_) pass_ends_();
  });
}

Desktop::Settled Desktop::CloseAll(Millis now) {
  return Deliver(now, [this] {
    for (auto f = open_.rbegin(); f != open_.rend();) {
      if ((*f)->owner_ == nullptr) {
        Close(**f);
        f = open_.rbegin();  // the list changed under us
      } else {
        ++f;
      }
    }
  });
}

}  // namespace ui
