// Discovery requests: driver information (with version negotiation), board
// information, the HBA-API adapter and port attributes, the refresh request
// and the management service start. Every answer is built from the function's
// state; the backend has already checked the envelope and its size.
#include <cstddef>
#include <cstring>

#include "interfaces/tgx_driver_records.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"

namespace hbasim {

namespace {

// SNIA HBA API status values and port states used below.
enum : uint32_t {
    HBA_STATUS_OK = 0,
    HBA_STATUS_ERROR_ILLEGAL_INDEX = 6,
    HBA_STATUS_ERROR_STALE_DATA = 8,
    HBA_PORTSTATE_LINKDOWN = 6,
};

// Driver-information payload offsets.
enum : uint32_t {
    DI_VERSION = 0,
    DI_DRVTYPE = 1,
    DI_PAIRS = 8,
    DI_PAIR_SIZE = 24,
    DI_DID = 80,
    DI_WWPN = 84,
    DI_SLIMODE = 136,
    DI_FEATURES = 140,
    DI_WORD144 = 144,
    DI_IFWORD = 148,
    DI_PAYLOAD = 160,
};
static_assert(TGX_SIZE_GETDRV_INFO == TGX_ENV_HEADER_LENGTH + DI_PAYLOAD, "driver info size");

// Port attributes of a Mini driver follow the port index word.
const uint32_t kMiniPortOffset = 4;
static_assert(TGX_SIZE_PORT_ATTRIBUTES >=
                  TGX_ENV_HEADER_LENGTH + kMiniPortOffset + TGX_PORT_ATTRIBUTES_SIZE,
              "port attributes envelope holds the Mini driver layout");
static_assert(TGX_SIZE_ADAPTER_ATTRIBUTES == TGX_ENV_HEADER_LENGTH + TGX_ADAPTER_ATTRIBUTES_SIZE,
              "adapter attributes envelope");
static_assert(TGX_SIZE_RETURN_INFO >= TGX_ENV_HEADER_LENGTH + TGX_RI_SLIMBASE + 4,
              "board information envelope");

const char kPortDriverName[] = "qrlsli2";

// Copies text into a fixed field of cap bytes, zero padded. terminated: keep
// the last byte zero (HBA-API strings); otherwise the field may be full.
void put_text(uint8_t* dst, size_t cap, const std::string& s, bool terminated = true) {
    memset(dst, 0, cap);
    size_t n = s.size();
    size_t lim = terminated ? cap - 1 : cap;
    memcpy(dst, s.data(), n < lim ? n : lim);
}

void put_wwn(uint8_t* dst, const std::string& text) {
    if (!parse_hex_bytes(text, dst, 8)) memset(dst, 0, 8);
}

uint32_t u32(const Attrs& a, const char* k) {
    return (uint32_t)a.get_u(k);
}

// Runs fn on the function behind the request; PLAT_ERR_GEN_FAILURE when the
// state cannot be read.
template <typename Fn> uint32_t with_function(const DrvRequest& r, Fn fn) {
    bool found = false;
    int rc = read_adapter(r.ref.adapter, [&](const Adapter& a) {
        if (r.ref.func < 0 || r.ref.func >= (int)a.funcs.size()) return;
        found = true;
        fn(a, a.funcs[(size_t)r.ref.func]);
    });
    return rc == SIM_OK && found ? 0u : (uint32_t)PLAT_ERR_GEN_FAILURE;
}

bool is_port_driver(const Function& f) {
    return f.attrs.get("driver_name") == kPortDriverName;
}

} // namespace

uint32_t req_getdrv_info(DrvRequest& r) {
    return with_function(r, [&](const Adapter&, const Function& f) {
        uint8_t* p = r.payload;
        uint32_t requested = p[DI_VERSION];
        uint32_t spoken = u32(f.attrs, "drv_version") & 0xFF;
        uint32_t agreed = requested < spoken ? requested : spoken;
        r.returnCode = requested > spoken ? 1 : 0; // 1: version not spoken
        p[DI_VERSION] = (uint8_t)spoken;
        p[DI_DRVTYPE] = (uint8_t)u32(f.attrs, "drv_type");
        static const char* kPairs[3][2] = {
            {"drv_ver", "drv_service"}, {"drv_ver2", "drv_service2"}, {"drv_ver3", "drv_service3"}};
        for (int i = 0; i < 3; ++i) {
            uint8_t* pair = p + DI_PAIRS + DI_PAIR_SIZE * i;
            put_text(pair, 16, f.attrs.get(kPairs[i][0]), false);
            put_text(pair + 16, 8, f.attrs.get(kPairs[i][1]), false);
        }
        drv_wr32(p + DI_DID, u32(f.attrs, "d_id"));
        put_wwn(p + DI_WWPN, f.attrs.get("wwpn"));
        if (agreed >= 4) {
            drv_wr32(p + DI_SLIMODE, u32(f.attrs, "sli_mode"));
            drv_wr32(p + DI_FEATURES, u32(f.attrs, "feature_list"));
            drv_wr32(p + DI_WORD144, u32(f.attrs, "drv_word144"));
        }
        if (agreed >= 5) drv_wr32(p + DI_IFWORD, (u32(f.attrs, "iftype") & 0xF) << 12);
    });
}

uint32_t req_return_info(DrvRequest& r) {
    return with_function(r, [&](const Adapter& a, const Function& f) {
        uint8_t* p = r.payload;
        drv_wr32(p + TGX_RI_RETURNINFO, u32(f.attrs, "return_info"));
        uint32_t link = 0;
        if (f.attrs.get("link") == "up") link |= 1u;
        if (f.attrs.get("persist_down") == "1") link |= 0x80000000u;
        drv_wr32(p + TGX_RI_LINKWORD, link);
        auto gi = f.blobs.find("gen_info");
        memset(p + TGX_RI_GENINFO, 0, 128);
        if (gi != f.blobs.end())
            memcpy(p + TGX_RI_GENINFO, gi->second.data(),
                   gi->second.size() < 128 ? gi->second.size() : 128);
        drv_wr32(p + TGX_RI_BUSID,
                 (u32(a.attrs, "pci_bus") & 0xFF) | ((u32(a.attrs, "pci_segment") & 0xFFFF) << 8));
        drv_wr32(p + TGX_RI_DEVFUNC,
                 (u32(f.attrs, "pci_device") & 0x1F) | ((u32(f.attrs, "pci_function") & 7) << 5));
        func_pci_config(a, f, p + TGX_RI_PCICFG);
        drv_wr32(p + TGX_RI_WORD456, u32(f.attrs, "word456"));
        drv_wr32(p + TGX_RI_SLIMBASE, u32(f.attrs, "slim_base"));
        r.returnCode = 0;
    });
}

uint32_t req_adapter_attributes(DrvRequest& r) {
    return with_function(r, [&](const Adapter& a, const Function& f) {
        uint8_t* p = r.payload;
        memset(p, 0, TGX_ADAPTER_ATTRIBUTES_SIZE);
        const std::string model = a.attrs.get("model");
        const std::string fw = a.attrs.get("fw_active");
        const std::string drv = f.attrs.get("drv_ver");
        put_text(p + offsetof(HBA_AdapterAttributes, Manufacturer), 64,
                 a.attrs.get("manufacturer"));
        put_text(p + offsetof(HBA_AdapterAttributes, SerialNumber), 64, a.attrs.get("serial"));
        put_text(p + offsetof(HBA_AdapterAttributes, Model), 256, model);
        put_text(p + offsetof(HBA_AdapterAttributes, ModelDescription), 256,
                 a.attrs.get("description"));
        put_wwn(p + offsetof(HBA_AdapterAttributes, NodeWWN), f.attrs.get("wwnn"));
        put_text(p + offsetof(HBA_AdapterAttributes, NodeSymbolicName), 256,
                 model + " FV" + fw + " DV" + drv);
        put_text(p + offsetof(HBA_AdapterAttributes, HardwareVersion), 256,
                 a.attrs.get("hw_version"));
        put_text(p + offsetof(HBA_AdapterAttributes, DriverVersion), 256, drv);
        put_text(p + offsetof(HBA_AdapterAttributes, OptionROMVersion), 256,
                 a.attrs.get("bios_version"));
        put_text(p + offsetof(HBA_AdapterAttributes, FirmwareVersion), 256, fw);
        drv_wr32(p + offsetof(HBA_AdapterAttributes, VendorSpecificID),
                 (u32(f.attrs, "device_id") << 16) | (u32(a.attrs, "vendor_id") & 0xFFFF));
        drv_wr32(p + offsetof(HBA_AdapterAttributes, NumberOfPorts), 1);
        put_text(p + offsetof(HBA_AdapterAttributes, DriverName), 256, f.attrs.get("driver_name"));
        r.returnCode = HBA_STATUS_OK;
    });
}

uint32_t req_port_attributes(DrvRequest& r) {
    return with_function(r, [&](const Adapter& a, const Function& f) {
        uint32_t off = 0;
        if (!is_port_driver(f)) {
            // Mini driver: the port index word, then the attributes.
            if (drv_rd32(r.payload) != 0) {
                r.returnCode = HBA_STATUS_ERROR_ILLEGAL_INDEX;
                return;
            }
            off = kMiniPortOffset;
        }
        uint8_t* p = r.payload + off;
        memset(p, 0, TGX_PORT_ATTRIBUTES_SIZE);
        bool up = f.attrs.get("link") == "up";
        int port = func_scsi_port(f);
        put_wwn(p + offsetof(HBA_PortAttributes, NodeWWN), f.attrs.get("wwnn"));
        put_wwn(p + offsetof(HBA_PortAttributes, PortWWN), f.attrs.get("wwpn"));
        drv_wr32(p + offsetof(HBA_PortAttributes, PortFcId), up ? u32(f.attrs, "d_id") : 0);
        drv_wr32(p + offsetof(HBA_PortAttributes, PortType), u32(f.attrs, "port_type"));
        uint32_t state = up ? TGX_PORTSTATE_ONLINE : HBA_PORTSTATE_LINKDOWN;
        if (f.attrs.has("port_state")) state = u32(f.attrs, "port_state");
        drv_wr32(p + offsetof(HBA_PortAttributes, PortState), state);
        drv_wr32(p + offsetof(HBA_PortAttributes, PortSupportedClassofService), 8); // class 3
        p[offsetof(HBA_PortAttributes, PortSupportedFc4Types) + 2] = 0x01;          // FCP
        if (up) p[offsetof(HBA_PortAttributes, PortActiveFc4Types) + 2] = 0x01;
        put_text(p + offsetof(HBA_PortAttributes, PortSymbolicName), 256,
                 a.attrs.get("model") + " port " + f.attrs.get("port"));
        put_text(p + offsetof(HBA_PortAttributes, OSDeviceName), 256,
                 "\\\\.\\Scsi" + std::to_string(port) + ":");
        drv_wr32(p + offsetof(HBA_PortAttributes, PortSupportedSpeed),
                 u32(f.attrs, "supported_speeds"));
        drv_wr32(p + offsetof(HBA_PortAttributes, PortSpeed), up ? u32(f.attrs, "port_speed") : 0);
        drv_wr32(p + offsetof(HBA_PortAttributes, PortMaxFrameSize), u32(f.attrs, "max_frame"));
        if (up) put_wwn(p + offsetof(HBA_PortAttributes, FabricName), f.attrs.get("fabric_name"));
        drv_wr32(p + offsetof(HBA_PortAttributes, NumberofDiscoveredPorts),
                 up ? u32(f.attrs, "discovered_ports") : 0);
        bool stale = r.fault == "stale" || f.attrs.get("stale_attrs") == "1";
        r.returnCode = stale ? HBA_STATUS_ERROR_STALE_DATA : HBA_STATUS_OK;
    });
}

uint32_t req_refresh_information(DrvRequest& r) {
    int rc = update_adapter(r.ref.adapter, [&](Adapter& a) {
        if (r.ref.func < 0 || r.ref.func >= (int)a.funcs.size()) return false;
        Function& f = a.funcs[(size_t)r.ref.func];
        if (f.attrs.get("stale_attrs") != "1") return false;
        f.attrs.set("stale_attrs", "0");
        return true;
    });
    if (rc != SIM_OK) return PLAT_ERR_GEN_FAILURE;
    r.returnCode = HBA_STATUS_OK;
    return 0;
}

uint32_t req_mgmt_start(DrvRequest& r) {
    // The management service has nothing to set up in the simulation; the
    // request is journalled by the backend.
    r.returnCode = 0;
    r.returned = 0;
    return 0;
}

} // namespace hbasim
