// WWNs shared by the fixtures of the LUN masking, pass-through and OAS tests:
// the simulated board's own port and the virtual ports the tests create on it.
#pragma once
#include <cstdint>
#include <cstring>

#include "libtgx/libtgx.h"

namespace portwwns {

struct Wwn {
    uint8_t b[8];
};
// The board's own port (the "wwpn" of the fixtures' fleets).
const Wwn kPort = {{0x10, 0x00, 0x02, 0x1F, 0x3C, 0xAB, 0xCD, 0xEF}};
// Virtual port n: 28:00:00:00:00:00:00:n.
inline Wwn vport(uint8_t n) {
    return Wwn{{0x28, 0, 0, 0, 0, 0, 0, n}};
}
// The creation record of virtual port n (WWNN 29:00:00:00:00:00:00:n).
inline VPortRecord vport_record(uint8_t n) {
    VPortRecord rec = {};
    rec.version = 3;
    memcpy(rec.wwpn, vport(n).b, 8);
    rec.wwnn[0] = 0x29;
    rec.wwnn[7] = n;
    return rec;
}

} // namespace portwwns
