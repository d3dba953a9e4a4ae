// tgxevents: registers for a board's dump and temperature events and for CT
// requests of one GS type, prints what arrives and answers each CT request
// with an accept. Usage: tgxevents [BOARD] [GSTYPE] [SECONDS] (defaults 0,
// 0xFA, 60). An example of the library's event interface; put events into
// the simulated machine with "hbasim inject".
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    if (ct) QrlTgxUnregisterForCTEvents(board, ct);
    TGX_unRegisterForEvent(board, nullptr);
    TGX_FreeDiagEnv();
    return 0;
}
