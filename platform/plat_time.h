// Sleep and clock. Every wait in the suite goes through plat_sleep_ms so that
// tests can make it instant (and record it).
#pragma once
#include <cstdint>

// Sleeps ms milliseconds, scaled by PLAT_SLEEP_SCALE (a percentage, default 100;
// 0 makes every sleep instant). A sleep hook, when installed, replaces the wait.
void plat_sleep_ms(uint32_t ms);
typedef void (*PlatSleepHook)(uint32_t ms, void* ctx);
void plat_set_sleep_hook(PlatSleepHook hook, void* ctx);
// ms scaled by PLAT_SLEEP_SCALE as plat_sleep_ms would sleep it, but at least
// 1 when ms is not 0: the timeout of a wait that must still block (a poll
// period). The sleep hook does not apply.
uint32_t plat_scaled_ms(uint32_t ms);

struct PlatLocalTime {
    uint16_t year, month, day, hour, minute, second, millisecond;
};
// Local wall-clock time; a clock hook, when installed, answers instead.
void plat_local_time(PlatLocalTime* t);
typedef void (*PlatClockHook)(PlatLocalTime* t, void* ctx);
void plat_set_clock_hook(PlatClockHook hook, void* ctx);

// Monotonic milliseconds.
uint64_t plat_tick_ms();
