// tgxlist: lists the adapters that libtgx discovered, with their driver and
// port facts (HBA-API adapter and port attributes on a second line). A small
// example of the library's interface.
#include <cstdio>
#include <vector>

#include "libtgx/libtgx.h"

static void print_wwn(const uint8_t* w) {
    for (int i = 0; i < 8; ++i)
        std::printf("%s%02X", i ? ":" : "", w[i]);
}

int main() {
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
    }
    TGX_FreeDiagEnv();
    return 0;
}
