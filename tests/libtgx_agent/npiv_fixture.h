// Fixture of the virtual-port tests: a Mini-driver FC board with NPIV, the
// library's exports by name, and the registry list of the board's virtual ports.
#pragma once
#include <string>
#include <vector>

#include "tests/libtgx/test_mailbox_fixture.h"

namespace npivtest {

using namespace tgxio;

using CreateFn = uint32_t (*)(uint32_t, const char*, VPortRecord*);
using DeleteFn = uint32_t (*)(uint32_t, const uint8_t*);
using DeleteV2Fn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t);
using ListFn = uint32_t (*)(uint32_t, VPortList*);
using ResourceFn = uint32_t (*)(uint32_t, TGX_VPResource*);
using LinkInfoFn = uint32_t (*)(uint32_t, TGX_VPLinkInfo*);
using AttribFn = uint32_t (*)(uint32_t, const uint8_t*, VPortRecord*);
using ReadyFn = uint32_t (*)(uint32_t, uint32_t*);
using SetupStatsFn = uint32_t (*)(uint32_t, HBA_wwn, uint32_t, TGX_VportStatOpt*);
using GetStatsFn = uint32_t (*)(uint32_t, HBA_wwn, uint32_t, TGX_VPStat*);

// Physical port 10:00:02:1F:3C:AB:CD:EF at D_ID 0x010200, driver "qrlfc".
constexpr const char kNpivFleet[] =
    "adapter A fc\nfunction fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF "
    "wwnn = 20:00:02:1F:3C:AB:CD:EF d_id = 0x010200 drv_ver = 7.2.21.0\n";
constexpr const char kDeviceKey[] =
    "SYSTEM\\CurrentControlSet\\Services\\qrlfc\\Parameters\\Device";
constexpr const char kPortValue[] = "1000021f3cabcdef";

struct Wwn {
    uint8_t b[8];
};
// Virtual port n: 28:00:00:00:00:00:00:n (WWNN 29:...:n).
inline Wwn vwwpn(uint8_t n) {
    return Wwn{{0x28, 0, 0, 0, 0, 0, 0, n}};
}
inline Wwn vwwnn(uint8_t n) {
    return Wwn{{0x29, 0, 0, 0, 0, 0, 0, n}};
}

// A list with room for capacity entries, owned.
struct ListBuf {
    std::vector<uint8_t> bytes;
    explicit ListBuf(uint32_t capacity) : bytes(4 + 20 * (size_t)(capacity ? capacity : 1), 0xEE) {
        list()->count = capacity;
    }
    VPortList* list() { return reinterpret_cast<VPortList*>(bytes.data()); }
};

// Registry entries of the physical port; missing = the value does not exist.
struct RegList {
    bool missing = true;
    std::vector<VirtualPortEntry> entries;
};
inline RegList reg_list() {
    RegList out;
    PlatRegKey k = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, kDeviceKey, &k) != PLAT_REG_OK) return out;
    std::vector<uint8_t> buf(16 * 160);
    uint32_t type = 0, size = (uint32_t)buf.size();
    if (plat_reg_query_value(k, kPortValue, &type, buf.data(), &size) == PLAT_REG_OK) {
        out.missing = false;
        out.entries.resize(size / 160);
        memcpy(out.entries.data(), buf.data(), out.entries.size() * 160);
    }
    plat_reg_close_key(k);
    return out;
}
inline void drop_reg_list() {
    PlatRegKey k = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, kDeviceKey, &k) != PLAT_REG_OK) return;
    plat_reg_delete_value(k, kPortValue);
    plat_reg_close_key(k);
}

class NpivTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load(kNpivFleet);
    }
    uint32_t create(uint8_t n, uint32_t options, VPortRecord* out = nullptr,
                    const char* name = "vport", uint32_t board = 0) {
        VPortRecord rec = {};
        rec.version = 3;
        memcpy(rec.wwpn, vwwpn(n).b, 8);
        memcpy(rec.wwnn, vwwnn(n).b, 8);
        rec.options = options;
        uint32_t st = fn<CreateFn>("TGX_VPCreate")(board, name, &rec);
        if (out) *out = rec;
        return st;
    }
    // The driver's count of virtual ports.
    uint32_t listed() {
        ListBuf b(8);
        EXPECT_EQ(fn<ListFn>("TGX_VPGetList")(0, b.list()), 0u);
        return b.list()->count;
    }
};

} // namespace npivtest
