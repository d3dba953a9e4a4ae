// Port state of FC adapters: the driver type, the link state, the persistent
// link down setting, enabling a port held down, and the local loopback step
// taken before a download on a port whose link is down.
#pragma once
#include <cstdint>

// Driver types refined from the driver information's sub-type.
constexpr uint32_t DRIVER_TYPE_REFINABLE = 2;

// Driver type of the adapter into *type. Returns 0, or 1 when the library
// reports a negative type.
uint32_t GetDriverType(int adapter, uint32_t* type);

// Link state (a_linkState of the link information) into *state. 0 or 1.
uint32_t CLU_GetLinkInfo(int adapter, uint32_t* state);

// Whether persistent link down is configured, into *configured. Returns 0,
// the library's 2 or 3 as they are, 109 for its 4, 1 otherwise.
uint32_t CLU_GetPersistLinkDownCfg(int adapter, uint32_t* configured);

// Brings a port out of persistent link down: clears the setting and resets
// the adapter. Returns 0, 91 (state unknown or feature missing), 1, 2, 3, 109
// or 12.
uint32_t CLU_EnableAdapterPort(int adapter);

// Puts a port whose link is down (LNK_DOWN or LNK_DOWN_PERSIST) into local
// loopback; *loopbackSet tells whether it did. Returns 0 or 200.
uint32_t setLocalLoopbackIfLinkDown(int adapter, bool* loopbackSet);
