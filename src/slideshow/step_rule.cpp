#include "slideshow/step_rule.h"

namespace tarvex {

void widen_full_register(Register& r) {
  if (r.full) r.last = r.max_index;
}

void step_register(Register& r, bool& nav_started, StepDirection direction) {
  if (!nav_started) {
    r.cur = 0;
    nav_started = true;
    return;
  }
  if (direction == StepDirection::Forward) {
    r.cur = r.cur + 1;
    if (r.cur > r.last) r.cur = 0;
  } else {
    r.cur = r.cur - 1;
    if (r.cur <= -1) r.cur = r.last;
  }
}

int next_forward_entry(const Register& r, bool nav_started) {
  Register copy;
  copy.cur = r.cur;
  copy.last = r.full ? r.max_index : r.last;
  bool started = nav_started;
  step_register(copy, started, StepDirection::Forward);
  return copy.cur;
}

}  // namespace tarvex
