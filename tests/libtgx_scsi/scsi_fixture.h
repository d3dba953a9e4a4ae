// Fixture of the LUN masking, target mapping and pass-through tests: a
// Mini-driver FC port with two targets, the library's exports by name, and
// readers of the masking filter's registry store.
#pragma once
#include <string>
#include <vector>

#include "tests/libtgx/test_mailbox_fixture.h"
#include "tests/support/port_wwns.h"

namespace scsitest {

using namespace tgxio;

using GetLunListFn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t, LunListRecord*);
using SetLunMaskFn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t, uint32_t, uint32_t, uint32_t);
using UnMaskHbaFn = uint32_t (*)(uint32_t, uint32_t, uint32_t*);
using UnMaskTargetFn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t, uint32_t*);
using RescanFn = uint32_t (*)(uint32_t);
using MoveFn = uint32_t (*)(uint32_t, uint32_t, uint32_t);
using ScsiIdFn = uint32_t (*)(uint32_t, const uint8_t*, TGX_ScsiIdRecord*);
using MappingFn = uint32_t (*)(uint32_t, const uint8_t*, TGX_FcpTargetMapping*);
using NodeInfoFn = uint32_t (*)(uint32_t, const uint8_t*, TGX_NodeInfo*);
using FcpFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint32_t, void*, uint32_t*,
                           uint8_t*, uint32_t);
using InquiryFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint64_t, uint8_t,
                               uint32_t, void*, uint32_t, void*, uint32_t);
using ReadCapFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, uint32_t, void*, uint32_t,
                               void*, uint32_t);
using ReportLunsFn = uint32_t (*)(uint32_t, const uint8_t*, const uint8_t*, void*, uint32_t, void*,
                                  uint32_t);
using ElsFn = uint32_t (*)(uint32_t, const TGX_ElsDest*, const void*, uint32_t, void*, uint32_t*);
using VpCreateFn = uint32_t (*)(uint32_t, const char*, VPortRecord*);

// Port 10:00:02:1F:3C:AB:CD:EF; target 1 with LUNs 0-4 (1000 blocks of 4096
// bytes), target 2 (tid 1, not seen by virtual ports) with LUNs 0-1.
constexpr const char kScsiFleet[] =
    "adapter A fc\nfunction fc driver_name = qrlfc wwpn = 10:00:02:1F:3C:AB:CD:EF "
    "wwnn = 20:00:02:1F:3C:AB:CD:EF d_id = 0x010200 drv_ver = 7.2.21.0 targets = "
    "\"50:06:0E:80:00:00:00:01 did=0x020301 blocks=1000 bs=4096 luns=0-4; "
    "50:06:0E:80:00:00:00:02 did=0x020302 tid=1 npiv=no luns=0-1\"\n";
constexpr const char kFilterKey[] = "SYSTEM\\CurrentControlSet\\Services\\qrxftr";
constexpr const char kPortText[] = "1000021f3cabcdef";
constexpr const char kTarget1Key[] = "WWPN50060e8000000001";

using namespace portwwns;

const Wwn kT1 = {{0x50, 0x06, 0x0E, 0x80, 0, 0, 0, 0x01}};
const Wwn kT2 = {{0x50, 0x06, 0x0E, 0x80, 0, 0, 0, 0x02}};
const Wwn kNoTarget = {{0x50, 0x06, 0x0E, 0x80, 0, 0, 0, 0x09}};

// A caller's record with room for capacity entries (filled with 0xEE), owned.
template <typename Rec, typename Entry, size_t Header> struct Buf {
    std::vector<uint8_t> bytes;
    uint32_t capacity;
    explicit Buf(uint32_t cap) : bytes(Header + sizeof(Entry) * (cap ? cap : 1) + 64, 0xEE) {
        capacity = cap;
        rec()->count = cap;
    }
    Rec* rec() { return reinterpret_cast<Rec*>(bytes.data()); }
    Entry& at(size_t i) { return rec()->entries[i]; }
    // The guard bytes after the capacity's entries are untouched.
    bool guard_intact() const {
        for (size_t i = Header + sizeof(Entry) * (capacity ? capacity : 1); i < bytes.size(); ++i)
            if (bytes[i] != 0xEE) return false;
        return true;
    }
};
using LunBuf = Buf<LunListRecord, LunListEntry, 4>;
using MapBuf = Buf<TGX_FcpTargetMapping, TGX_FcpMappingEntry, 8>;
using NodeBuf = Buf<TGX_NodeInfo, TGX_NodeInfoEntry, 8>;

// The filter's registry, read without the library.
inline bool reg_open(const std::string& path, PlatRegKey* k) {
    return plat_reg_open_key(PLAT_HKLM, (std::string(kFilterKey) + path).c_str(), k) == PLAT_REG_OK;
}
inline bool reg_dword(const std::string& path, const char* name, uint32_t* v) {
    PlatRegKey k = nullptr;
    if (!reg_open(path, &k)) return false;
    uint32_t type = 0, size = 4;
    bool ok = plat_reg_query_value(k, name, &type, v, &size) == PLAT_REG_OK;
    plat_reg_close_key(k);
    return ok;
}
inline std::vector<LunMappingEntry> reg_mapping(const std::string& path) {
    std::vector<LunMappingEntry> out(300);
    PlatRegKey k = nullptr;
    if (!reg_open(path, &k)) return {};
    uint32_t type = 0, size = (uint32_t)(out.size() * sizeof(LunMappingEntry));
    if (plat_reg_query_value(k, "LunMapping", &type, out.data(), &size) != PLAT_REG_OK) size = 0;
    plat_reg_close_key(k);
    out.resize(size / sizeof(LunMappingEntry));
    return out;
}
inline bool reg_exists(const std::string& path) {
    PlatRegKey k = nullptr;
    if (!reg_open(path, &k)) return false;
    plat_reg_close_key(k);
    return true;
}

class ScsiTest : public TgxTest {
  protected:
    void SetUp() override {
        TgxTest::SetUp();
        load(kScsiFleet);
    }
    uint32_t lun_list(const Wwn& t, uint32_t option, LunBuf* b) {
        return fn<GetLunListFn>("TGX_GetLunList")(0, t.b, option, b->rec());
    }
    uint32_t set_mask(uint32_t type, uint32_t first, uint32_t count, uint32_t flag,
                      const Wwn& t = kT1) {
        return fn<SetLunMaskFn>("TGX_SetLunMask")(0, t.b, type, first, count, flag);
    }
    // The unMask bytes of target 1's LUNs as the driver reports them.
    std::vector<uint8_t> driver_unmask() {
        LunBuf b(8);
        EXPECT_EQ(lun_list(kT1, TGX_LUN_FROM_DRIVER, &b), 0u);
        std::vector<uint8_t> out;
        for (uint32_t i = 0; i < b.rec()->count; ++i)
            out.push_back(b.at(i).unMask);
        return out;
    }
    uint32_t create_vport(uint8_t n) {
        VPortRecord rec = vport_record(n);
        return fn<VpCreateFn>("TGX_VPCreate")(0, "vp", &rec);
    }
};

} // namespace scsitest
