// Management events raised by the simulated driver, shared by every process
// of the machine: a ring of the last kWmiEventSlots events in the state
// directory ("wmi_events.ring"), numbered from 1 up. A raise is on disk when
// it returns and counts as a change of the machine (so readers notice it
// through the change counter without asking the file system).
#pragma once
#include <cstdint>

#include "platform/plat_backend.h"

namespace hbasim {

const uint32_t kWmiEventSlots = 1024;

// Appends one event; SIM_OK or SIM_ERR_IO.
int wmi_event_append(const HbaMgmtEvent& e);
// The number the next event will get (1 when none was raised yet).
uint64_t wmi_event_next();
// Copies the events numbered *from and up (at most capacity) into out; *from
// moves past the last one copied, and past events the ring no longer holds.
int wmi_event_read(uint64_t* from, HbaMgmtEvent* out, uint32_t capacity, uint32_t* count);
// fn(ctx) is called after every append made by this process (null: none).
void wmi_event_set_notify(void (*fn)(void* ctx), void* ctx);

} // namespace hbasim
