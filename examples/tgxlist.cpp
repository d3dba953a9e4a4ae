// tgxlist: lists the adapters that libtgx discovered, with their driver and
// port facts (HBA-API adapter and port attributes, state, type and speeds in
// words), the link counters where the driver keeps them, and for each port
// its virtual ports and the remote ports it sees with their LUNs. A small
// example of the library's interface.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "interfaces/tgx_ioctl.h"
#include "libtgx/libtgx.h"

namespace {

struct Named {
    uint32_t value;
    const char* name;
};

// HBA API port states, port types and speed bits in words.
const Named kPortStates[] = {{1, "Unknown"},     {2, "Online"},    {3, "Offline"}, {4, "Bypassed"},
                             {5, "Diagnostics"}, {6, "Link down"}, {7, "Error"},   {8, "Loopback"}};
const Named kPortTypes[] = {{1, "Unknown"}, {2, "Other"},   {3, "Not present"},    {5, "N_Port"},
                            {6, "NL_Port"}, {7, "FL_Port"}, {8, "F_Port"},         {9, "E_Port"},
                            {10, "G_Port"}, {20, "L_Port"}, {21, "Point-to-point"}};
const Named kSpeeds[] = {
    {0x1, "1 Gbit"},     {0x2, "2 Gbit"},      {0x8, "4 Gbit"},      {0x10, "8 Gbit"},
    {0x4, "10 Gbit"},    {0x20, "16 Gbit"},    {0x80, "20 Gbit"},    {0x800, "25 Gbit"},
    {0x40, "32 Gbit"},   {0x100, "40 Gbit"},   {0x200, "50 Gbit"},   {0x1000, "64 Gbit"},
    {0x400, "100 Gbit"}, {0x2000, "128 Gbit"}, {0x4000, "256 Gbit"}, {0x8000, "Not negotiated"}};
const Named kRoles[] = {{TGX_NODE_ROLE_FCP_TARGET, "FCP Target"},
                        {TGX_NODE_ROLE_FCP_INITIATOR, "FCP Initiator"},
                        {TGX_NODE_ROLE_OTHER, "other"}};

template <size_t N> std::string nameOf(const Named (&table)[N], uint32_t value) {
    for (const Named& row : table)
        if (row.value == value) return row.name;
    return "code " + std::to_string(value);
}

// The names of the bits set, joined by ", "; none gives the empty text.
template <size_t N> std::string bitNames(const Named (&table)[N], uint32_t bits) {
    std::string out;
    for (const Named& row : table) {
        if (!(bits & row.value)) continue;
        if (!out.empty()) out += ", ";
        out += row.name;
    }
    return out;
}

std::string speedText(uint32_t bits, bool single) {
    if (bits == 0) return "unknown";
    return single ? nameOf(kSpeeds, bits) : bitNames(kSpeeds, bits);
}

// A text field of the library's records; an empty one is not published.
std::string field(const char* text, size_t size) {
    size_t n = strnlen(text, size);
    return n ? std::string(text, n) : std::string("N/A");
}

void print_wwn(const uint8_t* w) {
    for (int i = 0; i < 8; ++i)
        std::printf("%s%02X", i ? ":" : "", w[i]);
}

// The LUNs of one target among the port's FCP mapping entries.
std::vector<uint32_t> luns_of(const std::vector<uint8_t>& mapBytes, uint32_t entries,
                              const uint8_t* wwpn) {
    const auto* map = reinterpret_cast<const TGX_FcpTargetMapping*>(mapBytes.data());
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < entries; ++i)
        if (std::memcmp(map->entries[i].portWwn, wwpn, 8) == 0)
            out.push_back(map->entries[i].scsiOsLun);
    return out;
}

const char* node_state(uint32_t word) {
    if (word & TGX_NODE_LINK_DOWN) return "link down";
    return word & TGX_NODE_READY ? "ready" : "not ready";
}

// The remote ports a (physical or virtual) port sees, one line each,
// indented; returns the status of the node query (2: the driver keeps no
// targets).
uint32_t print_targets(uint32_t board, const uint8_t* port, const char* indent) {
    std::vector<uint8_t> nodeBytes(8 + sizeof(TGX_NodeInfoEntry) * TGX_NODE_INFO_MAX);
    auto* nodes = reinterpret_cast<TGX_NodeInfo*>(nodeBytes.data());
    nodes->count = TGX_NODE_INFO_MAX;
    const uint32_t status = TGX_GetAllNodeInfoByWWN(board, port, nodes);
    if (status != 0) return status;
    // The mapping lists every LUN the host sees; ask again when it has more.
    uint32_t capacity = 64;
    std::vector<uint8_t> mapBytes;
    uint32_t st = 0, mapped = 0;
    for (int tries = 0; tries < 2; ++tries) {
        mapBytes.assign(8 + sizeof(TGX_FcpMappingEntry) * capacity, 0);
        auto* map = reinterpret_cast<TGX_FcpTargetMapping*>(mapBytes.data());
        map->count = capacity;
        st = TGX_GetFcpTargetMappingByWWN(board, port, map);
        mapped = map->count < capacity ? map->count : capacity;
        if (st != 7) break;
        capacity = map->count < 4096 ? map->count : 4096;
    }
    if (st != 0 && st != 7) mapped = 0;
    const uint32_t shown = nodes->count < TGX_NODE_INFO_MAX ? nodes->count : TGX_NODE_INFO_MAX;
    std::printf("%stargets: %u\n", indent, nodes->count);
    for (uint32_t i = 0; i < shown; ++i) {
        const TGX_NodeInfoEntry& e = nodes->entries[i];
        std::printf("%s  target ", indent);
        print_wwn(e.wwpn);
        std::printf(", node ");
        print_wwn(e.wwnn);
        std::printf(", d_id 0x%06X", e.dId);
        const std::string roles = bitNames(kRoles, e.word2);
        if (!roles.empty()) std::printf(", roles %s", roles.c_str());
        const std::vector<uint32_t> luns = luns_of(mapBytes, mapped, e.wwpn);
        std::printf(", %s, %zu LUN(s)", node_state(e.word2), luns.size());
        for (size_t k = 0; k < luns.size(); ++k)
            std::printf("%s%u", k ? " " : ": ", luns[k]);
        std::printf("\n");
    }
    return 0;
}

// The virtual ports of a board, each with the targets it sees.
void print_vports(uint32_t board) {
    const uint32_t capacity = 64;
    std::vector<uint8_t> bytes(4 + sizeof(VPortListEntry) * capacity);
    auto* list = reinterpret_cast<VPortList*>(bytes.data());
    list->count = capacity;
    if (TGX_VPGetList(board, list) != 0) return;
    const uint32_t shown = list->count < capacity ? list->count : capacity;
    std::printf("  virtual ports: %u\n", list->count);
    for (uint32_t i = 0; i < shown; ++i) {
        std::printf("    vport ");
        print_wwn(list->entries[i].wwpn);
        std::printf(", fc id 0x%06X\n", list->entries[i].fcId);
        print_targets(board, list->entries[i].wwpn, "      ");
    }
}

// The link counters of the read-link-status mailbox, where the driver
// answers it; a counter the driver does not keep (all ones) is left out.
void print_link_counters(uint32_t board) {
    uint32_t mb[64] = {};
    mb[0] = static_cast<uint32_t>(MBX_READ_LNK_STAT) << 8;
    if (TGX_IssueMboxWithRetryV2(board, mb, 64, 1, 0) != 0 || (mb[0] >> 16) != 0 ||
        mb[1] != LINK_COUNTER_COUNT)
        return;
    std::string line;
    for (uint32_t k = 0; k < LINK_COUNTER_COUNT; ++k) {
        const uint32_t w = LINK_COUNTER_FIRST_WORD + 2 * k;
        const uint64_t v = mb[w] | static_cast<uint64_t>(mb[w + 1]) << 32;
        if (v == LINK_COUNTER_NOT_COUNTED) continue;
        char one[96];
        std::snprintf(one, sizeof one, "%s%s 0x%llx", line.empty() ? "" : ", ",
                      LINK_COUNTER_NAMES[k], static_cast<unsigned long long>(v));
        line += one;
    }
    if (!line.empty()) std::printf("  link counters: %s\n", line.c_str());
}

const char kUsage[] =
    "usage: tgxlist [--help | --version]\n"
    "\n"
    "Lists the adapters that libtgx discovered: per board its PCI identity, model,\n"
    "firmware, WWPN, driver and port state, then the FCP targets each port sees\n"
    "(with their LUN counts) and its virtual ports. See tgxlist(1).\n";

// --help, -h and --version answer on standard output with 0; any other argument
// is refused with the usage text on standard error and 2.
int usage_switch(int argc, char** argv) {
    if (argc < 2) return -1;
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("tgxlist (hbasuite) %s\n", HBA_SUITE_VERSION);
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    std::fprintf(stderr, "tgxlist: unknown argument '%s'\n%s", argv[1], kUsage);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (int rc = usage_switch(argc, argv); rc >= 0) return rc;
    char ver[32] = {0};
    TGX_GetLibVer(ver);
    uint32_t count = TGX_InitDiagEnv(nullptr, 0);
    std::vector<BrdInfo> boards(count ? count : 1);
    count = TGX_InitDiagEnv(boards.data(), count);
    std::printf("libtgx %s: %u adapter(s)\n", ver, count);
    for (uint32_t b = 0; b < count; ++b) {
        const BrdInfo& bi = boards[b];
        DrvInfo di{};
        di.version = 5;
        TGX_GetDrvInfo(b, &di);
        HBA_AdapterAttributes aa{};
        TGX_GetAdapterAttributes(b, &aa);
        std::printf("board %u: scsi port %u, pci %04X:%04X at %02X:%02X.%u, model %s, fw %s, wwpn ",
                    b, bi.scsiPort, bi.pciIds & 0xFFFF, bi.pciIds >> 16, bi.busid & 0xFF, bi.dev_id,
                    bi.pciFunc, field(aa.Model, sizeof aa.Model).c_str(),
                    field(bi.fwVersion, sizeof bi.fwVersion).c_str());
        print_wwn(bi.wwpn);
        std::printf(", sli %u, features 0x%X\n", di.sliMode, di.featureList);
        HBA_PortAttributes pa{};
        GetAdapterPortAttributes(b, 0, &pa);
        std::printf("  driver %s %s, option rom %s, serial %s, os device %s, port id 0x%06X\n",
                    field(aa.DriverName, sizeof aa.DriverName).c_str(),
                    field(aa.DriverVersion, sizeof aa.DriverVersion).c_str(),
                    field(aa.OptionROMVersion, sizeof aa.OptionROMVersion).c_str(),
                    field(aa.SerialNumber, sizeof aa.SerialNumber).c_str(),
                    field(pa.OSDeviceName, sizeof pa.OSDeviceName).c_str(), pa.PortFcId);
        std::printf("  port state %s, port type %s, speed %s, supported speeds %s, remote ports "
                    "%u\n",
                    nameOf(kPortStates, pa.PortState).c_str(),
                    nameOf(kPortTypes, pa.PortType).c_str(), speedText(pa.PortSpeed, true).c_str(),
                    speedText(pa.PortSupportedSpeed, false).c_str(), pa.NumberofDiscoveredPorts);
        print_link_counters(b);
        if (print_targets(b, bi.wwpn, "  ") == 2) {
            std::printf("  virtual ports and targets: not kept by this driver\n");
            continue;
        }
        print_vports(b);
    }
    TGX_FreeDiagEnv();
    return 0;
}
