// State helpers of the simulated adapter firmware: journal and injected
// statuses, config regions, the default VPD and the adapter memory model.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "sim/driver/mbox_fw.h"

namespace hbasim {

uint32_t fw_rd32(const uint8_t* p) {
    return drv_rd32(p);
}
void fw_wr32(uint8_t* p, uint32_t v) {
    drv_wr32(p, v);
}
uint32_t fw_be32(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | (uint32_t)p[3];
}
void fw_wr_be32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

uint32_t fw_mailbox_data_room(const MboxCall& c) {
    uint32_t words = c.mbWords > 64 ? 64 : c.mbWords;
    return words > 5 ? (words - 5) * 4 : 0;
}

void fw_note(const char* name, const std::string& detail) {
    journal("mbx", detail.empty() ? std::string(name) : std::string(name) + " " + detail);
}

const char* const kMboxFaultNames[] = {
    "READ_REV",        "READ_NV",
    "WRITE_NV",        "WRITE_VPARMS",
    "WRITE_WWN",       "DUMP",
    "UPDATE_CFG",      "LOAD_SM",
    "DEL_LD_ENTRY",    "LOAD_EXP_ROM",
    "RESTART",         "SLI_CONFIG",
    "GET_BOOT_CONFIG", "GET_CNTL_ADDL_ATTRIBUTES",
    "DOWN_LOAD",       "LOAD_AREA",
    "SECURITY",        "NV_LOG_STATUS",
    "NV_LOG_READ",     "FACTORY_DEFAULTS",
    "FFV_READ",        "FFV_WRITE",
};
const size_t kMboxFaultNameCount = sizeof kMboxFaultNames / sizeof kMboxFaultNames[0];

bool fw_begin(const Function& f, MboxCall& c, const char* name, const std::string& detail) {
    fw_note(name, detail);
    std::string action = fault_check("mbx", name, func_scsi_port(f));
    uint32_t status = 0;
    if (action == "fail") status = MBXS_ERROR;
    if (status != 0 || (!action.empty() && drv_fault_status(action, &status))) {
        mbox_set_status(c, status);
        return true;
    }
    return false;
}

// ---- function facts ------------------------------------------------------------------

// The SLI-4 interface is the one the driver types that know it negotiate;
// under any other driver type the firmware runs the classic interface (names
// as host words, factory address in region 16).
bool fw_is_sli4(const Function& f) {
    static const uint64_t kSli4DriverTypes[] = {2, 3, 16, 21};
    if (f.attrs.get_u("sli_mode") != 4) return false;
    uint64_t type = f.attrs.get_u("drv_type", 3);
    for (uint64_t t : kSli4DriverTypes)
        if (t == type) return true;
    return false;
}
uint32_t fw_device_id(const Function& f) {
    return (uint32_t)f.attrs.get_u("device_id");
}

bool fw_ref(const Function& f, FuncRef* out) {
    int port = func_scsi_port(f);
    return port >= 0 && find_scsi_port(port, out);
}

// ---- regions -------------------------------------------------------------------------------

namespace {

const char* const kStateNames[] = {"valid", "invalid", "uninit", "bad"};

std::map<uint32_t, RegionState> parse_states(const std::string& text) {
    std::map<uint32_t, RegionState> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t comma = text.find(',', pos);
        std::string item =
            text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos);
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            uint32_t region = (uint32_t)strtoul(item.substr(0, eq).c_str(), nullptr, 0);
            std::string name = item.substr(eq + 1);
            for (int i = 1; i < 4; ++i)
                if (name == kStateNames[i]) out[region] = (RegionState)i;
        }
        if (comma == std::string::npos) break;
        pos = comma + 1;
    }
    return out;
}

std::string format_states(const std::map<uint32_t, RegionState>& states) {
    std::string s;
    for (const auto& kv : states) {
        if (!s.empty()) s += ",";
        s += std::to_string(kv.first) + "=" + kStateNames[kv.second];
    }
    return s;
}

std::string region_key(uint32_t region) {
    return "region" + std::to_string(region);
}

bool hex_to_bytes(const std::string& hex, Bytes* out) {
    out->clear();
    if (hex.size() % 2) return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        char pair[3] = {hex[i], hex[i + 1], 0};
        char* end = nullptr;
        unsigned long v = strtoul(pair, &end, 16);
        if (end != pair + 2) return false;
        out->push_back((uint8_t)v);
    }
    return true;
}

// Eight bytes of a WWN attribute in wire order.
bool wwn_of(const Function& f, const char* key, uint8_t out[8]) {
    return f.attrs.has(key) && parse_hex_bytes(f.attrs.get(key), out, 8);
}

// Classic adapters keep names as host words: each group of four reversed.
void to_host_words(uint8_t* p, size_t n) {
    for (size_t i = 0; i + 4 <= n; i += 4) {
        std::swap(p[i], p[i + 3]);
        std::swap(p[i + 1], p[i + 2]);
    }
}

uint32_t standard_size(uint32_t region) {
    switch (region) {
    case 4:
    case 8:
        return 60;
    case 9:
        return 88;
    case 10:
        return 256;
    default:
        return 0;
    }
}

} // namespace

RegionState fw_region_state(const Function& f, uint32_t region) {
    auto states = parse_states(f.attrs.get("region_state"));
    auto it = states.find(region);
    return it == states.end() ? REGION_VALID : it->second;
}

void fw_set_region_state(Function& f, uint32_t region, RegionState st) {
    auto states = parse_states(f.attrs.get("region_state"));
    if (st == REGION_VALID)
        states.erase(region);
    else
        states[region] = st;
    f.attrs.set("region_state", format_states(states));
}

uint32_t fw_ieee_region(const Function& f) {
    return fw_is_sli4(f) ? 32 : 16;
}

Bytes fw_vpd_bytes(const Adapter& a, const Function& f) {
    Bytes v;
    if (f.attrs.has("vpd") && hex_to_bytes(f.attrs.get("vpd"), &v)) return v;
    std::string id = a.attrs.get("model");
    std::string port = std::to_string(f.attrs.get_u("port"));
    Bytes ro;
    auto keyword = [&](const char* key, const std::string& value) {
        ro.push_back((uint8_t)key[0]);
        ro.push_back((uint8_t)key[1]);
        ro.push_back((uint8_t)value.size());
        ro.insert(ro.end(), value.begin(), value.end());
    };
    keyword("SN", a.attrs.get("serial"));
    keyword("V2", a.attrs.get("model"));
    keyword("V4", port);
    keyword("RV", std::string(1, '\0'));
    v.push_back(0x82);
    v.push_back((uint8_t)id.size());
    v.push_back((uint8_t)(id.size() >> 8));
    v.insert(v.end(), id.begin(), id.end());
    v.push_back(0x90);
    v.push_back((uint8_t)ro.size());
    v.push_back((uint8_t)(ro.size() >> 8));
    v.insert(v.end(), ro.begin(), ro.end());
    v.push_back(0x78);
    return v;
}

bool fw_region_data(const Adapter& a, const Function& f, uint32_t region, Bytes* out) {
    auto blob = f.blobs.find(region_key(region));
    if (blob != f.blobs.end()) {
        *out = blob->second;
        return true;
    }
    if (region == 0) {
        uint8_t nv[20] = {};
        if (!wwn_of(f, "wwpn", nv) || !wwn_of(f, "wwnn", nv + 8)) return false;
        if (!fw_is_sli4(f)) to_host_words(nv, 16);
        out->assign(nv, nv + 20);
        return true;
    }
    if (region == 14) {
        *out = fw_vpd_bytes(a, f);
        return true;
    }
    if (region == fw_ieee_region(f)) {
        uint8_t ieee[8];
        if (!wwn_of(f, "factory_wwn", ieee) && !wwn_of(f, "wwpn", ieee)) return false;
        if (!fw_is_sli4(f)) to_host_words(ieee, 8);
        out->assign(ieee, ieee + 8);
        return true;
    }
    uint32_t size = standard_size(region);
    if (size == 0) return false;
    std::string key = "region_" + std::to_string(region);
    if (f.attrs.has(key) && hex_to_bytes(f.attrs.get(key), out)) return true;
    out->assign(size, 0);
    return true;
}

uint32_t fw_region_header(const Function& f, uint32_t region, uint32_t dataSize) {
    std::string key = region_key(region) + "_len";
    return f.attrs.has(key) ? (uint32_t)f.attrs.get_u(key) : dataSize;
}

void fw_store_region(Function& f, uint32_t region, const Bytes& data) {
    f.blobs[region_key(region)] = data;
}

uint32_t fw_region_read_status(const Adapter& a, const Function& f, uint32_t region) {
    switch (fw_region_state(f, region)) {
    case REGION_INVALID:
        return MBXS_NO_ENTRY;
    case REGION_UNINIT:
        return MBXS_NOT_INITIALIZED;
    case REGION_BAD:
        return MBXS_REGION_BAD;
    default:
        break;
    }
    Bytes data;
    return fw_region_data(a, f, region, &data) ? 0 : MBXS_NO_ENTRY;
}

// ---- memory ----------------------------------------------------------------------------------

namespace {

constexpr uint32_t kFirstEntry = 0x1000;
constexpr uint32_t kEntryStride = 0x20;
constexpr uint32_t kImageStride = 0x10000;
constexpr uint32_t kShortHeader = 48;
constexpr uint32_t kTextOffset = 0x40; // from the end of the image header

struct LoadListSpec {
    uint32_t pid0;
    uint32_t pid1;
    std::string version;
};

// "pid0,pid1,version;..." (version may be empty).
std::vector<LoadListSpec> parse_load_list(const std::string& text) {
    std::vector<LoadListSpec> out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t semi = text.find(';', pos);
        std::string item =
            text.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos);
        if (!item.empty()) {
            LoadListSpec s{0, 0, ""};
            size_t c1 = item.find(',');
            s.pid0 = (uint32_t)strtoul(item.substr(0, c1).c_str(), nullptr, 0);
            if (c1 != std::string::npos) {
                size_t c2 = item.find(',', c1 + 1);
                s.pid1 = (uint32_t)strtoul(item.substr(c1 + 1, c2 - c1 - 1).c_str(), nullptr, 0);
                if (c2 != std::string::npos) s.version = item.substr(c2 + 1);
            }
            out.push_back(s);
        }
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }
    return out;
}

// "addr=w w w;addr=w ..." sets consecutive words from each address.
void apply_memory_text(Memory& m, const std::string& text) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t semi = text.find(';', pos);
        std::string item =
            text.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos);
        size_t eq = item.find('=');
        if (eq != std::string::npos) {
            uint32_t addr = (uint32_t)strtoul(item.substr(0, eq).c_str(), nullptr, 0) & ~3u;
            const char* p = item.c_str() + eq + 1;
            while (*p) {
                char* end = nullptr;
                unsigned long v = strtoul(p, &end, 0);
                if (end == p) break;
                m[addr] = (uint32_t)v;
                addr += 4;
                p = end;
            }
        }
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }
}

void put_text(Memory& m, uint32_t addr, const std::string& text, bool memoryOrder) {
    uint8_t bytes[28] = {};
    size_t n = text.size() < 24 ? text.size() : 24;
    memcpy(bytes, text.data(), n);
    for (uint32_t i = 0; i < 7; ++i)
        m[addr + 4 * i] = memoryOrder ? fw_rd32(bytes + 4 * i) : fw_be32(bytes + 4 * i);
}

} // namespace

Memory fw_memory(const Function& f) {
    Memory m;
    uint32_t layout = (uint32_t)f.attrs.get_u("flash_layout", FLASH_LAYOUT_A);
    std::vector<LoadListSpec> list = parse_load_list(f.attrs.get("load_list"));
    m[MEM_LOAD_LIST_HEAD] = list.empty() ? MEM_LOAD_LIST_HEAD : kFirstEntry;
    m[MEM_FAMILY_WORDS] = 0;
    m[MEM_FAMILY_WORDS + 4] = 0;
    m[MEM_AWC_VERSION] = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        uint32_t at = kFirstEntry + kEntryStride * (uint32_t)i;
        uint32_t image = layout + kImageStride * (uint32_t)i;
        m[at] = i + 1 < list.size() ? at + kEntryStride : MEM_LOAD_LIST_HEAD;
        m[at + 4] = 0;
        m[at + 8] = image;
        m[at + 12] = 0;
        m[at + 16] = list[i].pid0;
        m[at + 20] = list[i].pid1;
        // Image header: short form (bit 3 of word 3 clear), linked at 0, with
        // the version text kTextOffset bytes after the header.
        uint32_t base = image & ~3u;
        m[base + 12] = 0;
        m[base + 28] = 0;
        uint32_t d = base + kShortHeader;
        m[d + 4] = kTextOffset;
        m[d + 8] = kTextOffset;
        bool boot = (list[i].pid0 >> 24) == 3;
        put_text(m, d + kTextOffset, list[i].version, boot);
    }
    apply_memory_text(m, f.attrs.get("memory"));
    auto patch = f.blobs.find("memory_patch");
    if (patch != f.blobs.end())
        for (size_t i = 0; i + 8 <= patch->second.size(); i += 8)
            m[fw_rd32(&patch->second[i])] = fw_rd32(&patch->second[i + 4]);
    return m;
}

uint32_t fw_mem_read(const Memory& m, uint32_t address) {
    auto it = m.find(address & ~3u);
    return it == m.end() ? 0 : it->second;
}

void fw_mem_write(Function& f, uint32_t address, uint32_t value) {
    Bytes& patch = f.blobs["memory_patch"];
    address &= ~3u;
    for (size_t i = 0; i + 8 <= patch.size(); i += 8)
        if (fw_rd32(&patch[i]) == address) {
            fw_wr32(&patch[i + 4], value);
            return;
        }
    size_t at = patch.size();
    patch.resize(at + 8);
    fw_wr32(&patch[at], address);
    fw_wr32(&patch[at + 4], value);
}

uint32_t fw_mem_window(const Function& f) {
    static const uint32_t kNewer[] = {18, 868, 1296, 1399, 4100};
    uint32_t hw = (uint32_t)f.attrs.get_u("hw_type");
    for (uint32_t n : kNewer)
        if (hw == n) return 0x20000000u;
    return 0x02000000u;
}

uint32_t fw_region_base(const Function& f) {
    Memory m = fw_memory(f);
    uint32_t first = fw_mem_read(m, MEM_LOAD_LIST_HEAD);
    uint32_t layout = fw_mem_read(m, first + 8) & 0xFFFFF;
    if (layout == FLASH_LAYOUT_A) return FLASH_LAYOUT_A_BASE;
    if (layout == FLASH_LAYOUT_B) return FLASH_LAYOUT_B_BASE;
    return 0;
}

} // namespace hbasim
