// tgxlist: lists the adapters that libtgx discovered, with their driver and
// port facts (HBA-API adapter and port attributes on a second line), and for
// each port its virtual ports and the FCP targets it sees with their LUNs. A
// small example of the library's interface.
#include <cstdio>
#include <cstring>
#include <vector>

#include "libtgx/libtgx.h"

static void print_wwn(const uint8_t* w) {
    for (int i = 0; i < 8; ++i)
        std::printf("%s%02X", i ? ":" : "", w[i]);
}

// LUNs of one target among the port's FCP mapping entries.
static unsigned luns_of(const std::vector<uint8_t>& mapBytes, uint32_t entries,
                        const uint8_t* wwpn) {
    const auto* map = reinterpret_cast<const TGX_FcpTargetMapping*>(mapBytes.data());
    unsigned n = 0;
    for (uint32_t i = 0; i < entries; ++i)
        n += std::memcmp(map->entries[i].portWwn, wwpn, 8) == 0;
    return n;
}

// The targets a (physical or virtual) port sees, one line each, indented;
// returns the status of the node query (2: the driver keeps no targets).
static uint32_t print_targets(uint32_t board, const uint8_t* port, const char* indent) {
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
        std::printf(", d_id 0x%06X, %u LUN(s)\n", e.dId, luns_of(mapBytes, mapped, e.wwpn));
    }
    return 0;
}

// The virtual ports of a board, each with the targets it sees.
static void print_vports(uint32_t board) {
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

static const char kUsage[] =
    "usage: tgxlist [--help | --version]\n"
    "\n"
    "Lists the adapters that libtgx discovered: per board its PCI identity, model,\n"
    "firmware, WWPN, driver and port state, then the FCP targets each port sees\n"
    "(with their LUN counts) and its virtual ports. See tgxlist(1).\n";

// --help, -h and --version answer on standard output with 0; any other argument
// is refused with the usage text on standard error and 2.
static int usage_switch(int argc, char** argv) {
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
        std::printf(
            "board %u: scsi port %u, pci %04X:%04X at %02X:%02X.%u, model %.*s, fw %.*s, wwpn ", b,
            bi.scsiPort, bi.pciIds & 0xFFFF, bi.pciIds >> 16, bi.busid & 0xFF, bi.dev_id,
            bi.pciFunc, (int)sizeof aa.Model, aa.Model, (int)sizeof bi.fwVersion, bi.fwVersion);
        print_wwn(bi.wwpn);
        std::printf(", sli %u, features 0x%X\n", di.sliMode, di.featureList);
        HBA_PortAttributes pa{};
        GetAdapterPortAttributes(b, 0, &pa);
        std::printf("  driver %.*s %.*s, option rom %.*s, serial %.*s, port state %u, speed 0x%X, "
                    "remote ports %u\n",
                    (int)sizeof aa.DriverName, aa.DriverName, (int)sizeof aa.DriverVersion,
                    aa.DriverVersion, (int)sizeof aa.OptionROMVersion, aa.OptionROMVersion,
                    (int)sizeof aa.SerialNumber, aa.SerialNumber, pa.PortState, pa.PortSpeed,
                    pa.NumberofDiscoveredPorts);
        if (print_targets(b, bi.wwpn, "  ") == 2) {
            std::printf("  virtual ports and targets: not kept by this driver\n");
            continue;
        }
        print_vports(b);
    }
    TGX_FreeDiagEnv();
    return 0;
}
