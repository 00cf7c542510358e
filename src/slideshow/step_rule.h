#pragma once

#include "registers/register_ring.h"

namespace tarvex {

enum class StepDirection { Backward = 0, Forward = 1 };

// While a register has wrapped, stepping covers every slot 0 … max_index: its newest slot becomes
// max_index, which also moves the write position so that the next registration writes slot 0.
void widen_full_register(Register& r);

// The step shared by the arrow buttons and the continuous display. Until the register's first step
// (`nav_started` false) any step goes to entry 0 and marks the register as started; after that the
// current entry moves on by one, going round between 0 and the newest slot.
void step_register(Register& r, bool& nav_started, StepDirection direction);

// The entry a forward step would reach, without stepping (what the slideshow shows next).
int next_forward_entry(const Register& r, bool nav_started);

}  // namespace tarvex
