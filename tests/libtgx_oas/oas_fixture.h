// Fixture of the OAS tests: a Mini-driver FC board that sees two targets, the
// OAS exports by name, caller lists, and the registry store of the board.
#pragma once
#include <string>
#include <vector>

#include "tests/libtgx/test_mailbox_fixture.h"
#include "tests/support/port_wwns.h"

namespace oastest {

using namespace tgxio;

using GetListFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint32_t, OasLunList*);
using SetFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint64_t, uint32_t, uint8_t);
using SetV2Fn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint32_t, OasLunRecordV2*);
using CreateFn = uint32_t (*)(uint32_t, const char*, VPortRecord*);
using DeleteFn = uint32_t (*)(uint32_t, const uint8_t*);

using namespace portwwns;

// Two targets the board's port sees and a WWPN nobody has.
const Wwn kT1 = {{0x21, 0x00, 0x00, 0x24, 0xFF, 0x00, 0x00, 0x01}};
const Wwn kT2 = {{0x21, 0x00, 0x00, 0x24, 0xFF, 0x00, 0x00, 0x02}};
const Wwn kStranger = {{0x50, 0x06, 0x01, 0x60, 0x00, 0x00, 0x00, 0x09}};

// T1 has LUNs 0-3 and 7 (LUN 2 offline), T2 has LUNs 0 and 1. extra: more keys.
// Without extra keys the driver has neither OAS V2 feature.
inline std::string fleet(const std::string& extra = "") {
    return "adapter A fc\nfunction fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF "
           "d_id = 0x010200 drv_ver = 7.2.21.0 " +
           extra +
           " targets = \"21:00:00:24:FF:00:00:01 luns=0-1,2:offline,3,7;"
           "21:00:00:24:FF:00:00:02 luns=0-1\"\n";
}

const char kParams[] = "SYSTEM\\CurrentControlSet\\Services\\qrlfc\\Parameters";
// Registry key of the LUN keys of a pair.
inline std::string oas_key(const Wwn& init, const Wwn& tgt) {
    auto hex = [](const Wwn& w) {
        char s[17];
        snprintf(s, sizeof s, "%02x%02x%02x%02x%02x%02x%02x%02x", w.b[0], w.b[1], w.b[2], w.b[3],
                 w.b[4], w.b[5], w.b[6], w.b[7]);
        return std::string(s);
    };
    return std::string(kParams) + "\\" + hex(kPort) + "\\" + hex(init) + "\\WWPN" + hex(tgt) +
           "\\OAS";
}
inline bool key_exists(const std::string& path) {
    PlatRegKey k = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, path.c_str(), &k) != PLAT_REG_OK) return false;
    plat_reg_close_key(k);
    return true;
}
// "Flag" of a LUN key; -1 when the key or the value is missing.
inline int64_t flag_of(const std::string& lunKey) {
    PlatRegKey k = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, lunKey.c_str(), &k) != PLAT_REG_OK) return -1;
    uint32_t v = 0, type = 0, size = sizeof v;
    const int32_t rs = plat_reg_query_value(k, "Flag", &type, &v, &size);
    plat_reg_close_key(k);
    return rs == PLAT_REG_OK && type == PLAT_REG_DWORD ? (int64_t)v : -1;
}
// Creates a LUN key by hand (any name) with a Flag value.
inline void put_lun_key(const Wwn& init, const Wwn& tgt, const std::string& name, uint32_t flag) {
    PlatRegKey k = nullptr;
    ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, (oas_key(init, tgt) + "\\" + name).c_str(), &k),
              PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, "Flag", PLAT_REG_DWORD, &flag, sizeof flag), PLAT_REG_OK);
    plat_reg_close_key(k);
}

// A caller's list of capacity entries (and spare ones behind them, to see
// that nothing is written there), filled with 0xEE.
struct List {
    std::vector<uint8_t> bytes;
    explicit List(uint32_t capacity, uint32_t spare = 0)
        : bytes(8 + 40 * ((size_t)capacity + spare + 1), 0xEE) {
        get()->count = capacity;
    }
    OasLunList* get() { return reinterpret_cast<OasLunList*>(bytes.data()); }
    uint32_t count() { return get()->count; }
    const OasLunEntry& operator[](size_t i) { return get()->entries[i]; }
};

class OasTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        reload(fleet(first_keys()));
    }
    // Keys of the machine each test starts on.
    virtual std::string first_keys() const { return ""; }
    // A new machine and a library that discovers it afresh.
    void reload(const std::string& text) {
        lib.reset();
        load(text);
    }
    uint32_t get(const Wwn* init, const Wwn& tgt, uint32_t option, List& l, uint32_t board = 0) {
        return fn<GetListFn>("TGX_GetOASLunList")(board, init ? init->b : nullptr, tgt.b, option,
                                                  l.get());
    }
    uint32_t set(const Wwn& init, const Wwn& tgt, uint64_t lun, uint32_t option, uint8_t state) {
        return fn<SetFn>("TGX_SetOASLun")(0, init.b, tgt.b, lun, option, state);
    }
    uint32_t setV2(const Wwn& init, const Wwn& tgt, uint32_t option, uint32_t lun, uint8_t state,
                   uint8_t priority, uint8_t version = 1, OasLunRecordV2* out = nullptr) {
        OasLunRecordV2 r = {};
        r.version = version;
        r.oasState = state;
        r.priority = priority;
        r.oasLun = lun;
        const uint32_t st = fn<SetV2Fn>("TGX_SetOASLunV2")(0, init.b, tgt.b, option, &r);
        if (out) *out = r;
        return st;
    }
    uint32_t create_vport(uint8_t n) {
        VPortRecord rec = vport_record(n);
        return fn<CreateFn>("TGX_VPCreate")(0, "vport", &rec);
    }
};

// The registry tests use the V2 set too, so their driver has the V2 feature.
class OasRegistryTest : public OasTest {
  protected:
    std::string first_keys() const override { return "feature_list = 0x5400"; }
};

} // namespace oastest
