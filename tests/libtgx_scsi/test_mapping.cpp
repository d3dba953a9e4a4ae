// Target addressing through libtgx: SCSI identifiers, the FCP target mapping
// and the node information of physical and virtual ports, their statuses and
// the bounds of what the driver reports; persistence of masks across
// processes and the tgxlist example.
#include <unistd.h>

#include "tests/libtgx_scsi/scsi_fixture.h"

namespace {

using namespace scsitest;

uint32_t scsi_id(const hbatest::Library& lib, uint32_t board, const Wwn& port, const Wwn& target,
                 TGX_ScsiIdRecord* rec) {
    memset(rec, 0, sizeof *rec);
    memcpy(rec->targetWwpn, target.b, 8);
    return lib.fn<ScsiIdFn>("TGX_GetScsiID")(board, port.b, rec);
}

TEST_F(ScsiTest, ScsiIdOfPhysicalAndVirtualPorts) {
    TGX_ScsiIdRecord rec;
    ASSERT_EQ(scsi_id(*lib, 0, kPort, kT2, &rec), 0u);
    EXPECT_EQ(rec.pathId, 0u);
    EXPECT_EQ(rec.targetId, 1u);
    ASSERT_EQ(create_vport(1), 0u);
    clear();
    ASSERT_EQ(scsi_id(*lib, 0, vport(1), kT1, &rec), 0u);
    EXPECT_EQ(rec.pathId, 1u) << "virtual port 1 sees the target on path 1";
    EXPECT_EQ(rec.targetId, 0u);
    EXPECT_EQ(sent().back().code, TGX_VPI_CODE(TGX_IOCTL_INQUIRE_SCSIID, 1));

    struct Case {
        const char* name;
        uint32_t board;
        Wwn port, target;
        const char* attr; // set on the function first ("key=value")
        uint32_t status;
    };
    const Case cases[] = {
        {"target not seen by the virtual port", 0, vport(1), kT2, nullptr, 5},
        {"no such target", 0, kPort, kNoTarget, nullptr, 5},
        {"unknown port", 0, vport(7), kT1, nullptr, 2},
        {"bad board", 1, kPort, kT1, nullptr, 3},
        {"target not ready", 0, kPort, kT1, "targets=50:06:0E:80:00:00:00:01 state=notready luns=0",
         1},
        {"link down", 0, kPort, kT1, "link=down", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.attr) {
            std::string a = c.attr;
            set_attr(a.substr(0, a.find('=')), a.substr(a.find('=') + 1));
        }
        EXPECT_EQ(scsi_id(*lib, c.board, c.port, c.target, &rec), c.status);
    }
    fault("VPI_LOOKUP", "fail");
    EXPECT_EQ(scsi_id(*lib, 0, kPort, kT1, &rec), 1u);
}

TEST_F(ScsiTest, TargetMappingListsTheLunsTheHostSees) {
    MapBuf one(0); // 0 counts as 1
    EXPECT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, kPort.b, one.rec()), 7u);
    EXPECT_EQ(one.rec()->count, 7u);
    EXPECT_EQ(sent().back().size(), TGX_SIZE_TARGET_MAPPING_BASE + TGX_MAPPING_ENTRY);
    EXPECT_TRUE(one.guard_intact());

    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 1, 1, TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN), 0u);
    MapBuf b(8);
    ASSERT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, kPort.b, b.rec()), 0u);
    ASSERT_EQ(b.rec()->count, 6u) << "the masked LUN is not mapped";
    const TGX_FcpMappingEntry& e = b.at(2); // target 1, LUN 3
    EXPECT_EQ(e.scsiBus, 0u);
    EXPECT_EQ(e.scsiTarget, 0u);
    EXPECT_EQ(e.scsiOsLun, 3u);
    EXPECT_EQ(e.fcId, 0x020301u);
    EXPECT_EQ(0, memcmp(e.portWwn, kT1.b, 8));
    EXPECT_EQ(e.nodeWwn[0], 0x58);
    EXPECT_EQ(e.fcpLunLo, 3u << 8) << "FCP LUN bytes 0-3: LUN k in byte 1";
    EXPECT_EQ(e.fcpLunHi, 0u);
    EXPECT_STREQ(e.osDeviceName, "\\\\.\\Scsi0:0:0:3");
    EXPECT_EQ(b.at(5).scsiTarget, 1u);

    ASSERT_EQ(create_vport(2), 0u);
    MapBuf v(8);
    ASSERT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, vport(2).b, v.rec()), 0u);
    EXPECT_EQ(v.rec()->count, 4u) << "target 2 is not seen by virtual ports";
    EXPECT_EQ(v.at(0).scsiBus, 1u);
    EXPECT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, vport(9).b, v.rec()), 2u);
    EXPECT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(1, kPort.b, v.rec()), 1u);
}

TEST_F(ScsiTest, MappingCopiesNoMoreThanCapacityAndReply) {
    script([](uint32_t code, uint8_t* env, uint32_t) {
        if ((code & ~0x0FF00000u) != TGX_IOCTL_FCP_TARGET_MAPPING) return false;
        wr32(env + TGX_ENV_HEADER_LENGTH + TGX_MAPPING_OFF_CAPACITY, 100000);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 7);
        return true;
    });
    MapBuf b(2);
    EXPECT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, kPort.b, b.rec()), 7u);
    EXPECT_EQ(b.rec()->count, 100000u);
    EXPECT_TRUE(b.guard_intact());
    MapBuf huge(1);
    huge.rec()->count = 0x0F000000u;
    EXPECT_EQ(fn<MappingFn>("TGX_GetFcpTargetMappingByWWN")(0, kPort.b, huge.rec()), 17u);
}

TEST_F(ScsiTest, NodeInformationOfAPort) {
    NodeBuf b(4);
    ASSERT_EQ(fn<NodeInfoFn>("TGX_GetAllNodeInfoByWWN")(0, kPort.b, b.rec()), 0u);
    ASSERT_EQ(b.rec()->count, 2u);
    EXPECT_EQ(sent().back().size(), TGX_SIZE_NODELIST_ALL);
    const TGX_NodeInfoEntry& e = b.at(1);
    EXPECT_EQ(e.dId, 0x020302u);
    EXPECT_EQ(0, memcmp(e.wwpn, kT2.b, 8));
    EXPECT_EQ(e.word0, 0u); // path
    EXPECT_EQ(e.word1, 1u); // target id
    EXPECT_EQ(e.word2, TGX_NODE_EXISTS | TGX_NODE_READY);
    EXPECT_EQ(e.listFlags, 0u);
    EXPECT_TRUE(b.guard_intact());

    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 0, 0, TGX_LUNMASK_LEVEL_HBA), 0u);
    ASSERT_EQ(fn<NodeInfoFn>("TGX_GetAllNodeInfoByWWN")(0, kPort.b, b.rec()), 0u);
    EXPECT_EQ(b.at(0).listFlags, TGX_NODELIST_FLAG_HBA_UNMASK);

    clear();
    NodeBuf big(513);
    EXPECT_EQ(fn<NodeInfoFn>("TGX_GetAllNodeInfoByWWN")(0, kPort.b, big.rec()), 7u);
    EXPECT_TRUE(sent().empty());
    EXPECT_EQ(fn<NodeInfoFn>("TGX_GetAllNodeInfoByWWN")(0, vport(3).b, b.rec()), 2u);
}

TEST_F(ScsiTest, NodeInformationOfA512NodeList) {
    script([](uint32_t code, uint8_t* env, uint32_t size) {
        if ((code & ~0x0FF00000u) != TGX_IOCTL_INQUIRE_NODELIST) return false;
        uint8_t* p = env + TGX_ENV_HEADER_LENGTH;
        p[0] = 0x00;
        p[1] = 0x02; // 512 nodes
        for (uint32_t at = TGX_NODELIST_OFF_ENTRIES; at + 36 <= size - 28; at += 36)
            wr32(p + at + TGX_NODE_E_DID, 0x0A0000 + (at - 8) / 36);
        wr32(env + TGX_ENV_OFF_RETURNCODE, 0);
        return true;
    });
    NodeBuf b(512);
    ASSERT_EQ(fn<NodeInfoFn>("TGX_GetAllNodeInfoByWWN")(0, kPort.b, b.rec()), 0u);
    EXPECT_EQ(b.rec()->count, 512u);
    EXPECT_EQ(b.at(510).dId, 0x0A0000u + 510) << "the envelope holds 511 nodes";
    EXPECT_EQ(b.at(511).dId, 0xEEEEEEEEu) << "the 512th is not in the reply";
    EXPECT_TRUE(b.guard_intact());
}

// ---- a second process ----------------------------------------------------------------------

hbatest::RunResult run_helper(const std::string& filter) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return hbatest::RunResult{};
    self[n] = 0;
    return hbatest::run(self, {"--gtest_filter=" + filter}, {{"TGX_SCSI_SECOND", "1"}});
}

TEST(ScsiSecondProcess, Helper) {
    if (!getenv("TGX_SCSI_SECOND")) GTEST_SKIP() << "runs only as a second process";
    hbatest::Library lib("libtgx.so");
    ASSERT_TRUE(lib.loaded());
    LunBuf reg(4), drv(8);
    ASSERT_EQ(lib.fn<GetLunListFn>("TGX_GetLunList")(0, kT1.b, 1, reg.rec()), 0u);
    ASSERT_EQ(lib.fn<GetLunListFn>("TGX_GetLunList")(0, kT1.b, 0, drv.rec()), 0u);
    std::printf("REG=%u LUN%u MASKED=%u DRV=%u%u%u\n", reg.rec()->count, reg.at(0).osLun,
                reg.at(0).unMask == 0, drv.at(0).unMask, drv.at(1).unMask, drv.at(2).unMask);
}

TEST_F(ScsiTest, MasksOutliveTheProcess) {
    const uint32_t M = TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN;
    ASSERT_EQ(set_mask(TGX_LUNMASK_BOTH, 2, 1, M), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 1, 1, M), 0u);
    hbatest::RunResult r = run_helper("ScsiSecondProcess.Helper");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("REG=1 LUN2 MASKED=1 DRV=100\n"), std::string::npos) << r.out;
}

TEST_F(ScsiTest, TgxlistShowsVirtualPortsAndTargets) {
    ASSERT_EQ(create_vport(1), 0u);
    ASSERT_EQ(set_mask(TGX_LUNMASK_DRIVER, 4, 1, TGX_LUNMASK_MASK | TGX_LUNMASK_LEVEL_LUN), 0u);
    hbatest::RunResult r = hbatest::run(hbatest::bin_path("tgxlist"), {});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const char* expected =
        "  targets: 2\n"
        "    target 50:06:0E:80:00:00:00:01, node 58:06:0E:80:00:00:00:01, d_id 0x020301, "
        "ready, 4 LUN(s): 0 1 2 3\n"
        "    target 50:06:0E:80:00:00:00:02, node 58:06:0E:80:00:00:00:02, d_id 0x020302, "
        "ready, 2 LUN(s): 0 1\n"
        "  virtual ports: 1\n"
        "    vport 28:00:00:00:00:00:00:01, fc id 0x010201\n"
        "      targets: 1\n"
        "        target 50:06:0E:80:00:00:00:01, node 58:06:0E:80:00:00:00:01, d_id "
        "0x020301, ready, 4 LUN(s): 0 1 2 3\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("libtgx 12.0.1167.0   X86: 1 adapter(s)\nboard 0: scsi port 0, "), 0u)
        << r.out;

    // A Port-driver board keeps its lines and says why nothing follows.
    st.init("adapter A fc\nfunction fc\n");
    r = hbatest::run(hbatest::bin_path("tgxlist"), {});
    const size_t board = r.out.find("features 0x1400\n");
    ASSERT_NE(board, std::string::npos) << r.out;
    // The two attribute lines (driver facts, port state and speeds) come
    // next, then the reason.
    const size_t state = r.out.find("\n  port state ", board);
    ASSERT_NE(state, std::string::npos) << r.out;
    const size_t attrs = r.out.find('\n', state + 1);
    ASSERT_NE(attrs, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(attrs + 1), "  virtual ports and targets: not kept by this driver\n")
        << r.out;
}

} // namespace
