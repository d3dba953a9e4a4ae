// LUN masking through libtgx against the simulated driver and registry: LUN
// lists from the driver and the filter's registry, masks at the three levels
// on both paths, the registry layout it creates, rescans and moving masks.
#include "tests/libtgx_scsi/scsi_fixture.h"

namespace {

using namespace scsitest;

TEST_F(ScsiTest, LunListFromTheDriver) {
    LunBuf b(8);
    ASSERT_EQ(lun_list(kT1, TGX_LUN_FROM_DRIVER, &b), 0u);
    ASSERT_EQ(b.rec()->count, 5u);
    for (uint16_t i = 0; i < 5; ++i) {
        EXPECT_EQ(b.at(i).osLun, i);
        EXPECT_EQ(b.at(i).wordA, 1000u);
        EXPECT_EQ(b.at(i).wordB, 4096u);
        EXPECT_EQ(b.at(i).state, 1);
        EXPECT_EQ(b.at(i).unMask, TGX_UNMASK_LUN);
    }
    // The identifier request asks with the library's flag; the LUN list
    // request has room for 256 entries and asks for all of them.
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].code, TGX_IOCTL_INQUIRE_SCSIID);
    EXPECT_EQ(rd32(sent()[0].payload() + TGX_SCSIID_OFF_FLAGS), 2u);
    EXPECT_EQ(sent()[1].size(), TGX_SIZE_INQUIRE_LUNLIST);
    EXPECT_EQ(rd32(sent()[1].payload() + TGX_LUNLIST_OFF_COUNT), 256u);

    LunBuf small(2);
    EXPECT_EQ(lun_list(kT1, TGX_LUN_FROM_DRIVER, &small), 7u);
    EXPECT_EQ(small.rec()->count, 5u);
    EXPECT_EQ(small.at(1).osLun, 1);
    EXPECT_TRUE(small.guard_intact());
}

TEST_F(ScsiTest, LunListStatuses) {
    struct Case {
        const char* name;
        uint32_t board;
        const Wwn* target;
        uint32_t option;
        const char* fault; // action on INQUIRE_LUNLIST
        uint32_t status;
    };
    const Case cases[] = {
        {"unknown target", 0, &kNoTarget, 0, nullptr, 5},
        {"bad option", 0, &kT1, 2, nullptr, 2},
        {"bad board", 1, &kT1, 0, nullptr, 1},
        {"ReturnCode 1", 0, &kT1, 0, "rc=1", 3},
        {"ReturnCode 6", 0, &kT1, 0, "rc=6", 6},
        {"failed request", 0, &kT1, 0, "fail", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hbasim::fault_clear();
        if (c.fault) fault("INQUIRE_LUNLIST", c.fault);
        LunBuf b(8);
        EXPECT_EQ(fn<GetLunListFn>("TGX_GetLunList")(c.board, c.target->b, c.option, b.rec()),
                  c.status);
    }
}

TEST_F(ScsiTest, DriverLunCountIsClippedToCapacityAndReply) {
    // The driver fills as many entries as it was asked for, each with its
    // index as osLun, and claims `claimed` LUNs.
    struct Case {
        const char* name;
        uint32_t claimed, capacity;
        uint32_t status, count, filled;
    };
    const Case cases[] = {
        {"256 LUNs fit the request whole", 256, 256, 0, 256, 256},
        {"more than the request holds", 300, 300, 0, 256, 256},
        {"a capacity too small tells the real count", 0xFFFF, 300, 7, 0xFFFF, 256},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        script([&](uint32_t code, uint8_t* env, uint32_t) {
            if (code != TGX_IOCTL_INQUIRE_LUNLIST) return false;
            uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
            const uint32_t asked = rd32(p + TGX_LUNLIST_OFF_COUNT);
            for (uint32_t i = 0; i < asked && i < c.claimed; ++i) {
                uint8_t* e = p + TGX_LUNLIST_OFF_ENTRIES + 24 * i + TGX_LUNLIST_E_OSLUN;
                e[0] = (uint8_t)i;
                e[1] = (uint8_t)(i >> 8);
            }
            wr32(p + TGX_LUNLIST_OFF_COUNT, c.claimed);
            wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
            return true;
        });
        LunBuf b(c.capacity);
        EXPECT_EQ(lun_list(kT1, TGX_LUN_FROM_DRIVER, &b), c.status);
        EXPECT_EQ(b.rec()->count, c.count);
        EXPECT_EQ(b.at(c.filled - 1).osLun, c.filled - 1);
        if (c.filled < c.capacity) {
            EXPECT_EQ(b.at(c.filled).osLun, 0xEEEE) << "only the entries the reply held";
        }
        EXPECT_TRUE(b.guard_intact());
    }
}

TEST_F(ScsiTest, MaskRangeAndTypeAreCheckedFirst) {
    EXPECT_EQ(set_mask(TGX_LUNMASK_BOTH, 250, 6, TGX_LUNMASK_LEVEL_LUN), 2u);
    EXPECT_EQ(set_mask(TGX_LUNMASK_DRIVER, 0xFFFFFFFFu, 2, TGX_LUNMASK_LEVEL_LUN), 2u);
    EXPECT_EQ(set_mask(3, 0, 1, TGX_LUNMASK_LEVEL_LUN), 2u);
    EXPECT_TRUE(sent().empty());
    EXPECT_FALSE(reg_exists(""));
    EXPECT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 1, 3), 2u) << "level 3 has no operation";
    EXPECT_EQ(set_mask(TGX_LUNMASK_DRIVER, 0, 1, 0, kNoTarget), 5u);
}

TEST_F(ScsiTest, DriverMasksAtEachLevel) {
    struct Case {
        uint32_t flag, first, count;
        uint32_t status, word;
        std::vector<uint8_t> unmask; // target 1's LUNs afterwards
        uint32_t targetFlag, hbaFlag;
    };
    const uint32_t M = TGX_LUNMASK_MASK;
    const Case cases[] = {
        {M | 1, 3, 2, 0, M | 2, {1, 1, 1, 0, 0}, 0, 0},
        {1, 4, 1, 0, 2, {1, 1, 1, 0, 1}, 0, 0},
        {2, 0, 0, 0, 1, {2, 2, 2, 2, 2}, 1, 0},
        {4, 0, 0, 0, 0, {4, 4, 4, 4, 4}, 0, 1}, // the LUNs report the HBA level
        {M | 4, 0, 0, 0, M, {2, 2, 2, 2, 2}, 1, 0},
        {M | 2, 0, 0, 0, M | 1, {1, 1, 1, 0, 1}, 0, 0},
        {3, 0, 0, 2, 3, {1, 1, 1, 0, 1}, 0, 0}, // a level the driver refuses
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        clear();
        EXPECT_EQ(set_mask(TGX_LUNMASK_DRIVER, c.first, c.count, c.flag), c.status);
        ASSERT_EQ(count(TGX_IOCTL_MULTI_LUNMASKING), 1u);
        const uint8_t* p = sent().back().payload();
        EXPECT_EQ(rd32(p + 8), c.first);
        EXPECT_EQ(rd32(p + 12), c.count);
        EXPECT_EQ(rd32(p + 16), c.word);
        EXPECT_EQ(driver_unmask(), c.unmask);
        uint32_t flag = 9;
        EXPECT_EQ(fn<UnMaskTargetFn>("TGX_GetLunUnMaskbyTarget")(0, kT1.b, 0, &flag), 0u);
        EXPECT_EQ(flag, c.targetFlag);
        EXPECT_EQ(fn<UnMaskHbaFn>("TGX_GetLunUnMaskbyHBA")(0, 0, &flag), 0u);
        EXPECT_EQ(flag, c.hbaFlag);
    }
    EXPECT_FALSE(reg_exists("")) << "driver masks leave the registry alone";
}

TEST_F(ScsiTest, RegistryMaskCreatesInstanceAndMapping) {
    const uint32_t M = TGX_LUNMASK_MASK;
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 3, 2, M | TGX_LUNMASK_LEVEL_LUN), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 4, 1, TGX_LUNMASK_LEVEL_LUN), 0u);
    EXPECT_EQ(count(TGX_IOCTL_MULTI_LUNMASKING), 0u);

    PlatRegKey k = nullptr;
    ASSERT_TRUE(reg_open("\\01", &k));
    char text[32] = {0};
    uint32_t type = 0, size = sizeof text - 1;
    EXPECT_EQ(plat_reg_query_value(k, "WWPN", &type, text, &size), PLAT_REG_OK);
    plat_reg_close_key(k);
    EXPECT_EQ(type, PLAT_REG_SZ);
    EXPECT_STREQ(text, kPortText);
    uint32_t ports = 0;
    EXPECT_TRUE(reg_dword("\\01\\ScsiMap", "NumOfPorts", &ports));
    EXPECT_EQ(ports, 1u);
    const std::vector<LunMappingEntry> map =
        reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key);
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map[0].lun, 3);
    EXPECT_EQ(map[0].flags, 1);
    EXPECT_EQ(map[0].wordA, 1000u) << "words of the driver's entry for the same LUN";
    EXPECT_EQ(map[0].wordB, 4096u);
    EXPECT_EQ(map[1].lun, 4);
    EXPECT_EQ(map[1].flags, 0);

    LunBuf b(4);
    ASSERT_EQ(lun_list(kT1, TGX_LUN_FROM_REGISTRY, &b), 0u);
    ASSERT_EQ(b.rec()->count, 2u);
    EXPECT_EQ(b.at(0).osLun, 3);
    EXPECT_EQ(b.at(0).unMask, 0);
    EXPECT_EQ(b.at(1).osLun, 4);
    EXPECT_EQ(b.at(1).unMask, 1);
    LunBuf one(1);
    EXPECT_EQ(lun_list(kT1, TGX_LUN_FROM_REGISTRY, &one), 7u);
    EXPECT_EQ(one.rec()->count, 2u);
    EXPECT_TRUE(one.guard_intact());
}

TEST_F(ScsiTest, RegistryTargetAndHbaFlags) {
    struct Case {
        uint32_t flag;
        uint32_t scsiMapFlag, targetKeyFlag; // registry values afterwards (9 = absent)
        uint32_t hba, target;                // the exports' flags
        uint8_t unMask;                      // of a LUN mapped unmasked
    };
    const uint32_t M = TGX_LUNMASK_MASK;
    const Case cases[] = {
        {TGX_LUNMASK_LEVEL_HBA, 2, 9, 1, 0, 4 | 1},
        {TGX_LUNMASK_LEVEL_TARGET, 2, 1, 1, 1, 4 | 2 | 1},
        {M | TGX_LUNMASK_LEVEL_HBA, 0, 1, 0, 1, 2 | 1},
        {M | TGX_LUNMASK_LEVEL_TARGET, 0, 0, 0, 0, 1},
    };
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 1, TGX_LUNMASK_LEVEL_LUN), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 0, c.flag), 0u);
        uint32_t v = 9;
        reg_dword("\\01\\ScsiMap", "Flag", &v);
        EXPECT_EQ(v, c.scsiMapFlag);
        v = 9;
        reg_dword(std::string("\\01\\ScsiMap\\") + kTarget1Key, "Flag", &v);
        EXPECT_EQ(v, c.targetKeyFlag);
        uint32_t flag = 7;
        EXPECT_EQ(fn<UnMaskHbaFn>("TGX_GetLunUnMaskbyHBA")(0, 1, &flag), 0u);
        EXPECT_EQ(flag, c.hba);
        if (c.targetKeyFlag != 9) {
            EXPECT_EQ(fn<UnMaskTargetFn>("TGX_GetLunUnMaskbyTarget")(0, kT1.b, 1, &flag), 0u);
            EXPECT_EQ(flag, c.target);
        }
        LunBuf b(2);
        ASSERT_EQ(lun_list(kT1, TGX_LUN_FROM_REGISTRY, &b), 0u);
        EXPECT_EQ(b.at(0).unMask, c.unMask);
    }
}

TEST_F(ScsiTest, RegistryReadsWithoutTheFilterKey) {
    LunBuf b(4);
    EXPECT_EQ(lun_list(kT1, TGX_LUN_FROM_REGISTRY, &b), 0u);
    EXPECT_EQ(b.rec()->count, 0u);
    uint32_t flag = 5;
    EXPECT_EQ(fn<UnMaskHbaFn>("TGX_GetLunUnMaskbyHBA")(0, 1, &flag), 3u);
    EXPECT_EQ(flag, 0u);
    EXPECT_EQ(fn<UnMaskTargetFn>("TGX_GetLunUnMaskbyTarget")(0, kT1.b, 1, &flag), 3u);
    EXPECT_EQ(fn<UnMaskHbaFn>("TGX_GetLunUnMaskbyHBA")(0, 2, &flag), 2u);
    EXPECT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(0, 2, 1), 0u);
    EXPECT_FALSE(reg_exists(""));
}

TEST_F(ScsiTest, NewInstanceIsNumberedAboveTheHighest) {
    PlatRegKey k = nullptr;
    for (const char* n : {"\\03", "\\07"}) {
        ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, (std::string(kFilterKey) + n).c_str(), &k),
                  PLAT_REG_OK);
        ASSERT_EQ(plat_reg_set_value(k, "WWPN", PLAT_REG_SZ, "ffffffffffffffff", 17), PLAT_REG_OK);
        plat_reg_close_key(k);
    }
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 1, 1, TGX_LUNMASK_LEVEL_LUN), 0u);
    EXPECT_TRUE(reg_exists("\\08\\ScsiMap"));
    EXPECT_FALSE(reg_exists("\\03\\ScsiMap"));
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 2, 1, TGX_LUNMASK_LEVEL_LUN), 0u);
    EXPECT_FALSE(reg_exists("\\09")) << "the port's instance is found again";
    EXPECT_EQ(reg_mapping(std::string("\\08\\ScsiMap\\") + kTarget1Key).size(), 2u);
}

TEST_F(ScsiTest, FullMappingRefusesAnotherLun) {
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 1, TGX_LUNMASK_LEVEL_LUN), 0u);
    const std::string key = std::string(kFilterKey) + "\\01\\ScsiMap\\" + kTarget1Key;
    std::vector<LunMappingEntry> full(255);
    for (uint16_t i = 0; i < 255; ++i)
        full[i] = {(uint16_t)(i == 0 ? 3 : 1000 + i), 0, 0, 0};
    PlatRegKey k = nullptr;
    ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, key.c_str(), &k), PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, "LunMapping", PLAT_REG_BINARY, full.data(), 255 * 12),
              PLAT_REG_OK);
    plat_reg_close_key(k);
    EXPECT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 4, 1, TGX_LUNMASK_LEVEL_LUN), 4u);
    EXPECT_EQ(set_mask(TGX_LUNMASK_BOTH, 4, 1, TGX_LUNMASK_LEVEL_LUN), 4u);
    EXPECT_EQ(count(TGX_IOCTL_MULTI_LUNMASKING), 0u) << "a registry failure stops a set of both";
    const auto map = reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key);
    ASSERT_EQ(map.size(), 255u);
    EXPECT_EQ(map[1].lun, 1001);
    // Changing a LUN the full map already holds still works.
    EXPECT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 3, 1, TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN), 0u);
    EXPECT_EQ(reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key)[0].flags, 1);
}

TEST_F(ScsiTest, MaskOfBothPathsAndRegistryFailures) {
    ASSERT_EQ(set_mask(TGX_LUNMASK_BOTH, 1, 1, TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN), 0u);
    EXPECT_EQ(driver_unmask(), (std::vector<uint8_t>{1, 0, 1, 1, 1}));
    EXPECT_EQ(reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key).size(), 1u);

    struct Case {
        const char* op;
        const char* path;
        uint32_t status;
    };
    const Case cases[] = {
        {"set", "ScsiMap\\WWPN", 4},   // the LunMapping write
        {"create", "qrxftr", 1},       // the target key cannot be created
        {"query", "ScsiMap\\WWPN", 1}, // the LunMapping read
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.op);
        plat_reg_inject_failure(c.op, c.path, PLAT_REG_ERROR, -1);
        EXPECT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 2, 1, TGX_LUNMASK_LEVEL_LUN), c.status);
        plat_reg_inject_failure("", "", 0, 0);
        EXPECT_EQ(reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key).size(), 1u);
    }
}

TEST_F(ScsiTest, DriverMasksLastUntilTheReboot) {
    const uint32_t M = TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN;
    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 1, 1, M), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 0, 0, TGX_LUNMASK_LEVEL_HBA), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 2, 1, M), 0u);
    EXPECT_EQ(driver_unmask(), (std::vector<uint8_t>{4, 4, 4, 4, 4}));
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(driver_unmask(), (std::vector<uint8_t>{1, 1, 1, 1, 1}));
    EXPECT_EQ(attr("hba_unmask"), "0");
    EXPECT_EQ(reg_mapping(std::string("\\01\\ScsiMap\\") + kTarget1Key).size(), 1u)
        << "the filter's registry masks stay";
}

TEST_F(ScsiTest, RescanLuns) {
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(0), 0u);
    ASSERT_EQ(count(TGX_IOCTL_SCSI_RESCAN_BUS), 1u);
    EXPECT_EQ(sent().back().size(), TGX_SIZE_RESCAN);
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(1), 16u);
    fault("SCSI_RESCAN_BUS", "rc=3", 1);
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(0), 1u) << "a driver refusal is no rescan";
    fault("SCSI_RESCAN_BUS", "fail", 1);
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(0), 1u);
}

TEST_F(ScsiTest, MoveMasksBetweenKindsOfNames) {
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 3, 1, TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 0, TGX_LUNMASK_LEVEL_TARGET), 0u);
    clear();
    ASSERT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(0, TGX_LUNMASK_BY_WWPN, TGX_LUNMASK_BY_DID), 0u);
    ASSERT_EQ(count(TGX_IOCTL_INQUIRE_NODELIST), 1u);
    EXPECT_EQ(sent()[0].size(), TGX_SIZE_NODELIST_ALL);
    const std::string did = "\\01\\ScsiMap\\D_ID020301";
    ASSERT_TRUE(reg_exists(did));
    EXPECT_TRUE(reg_exists(std::string("\\01\\ScsiMap\\") + kTarget1Key)) << "the source stays";
    const auto map = reg_mapping(did);
    ASSERT_EQ(map.size(), 1u);
    EXPECT_EQ(map[0].lun, 3);
    uint32_t v = 0;
    EXPECT_TRUE(reg_dword(did, "Flag", &v));
    EXPECT_EQ(v, 1u);
    EXPECT_TRUE(reg_dword("\\01\\ScsiMap", "NumOfPorts", &v));
    EXPECT_EQ(v, 2u);

    ASSERT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(0, TGX_LUNMASK_BY_DID, TGX_LUNMASK_BY_WWNN), 0u);
    EXPECT_TRUE(reg_exists("\\01\\ScsiMap\\WWNN58060e8000000001"));
    EXPECT_TRUE(reg_dword("\\01\\ScsiMap", "NumOfPorts", &v));
    EXPECT_EQ(v, 3u);

    struct Case {
        uint32_t board, source, dest, status;
    };
    const Case cases[] = {
        {0, 2, 0, 2}, {0, 0, 2, 2}, {0, 3, 1, 2}, {0, 2, 5, 2}, {0, 2, 2, 0}, {1, 2, 1, 16},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dest);
        clear();
        EXPECT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(c.board, c.source, c.dest), c.status);
        EXPECT_TRUE(sent().empty());
    }
}

TEST_F(ScsiTest, MoveMatchesDidNamesExactly) {
    PlatRegKey k = nullptr;
    const std::string map = std::string(kFilterKey) + "\\01\\ScsiMap";
    ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, (std::string(kFilterKey) + "\\01").c_str(), &k),
              PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, "WWPN", PLAT_REG_SZ, kPortText, 17), PLAT_REG_OK);
    plat_reg_close_key(k);
    for (const char* name : {"\\D_ID20301", "\\D_ID020302"}) {
        ASSERT_EQ(plat_reg_create_key(PLAT_HKLM, (map + name).c_str(), &k), PLAT_REG_OK);
        uint32_t flag = 1;
        ASSERT_EQ(plat_reg_set_value(k, "Flag", PLAT_REG_DWORD, &flag, 4), PLAT_REG_OK);
        plat_reg_close_key(k);
    }
    ASSERT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(0, TGX_LUNMASK_BY_DID, TGX_LUNMASK_BY_WWPN), 0u);
    EXPECT_FALSE(reg_exists(std::string("\\01\\ScsiMap\\") + kTarget1Key))
        << "D_ID20301 does not read back as D_ID%06x";
    EXPECT_TRUE(reg_exists("\\01\\ScsiMap\\WWPN50060e8000000002"));
}

TEST_F(ScsiTest, MoveReadsAFullNodeList) {
    // 512 nodes claimed; the 18464-byte reply holds 511, the last of them the
    // target whose mask is moved.
    ASSERT_EQ(set_mask(TGX_LUNMASK_REGISTRY, 0, 0, TGX_LUNMASK_LEVEL_TARGET), 0u);
    script([](uint32_t code, uint8_t* env, uint32_t size) {
        if ((code & ~0x0FF00000u) != TGX_IOCTL_INQUIRE_NODELIST) return false;
        uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
        EXPECT_EQ(size, TGX_SIZE_NODELIST_ALL);
        p[0] = 0x00;
        p[1] = 0x02; // 512
        uint8_t* last = p + TGX_NODELIST_OFF_ENTRIES + 510 * TGX_NODELIST_ENTRY;
        wr32(last + TGX_NODE_E_DID, 0x0A0B0C);
        memcpy(last + TGX_NODE_E_WWPN, kT1.b, 8);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    EXPECT_EQ(fn<MoveFn>("TGX_MoveRegLUNMask")(0, TGX_LUNMASK_BY_WWPN, TGX_LUNMASK_BY_DID), 0u);
    EXPECT_TRUE(reg_exists("\\01\\ScsiMap\\D_ID0a0b0c"));
}

} // namespace
