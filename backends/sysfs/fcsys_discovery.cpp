// Discovery requests answered from sysfs: driver information, board
// information with the PCI configuration space, the HBA-API adapter and port
// attributes, the refresh request (nothing is cached, so there is nothing to
// refresh) and the virtual-port resource query. The backend has checked each
// envelope and its size.
#include <cstddef>
#include <cstdio>
#include <cstring>

#include "backends/sysfs/fcsys_internal.h"
#include "interfaces/tgx_ioctl.h"

namespace fcsys {

namespace {

// Driver information payload.
enum : uint32_t {
    DI_VERSION = 0,
    DI_DRVTYPE = 1,
    DI_PAIRS = 8,
    DI_PAIR_VERSION = 16,
    DI_PAIR_NAME = 8,
    DI_DID = 80,
    DI_WWPN = 84,
    DI_SLIMODE = 136,
    DI_FEATURES = 140,
    DI_IFWORD = 148,
    DI_PAYLOAD = 160,
};
static_assert(TGX_SIZE_GETDRV_INFO == TGX_ENV_HEADER_LENGTH + DI_PAYLOAD, "driver info size");

// The driver-information version this backend speaks, and what it reports:
// the Linux driver kind, the SLI-4 interface (the only one the library
// takes), interface type 0, and the extended mailbox (the library needs it
// to send the revision query).
const uint8_t kDrvInfoVersion = 5;
const uint8_t kLinuxDriverType = 21;
const uint32_t kSliMode = 4;
const uint32_t kFeatures = TGX_FEATURE_MBOX_V2_EXT | TGX_FEATURE_QUERY_ONLY;
const uint32_t kRcVersionNotSpoken = 1;

// SNIA HBA API status values.
const uint32_t kHbaStatusOk = 0;
const uint32_t kHbaStatusIllegalIndex = 6;

// Port attributes of a driver other than the Port driver follow a port index word.
const uint32_t kPortIndexWord = 4;
static_assert(TGX_SIZE_PORT_ATTRIBUTES >=
                  TGX_ENV_HEADER_LENGTH + kPortIndexWord + TGX_PORT_ATTRIBUTES_SIZE,
              "port attributes envelope");
static_assert(TGX_SIZE_ADAPTER_ATTRIBUTES == TGX_ENV_HEADER_LENGTH + TGX_ADAPTER_ATTRIBUTES_SIZE,
              "adapter attributes envelope");
static_assert(TGX_SIZE_RETURN_INFO >= TGX_ENV_HEADER_LENGTH + TGX_RI_SLIMBASE + 4,
              "board information envelope");

// Virtual-port resources: maximum, in use, still available, one word unused.
const uint32_t kNpivResourceBytes = 16;
static_assert(TGX_SIZE_NPIV_RESOURCE == TGX_ENV_HEADER_LENGTH + kNpivResourceBytes,
              "virtual-port resource envelope");

// Copies text into a fixed field of cap bytes, zero padded; terminated keeps
// the last byte zero (HBA-API strings), otherwise the field may be full.
void put_text(uint8_t* dst, size_t cap, const char* text, bool terminated = true) {
    memset(dst, 0, cap);
    size_t limit = terminated ? cap - 1 : cap;
    memcpy(dst, text, strnlen(text, limit));
}

} // namespace

uint32_t answer_driver_info(const FcsysPort& port, Request& r) {
    PortFacts f;
    read_port_facts(port, &f);
    uint8_t* p = r.payload;
    uint8_t requested = p[DI_VERSION];
    uint8_t agreed = requested < kDrvInfoVersion ? requested : kDrvInfoVersion;
    memset(p, 0, DI_PAYLOAD);
    r.returnCode = requested > kDrvInfoVersion ? kRcVersionNotSpoken : 0;
    p[DI_VERSION] = agreed;
    p[DI_DRVTYPE] = kLinuxDriverType;
    put_text(p + DI_PAIRS, DI_PAIR_VERSION, f.driverVersion, false);
    put_text(p + DI_PAIRS + DI_PAIR_VERSION, DI_PAIR_NAME, f.driverName, false);
    wr32(p + DI_DID, f.portId);
    memcpy(p + DI_WWPN, f.wwpn, FCSYS_WWN_BYTES);
    if (agreed >= 4) {
        wr32(p + DI_SLIMODE, kSliMode);
        wr32(p + DI_FEATURES, kFeatures);
    }
    if (agreed >= 5) wr32(p + DI_IFWORD, 0);
    return 0;
}

uint32_t answer_board_info(const FcsysPort& port, Request& r) {
    PortFacts f;
    read_port_facts(port, &f);
    uint8_t* p = r.payload;
    memset(p, 0, TGX_RI_SLIMBASE + 4);
    // Link word bit 0: link up. Bit 31 (persistently down) is a setting this
    // backend cannot know, so it stays clear.
    wr32(p + TGX_RI_LINKWORD, port_is_up(f) ? 1u : 0u);
    wr32(p + TGX_RI_BUSID, (port.pci.bus & 0xFF) | (port.pci.segment & 0xFFFF) << 8);
    wr32(p + TGX_RI_DEVFUNC, (port.pci.device & 0x1F) | (port.pci.function & 7) << 5);
    read_pci_config(port, f, p + TGX_RI_PCICFG);
    r.returnCode = 0;
    return 0;
}

uint32_t answer_adapter_attributes(const FcsysPort& port, Request& r) {
    PortFacts f;
    read_port_facts(port, &f);
    uint8_t* p = r.payload;
    memset(p, 0, TGX_ADAPTER_ATTRIBUTES_SIZE);
    put_text(p + offsetof(HBA_AdapterAttributes, Manufacturer), 64, f.manufacturer);
    put_text(p + offsetof(HBA_AdapterAttributes, SerialNumber), 64, f.serialNumber);
    put_text(p + offsetof(HBA_AdapterAttributes, Model), 256, f.model);
    put_text(p + offsetof(HBA_AdapterAttributes, ModelDescription), 256, f.modelDescription);
    memcpy(p + offsetof(HBA_AdapterAttributes, NodeWWN), f.wwnn, FCSYS_WWN_BYTES);
    put_text(p + offsetof(HBA_AdapterAttributes, HardwareVersion), 256, f.hardwareVersion);
    put_text(p + offsetof(HBA_AdapterAttributes, DriverVersion), 256, f.driverVersion);
    put_text(p + offsetof(HBA_AdapterAttributes, OptionROMVersion), 256, f.optionRomVersion);
    put_text(p + offsetof(HBA_AdapterAttributes, FirmwareVersion), 256, f.firmwareVersion);
    wr32(p + offsetof(HBA_AdapterAttributes, VendorSpecificID),
         (f.deviceId << 16) | (f.vendorId & 0xFFFF));
    wr32(p + offsetof(HBA_AdapterAttributes, NumberOfPorts), 1);
    put_text(p + offsetof(HBA_AdapterAttributes, DriverName), 256, f.driverName);
    r.returnCode = kHbaStatusOk;
    return 0;
}

uint32_t answer_port_attributes(const FcsysPort& port, Request& r) {
    if (rd32(r.payload) != 0) {
        r.returnCode = kHbaStatusIllegalIndex; // one port per function
        return 0;
    }
    PortFacts f;
    read_port_facts(port, &f);
    bool up = port_is_up(f);
    uint8_t* p = r.payload + kPortIndexWord;
    memset(p, 0, TGX_PORT_ATTRIBUTES_SIZE);
    memcpy(p + offsetof(HBA_PortAttributes, NodeWWN), f.wwnn, FCSYS_WWN_BYTES);
    memcpy(p + offsetof(HBA_PortAttributes, PortWWN), f.wwpn, FCSYS_WWN_BYTES);
    wr32(p + offsetof(HBA_PortAttributes, PortFcId), f.portId);
    wr32(p + offsetof(HBA_PortAttributes, PortType), f.portType);
    wr32(p + offsetof(HBA_PortAttributes, PortState), f.portState);
    wr32(p + offsetof(HBA_PortAttributes, PortSupportedClassofService), f.classes);
    memcpy(p + offsetof(HBA_PortAttributes, PortSupportedFc4Types), f.supportedFc4,
           FCSYS_FC4_BYTES);
    memcpy(p + offsetof(HBA_PortAttributes, PortActiveFc4Types), f.activeFc4, FCSYS_FC4_BYTES);
    put_text(p + offsetof(HBA_PortAttributes, PortSymbolicName), 256, f.symbolicName);
    // The SCSI host as the system names it (the device slot says nothing to a user).
    char device[48];
    snprintf(device, sizeof device, "/sys/class/scsi_host/host%u", port.host);
    put_text(p + offsetof(HBA_PortAttributes, OSDeviceName), 256, device);
    wr32(p + offsetof(HBA_PortAttributes, PortSupportedSpeed), f.supportedSpeeds);
    wr32(p + offsetof(HBA_PortAttributes, PortSpeed), f.speed);
    wr32(p + offsetof(HBA_PortAttributes, PortMaxFrameSize), f.maxFrameSize);
    memcpy(p + offsetof(HBA_PortAttributes, FabricName), f.fabricName, FCSYS_WWN_BYTES);
    wr32(p + offsetof(HBA_PortAttributes, NumberofDiscoveredPorts), up ? f.remotePorts : 0);
    r.returnCode = kHbaStatusOk;
    return 0;
}

uint32_t answer_refresh(const FcsysPort&, Request& r) {
    r.returnCode = kHbaStatusOk;
    return 0;
}

uint32_t answer_npiv_resource(const FcsysPort& port, Request& r) {
    PortFacts f;
    read_port_facts(port, &f);
    uint32_t max = f.maxNpivVports, used = f.npivVportsInUse;
    memset(r.payload, 0, kNpivResourceBytes);
    wr32(r.payload + 0, max);
    wr32(r.payload + 4, used);
    wr32(r.payload + 8, used < max ? max - used : 0);
    r.returnCode = 0;
    return 0;
}

} // namespace fcsys
