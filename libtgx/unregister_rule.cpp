// The rule every unregistration follows (driver events, RSCN watchers, CT and
// SD registrations; see tgx_internal.h): how long it may wait for a callback
// that runs on another thread. Waiting for it from inside a callback could
// close a circle (two callbacks that end each other's registration), so that
// wait is skipped while the other callback runs; every other wait is bounded.
#include "libtgx/tgx_internal.h"

namespace {

thread_local uint32_t t_callbackDepth = 0; // callbacks running on this thread

} // namespace

TgxCallbackScope::TgxCallbackScope() {
    ++t_callbackDepth;
}

TgxCallbackScope::~TgxCallbackScope() {
    --t_callbackDepth;
}

bool tgx_in_callback() {
    return t_callbackDepth != 0;
}

uint32_t tgx_unregister_bound(bool targetInCallback) {
    return targetInCallback && tgx_in_callback() ? 0 : kTgxUnregisterBoundMs;
}
