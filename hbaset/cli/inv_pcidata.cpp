// pcidata and pcidataext: the standard header of a function's PCI
// configuration space, two fields per line.
#include <cstdint>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/cna/mal.h"
#include "libtgx/libtgx.h"

namespace {

constexpr uint32_t kConfigBytes = MAL_PCI_CONFIG_SIZE;
static_assert(kConfigBytes == 256, "a configuration header copy is 256 bytes");

// One printed field: its text (the value's format included), its offset in
// the configuration space and its width in bytes (little-endian).
struct PciField {
    const char* format;
    uint8_t offset;
    uint8_t bytes;
};

const PciField kPciFields[] = {
    {"Vendor ID:            0x%04X        ", 0, 2},    {"Device ID:            0x%04X\n", 2, 2},
    {"Command:              0x%04X        ", 4, 2},    {"Status:               0x%04X\n", 6, 2},
    {"Revision ID:          0x%02X          ", 8, 1},  {"Prog If:              0x%02X\n", 9, 1},
    {"Subclass:             0x%02X          ", 10, 1}, {"Base Class:           0x%02X\n", 11, 1},
    {"Cache Line Size:      0x%02X          ", 12, 1}, {"Latency Timer:        0x%02X\n", 13, 1},
    {"Header Type:          0x%02X          ", 14, 1}, {"Built In Self Test:   0x%02X\n", 15, 1},
    {"Base Address 0:       0x%08X    ", 16, 4},       {"Base Address 1:       0x%08X\n", 20, 4},
    {"Base Address 2:       0x%08X    ", 24, 4},       {"Base Address 3:       0x%08X\n", 28, 4},
    {"Base Address 4:       0x%08X    ", 32, 4},       {"Base Address 5:       0x%08X\n", 36, 4},
    {"CIS:                  0x%08X    ", 40, 4},       {"SubVendor ID:         0x%04X\n", 44, 2},
    {"SubSystem ID:         0x%04X        ", 46, 2},   {"ROM Base Address:     0x%08X\n", 48, 4},
    {"Interrupt Line:       0x%02X          ", 60, 1}, {"Interrupt Pin:        0x%02X\n", 61, 1},
    {"Minimum Grant:        0x%02X          ", 62, 1}, {"Maximum Latency:      0x%02X\n", 63, 1},
    {"Capabilities Ptr:     0x%02X\n", 52, 1},
};

uint32_t fieldValue(const uint8_t* config, const PciField& f) {
    uint32_t v = 0;
    for (uint32_t k = 0; k < f.bytes; ++k)
        v |= static_cast<uint32_t>(config[f.offset + k]) << (8 * k);
    return v;
}

void printLine(const char* text) {
    setMessageLine("%s", text);
    emitLine();
}

// The configuration copy NEXA keeps for a converged entry, or null (status
// and message already given).
const uint8_t* convergedConfig(int index) {
    if (!isNexaManaged(index)) {
        emitText("Command not supported on Adapter Number: %d\n", index + 1);
        g_run.cluStatus = CLU_NOT_SUPPORTED;
        return nullptr;
    }
    const CorevaneAdapter* a = g_run.nexaUp ? cnaAdapterOf(index) : nullptr;
    if (a == nullptr) {
        printLine("NEXA not available");
        g_run.cluStatus = CLU_NEXA_NOT_AVAILABLE;
        return nullptr;
    }
    const uint8_t* config = convergedPciConfig(index);
    if (config != nullptr) return config;
    emitText("Command not supported on Adapter Number: %d\n", index + 1);
    g_run.cluStatus = CLU_NOT_SUPPORTED;
    return nullptr;
}

} // namespace

void cmdPciData(int index) {
    uint8_t buffer[kConfigBytes] = {};
    const uint8_t* config = buffer;
    if (isFcIndex(index)) {
        if (TGX_ReadPciCfg(static_cast<uint32_t>(index), buffer, 0, kConfigBytes) != 0) {
            printLine("Unable to dump PCI config space via TGX");
            g_run.cluStatus = CLU_PCI_CONFIG;
            return;
        }
    } else {
        config = convergedConfig(index);
        if (config == nullptr) return;
    }
    for (const PciField& f : kPciFields)
        emitConsole(f.format, fieldValue(config, f));
}
