// tgxevents: registers for every event kind of a board (dump and temperature
// events, CT requests of one GS type, SD events of every category and
// subcategory of the board's port, RSCNs of the port and of its virtual
// ports), prints what arrives and answers each CT request with an accept.
// Usage: tgxevents [BOARD] [GSTYPE] [SECONDS] (defaults 0, 0xFA, 60). An
// example of the library's event interface; put events into the simulated
// machine with "hbasim inject".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "libtgx/libtgx.h"

static void on_dump(uint32_t board) {
    std::printf("dump event: board %u\n", board);
    std::fflush(stdout);
}

static void on_temp(uint32_t board, uint32_t type, uint32_t temperature) {
    std::printf("temperature event: board %u type %u temperature %u\n", board, type, temperature);
    std::fflush(stdout);
}

static void on_ct(uint32_t board, uint32_t gstype, const uint8_t* data, uint32_t length,
                  uint32_t tag, void*) {
    std::printf("CT request: board %u gstype 0x%02X tag %u length %u\n", board, gstype, tag,
                length);
    uint8_t accept[16] = {1, 0, 0,    0,   (uint8_t)gstype, length > 5 ? data[5] : (uint8_t)0,
                          0, 0, 0x80, 0x02};
    std::printf("  answered: status %u\n",
                QrlTgxSendMgmtResponse(board, accept, sizeof accept, tag));
    std::fflush(stdout);
}

static void on_sd(uint32_t board, HBA_wwn wwpn, uint32_t category, uint32_t subCategory, void*,
                  SdEventData* data) {
    std::printf("SD event: board %u port %02X%02X%02X%02X%02X%02X%02X%02X category %u "
                "subcategory %u length %u data",
                board, wwpn.wwn[0], wwpn.wwn[1], wwpn.wwn[2], wwpn.wwn[3], wwpn.wwn[4], wwpn.wwn[5],
                wwpn.wwn[6], wwpn.wwn[7], category, subCategory, data->length);
    for (uint32_t i = 0; i + 12 < data->length && i < 40; ++i)
        std::printf(" %02X", data->payload[i]);
    std::printf("\n");
    std::fflush(stdout);
}

static void print_pages(const uint8_t* pages, uint32_t length) {
    for (uint32_t i = 0; i + 4 <= length; i += 4)
        std::printf(" %08X", (uint32_t)pages[i] | (uint32_t)pages[i + 1] << 8 |
                                 (uint32_t)pages[i + 2] << 16 | (uint32_t)pages[i + 3] << 24);
    std::printf("\n");
    std::fflush(stdout);
}

static void on_port_rscn(uint32_t board, const uint8_t* pages, uint32_t length) {
    std::printf("RSCN: board %u, %u pages:", board, length / 4);
    print_pages(pages, length);
}

static void on_vport_rscn(uint32_t board, HBA_wwn wwpn, const uint8_t* pages, uint32_t length) {
    std::printf("virtual-port RSCN: board %u port %02X%02X%02X%02X%02X%02X%02X%02X, %u pages:",
                board, wwpn.wwn[0], wwpn.wwn[1], wwpn.wwn[2], wwpn.wwn[3], wwpn.wwn[4], wwpn.wwn[5],
                wwpn.wwn[6], wwpn.wwn[7], length / 4);
    print_pages(pages, length);
}

// Every category and subcategory of the SD events.
struct SdKind {
    uint32_t category;
    uint32_t subs; // bits
};
static const SdKind kSdKinds[] = {{1, 0x3F}, {2, 0x07}, {4, 0x7F}, {8, 0x07}};

int main(int argc, char** argv) {
    const uint32_t board = argc > 1 ? (uint32_t)std::strtoul(argv[1], nullptr, 0) : 0;
    const uint32_t gstype = argc > 2 ? (uint32_t)std::strtoul(argv[2], nullptr, 0) : 0xFA;
    const long seconds = argc > 3 ? std::strtol(argv[3], nullptr, 0) : 60;
    if (TGX_InitDiagEnv(nullptr, 0) <= board) {
        std::fprintf(stderr, "tgxevents: no board %u\n", board);
        return 1;
    }
    void* dump = TGX_RegisterForEvent(board, TGX_EVENT_DUMP, 0, 0,
                                      reinterpret_cast<TGX_EventCallback>(on_dump), nullptr);
    void* temp = TGX_RegisterForEvent(board, TGX_EVENT_TEMPERATURE, 0, 0,
                                      reinterpret_cast<TGX_EventCallback>(on_temp), nullptr);
    uint32_t status = 0;
    void* ct = QrlTgxRegisterForCTEvents(board, gstype, on_ct, nullptr, &status);
    std::printf("board %u: dump %s, temperature %s, CT type 0x%X %s (status %u)\n", board,
                dump ? "watched" : "refused", temp ? "watched" : "refused", gstype,
                ct ? "served" : "refused", status);
    HBA_PortAttributes pa;
    uint32_t sdHandles[32];
    uint32_t sdCount = 0;
    static int sdContext; // a context must not be null
    if (GetAdapterPortAttributes(board, 0, &pa) == 0) {
        HBA_wwn wwpn;
        std::memcpy(wwpn.wwn, pa.PortWWN, 8);
        for (const SdKind& k : kSdKinds)
            for (uint32_t sub = 1; sub <= k.subs; sub <<= 1)
                if (TGX_SD_RegisterForEvent(board, wwpn, k.category, sub, &sdContext,
                                            &sdHandles[sdCount], on_sd) == 0)
                    ++sdCount;
    }
    void* rscn = TGX_RegisterForEvent(board, TGX_EVENT_PORT_RSCN, 0, 1024,
                                      reinterpret_cast<TGX_EventCallback>(on_port_rscn), nullptr);
    void* vrscn = TGX_RegisterForEvent(board, TGX_EVENT_VPORT_RSCN, 0, 1024,
                                       reinterpret_cast<TGX_EventCallback>(on_vport_rscn), nullptr);
    std::printf("board %u: %u SD events, RSCNs %s, virtual-port RSCNs %s\n", board, sdCount,
                rscn ? "watched" : "refused", vrscn ? "watched" : "refused");
    // Dump and temperature events are polled, not pushed: one comes up to a
    // poll period after it happened.
    std::printf("the library polls dump events every 30 s and the temperature every 5 s\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    for (uint32_t i = 0; i < sdCount; ++i) {
        HBA_wwn wwpn;
        std::memcpy(wwpn.wwn, pa.PortWWN, 8);
        TGX_SD_unRegisterForEvent(board, wwpn, sdHandles[i]);
    }
    if (ct) QrlTgxUnregisterForCTEvents(board, ct);
    TGX_unRegisterForEvent(board, nullptr);
    TGX_FreeDiagEnv();
    return 0;
}
