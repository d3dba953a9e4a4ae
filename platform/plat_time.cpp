// Sleep, wall clock and monotonic ticks.
#include "platform/plat_time.h"

#include <errno.h>
#include <time.h>

#include <cstdlib>
#include <mutex>

namespace {

std::mutex g_hookMu;
PlatSleepHook g_sleepHook = nullptr;
void* g_sleepCtx = nullptr;
PlatClockHook g_clockHook = nullptr;
void* g_clockCtx = nullptr;

// Percentage applied to every sleep: PLAT_SLEEP_SCALE, default 100. Read on each
// call so that a test can change it at run time; a bad value counts as 100.
uint64_t sleep_scale() {
    const char* s = getenv("PLAT_SLEEP_SCALE");
    if (!s || !*s) return 100;
    char* end = nullptr;
    unsigned long v = strtoul(s, &end, 10);
    if (*end != '\0' || v > 100000) return 100;
    return v;
}

void real_sleep_ms(uint64_t ms) {
    timespec ts;
    ts.tv_sec = (time_t)(ms / 1000);
    ts.tv_nsec = (long)((ms % 1000) * 1000000);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

} // namespace

void plat_sleep_ms(uint32_t ms) {
    PlatSleepHook hook;
    void* ctx;
    {
        std::lock_guard<std::mutex> g(g_hookMu);
        hook = g_sleepHook;
        ctx = g_sleepCtx;
    }
    if (hook) {
        hook(ms, ctx);
        return;
    }
    uint64_t scaled = (uint64_t)ms * sleep_scale() / 100;
    if (scaled > 0) real_sleep_ms(scaled);
}

uint32_t plat_scaled_ms(uint32_t ms) {
    if (ms == 0) return 0;
    uint64_t scaled = (uint64_t)ms * sleep_scale() / 100;
    if (scaled == 0) return 1;
    return scaled > 0xFFFFFFFEull ? 0xFFFFFFFEu : (uint32_t)scaled;
}

void plat_set_sleep_hook(PlatSleepHook hook, void* ctx) {
    std::lock_guard<std::mutex> g(g_hookMu);
    g_sleepHook = hook;
    g_sleepCtx = ctx;
}

void plat_local_time(PlatLocalTime* t) {
    if (!t) return;
    PlatClockHook hook;
    void* ctx;
    {
        std::lock_guard<std::mutex> g(g_hookMu);
        hook = g_clockHook;
        ctx = g_clockCtx;
    }
    if (hook) {
        hook(t, ctx);
        return;
    }
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm tmv;
    time_t secs = ts.tv_sec;
    localtime_r(&secs, &tmv);
    t->year = (uint16_t)(tmv.tm_year + 1900);
    t->month = (uint16_t)(tmv.tm_mon + 1);
    t->day = (uint16_t)tmv.tm_mday;
    t->hour = (uint16_t)tmv.tm_hour;
    t->minute = (uint16_t)tmv.tm_min;
    t->second = (uint16_t)tmv.tm_sec;
    t->millisecond = (uint16_t)(ts.tv_nsec / 1000000);
}

void plat_set_clock_hook(PlatClockHook hook, void* ctx) {
    std::lock_guard<std::mutex> g(g_hookMu);
    g_clockHook = hook;
    g_clockCtx = ctx;
}

uint64_t plat_tick_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000 + (uint64_t)ts.tv_nsec / 1000000;
}
