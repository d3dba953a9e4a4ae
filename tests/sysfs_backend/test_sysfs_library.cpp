// The library's virtual-port, rescan and LUN exports on the FC backend: each
// write goes to the transport's own file in the kernel's format, a driver
// without the file refuses it cleanly and the tree stays as it was.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "libtgx/libtgx.h"
#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;

namespace {

using InitFn = uint32_t (*)(BrdInfo*, uint32_t);
using FreeFn = uint32_t (*)();
using CreateFn = uint32_t (*)(uint32_t, const char*, VPortRecord*);
using DeleteFn = uint32_t (*)(uint32_t, const uint8_t*);
using DeleteV2Fn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t);
using ListFn = uint32_t (*)(uint32_t, VPortList*);
using AttribFn = uint32_t (*)(uint32_t, const uint8_t*, VPortRecord*);
using RescanFn = uint32_t (*)(uint32_t);
using LunListFn = uint32_t (*)(uint32_t, const uint8_t*, uint32_t, LunListRecord*);
using ScsiIdFn = uint32_t (*)(uint32_t, const uint8_t*, TGX_ScsiIdRecord*);

// Boards in host order: 0 host 1 (vio, no vport files), 1 host 9, 2 host 10, 3 host 300.
const uint32_t kVio = 0, kHost9 = 1, kHost300 = 3;
const uint8_t kVportWwpn[8] = {0x2f, 0x00, 0x10, 0xae, 0x5c, 0x7e, 0x01, 0x01};
const uint8_t kNewWwpn[8] = {0x2f, 0x00, 0x10, 0xae, 0x5c, 0x7e, 0x02, 0x02};
const uint8_t kNewWwnn[8] = {0x2e, 0x00, 0x10, 0xae, 0x5c, 0x7e, 0x02, 0x02};
const uint8_t kTarget[8] = {0x52, 0x4a, 0x93, 0x7a, 0x1a, 0x2b, 0x3c, 0x01};

class SysfsLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        addMainlineServer(tree_);
        addOddHosts(tree_);
        for (const auto& [k, v] : tree_.env())
            setenv(k.c_str(), v.c_str(), 1);
        lib_ = std::make_unique<hbatest::Library>("libtgx.so");
        ASSERT_TRUE(lib_->loaded());
        std::vector<BrdInfo> boards(8);
        ASSERT_EQ(lib_->fn<InitFn>("TGX_InitDiagEnv")(boards.data(), 8), 4u);
    }
    void TearDown() override {
        lib_->fn<FreeFn>("TGX_FreeDiagEnv")();
        lib_.reset();
        unsetenv("HBA_SYSFS_ROOT");
        unsetenv("HBA_DRIVER_BACKEND");
    }
    template <typename F> F fn(const char* name) { return lib_->fn<F>(name); }
    uint32_t create(uint32_t board, uint32_t options = 0) {
        VPortRecord rec{};
        rec.version = 2;
        memcpy(rec.wwpn, kNewWwpn, 8);
        memcpy(rec.wwnn, kNewWwnn, 8);
        rec.options = options;
        return fn<CreateFn>("TGX_VPCreate")(board, "new vport", &rec);
    }

    hbatest::TempState state_;
    SysfsTree tree_;
    std::unique_ptr<hbatest::Library> lib_;
};

TEST_F(SysfsLibrary, VirtualPortsAreMadeAndDeletedThroughTheTransportFiles) {
    // The kernel makes the port and it logs in later: created, no FC ID yet.
    EXPECT_EQ(create(kHost9), 0u);
    EXPECT_EQ(tree_.hostFile(9, "vport_create"), "2f0010ae5c7e0202:2e0010ae5c7e0202");
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(kHost9, kVportWwpn), 0u);
    EXPECT_EQ(tree_.hostFile(9, "vport_delete"), "2f0010ae5c7e0101:2e0010ae5c7e0101");
    // A port the transport does not list is not deleted.
    tree_.setHostAttribute(9, "vport_delete", "");
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(kHost9, kNewWwpn), 5u);
    EXPECT_EQ(tree_.hostFile(9, "vport_delete"), "");
    // The registry keeps a virtual port of the caller's: the V2 delete drops it too.
    ASSERT_EQ(create(kHost9, TGX_VP_OPT_REGISTRY_ONLY), 0u);
    uint8_t created[8];
    memcpy(created, kNewWwpn, 8);
    std::filesystem::path vport = tree_.root() + "/sys/class/fc_vports/vport-9:0-0";
    hbatest::write_file((vport / "port_name").string(), "0x2f0010ae5c7e0202\n");
    EXPECT_EQ(fn<DeleteV2Fn>("TGX_VPDeleteV2")(kHost9, created, 0), 0u);
    EXPECT_EQ(tree_.hostFile(9, "vport_delete"), "2f0010ae5c7e0202:2e0010ae5c7e0101");
}

TEST_F(SysfsLibrary, VirtualPortsAreListedAndDescribed) {
    std::vector<uint8_t> bytes(4 + sizeof(VPortListEntry) * 4);
    auto* list = reinterpret_cast<VPortList*>(bytes.data());
    list->count = 4;
    ASSERT_EQ(fn<ListFn>("TGX_VPGetList")(kHost9, list), 0u);
    ASSERT_EQ(list->count, 1u);
    EXPECT_EQ(memcmp(list->entries[0].wwpn, kVportWwpn, 8), 0);
    EXPECT_EQ(list->entries[0].fcId, 0x0B1401u);

    VPortRecord rec{};
    rec.version = 2;
    ASSERT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(kHost9, kVportWwpn, &rec), 0u);
    EXPECT_STREQ(rec.symbolicName, "vx vport 0");
    EXPECT_EQ(rec.fcId, 0x0B1401u);
    EXPECT_EQ(rec.state, 2u);                                               // online
    EXPECT_EQ(fn<AttribFn>("TGX_VPGetAttrib")(kHost9, kNewWwpn, &rec), 4u); // unknown WWPN

    list->count = 4;
    ASSERT_EQ(fn<ListFn>("TGX_VPGetList")(kVio, list), 0u);
    EXPECT_EQ(list->count, 0u);
}

TEST_F(SysfsLibrary, RescanWritesTheScanFile) {
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(kHost9), 0u);
    EXPECT_EQ(hbatest::read_file(tree_.root() + "/sys/class/scsi_host/host9/scan"), "- - -");
    std::filesystem::remove(tree_.root() + "/sys/class/scsi_host/host300/scan");
    EXPECT_EQ(fn<RescanFn>("TGX_RescanLUNs")(kHost300), 1u);
}

TEST_F(SysfsLibrary, WithoutTheFilesNothingIsWritten) {
    // The vio port's driver has no NPIV: no vport_create, no vport_delete.
    const std::string before = tree_.digest();
    EXPECT_EQ(create(kVio), 2u);
    EXPECT_EQ(fn<DeleteFn>("TGX_VPDelete")(kVio, kVportWwpn), 5u);
    // A link where the file belongs is not followed.
    std::filesystem::path host1 =
        std::filesystem::canonical(tree_.root() + "/sys/class/fc_host/host1");
    std::filesystem::create_symlink(tree_.root() + "/elsewhere", host1 / "vport_create");
    const std::string withLink = tree_.digest();
    EXPECT_EQ(create(kVio), 2u);
    EXPECT_FALSE(std::filesystem::exists(tree_.root() + "/elsewhere"));
    EXPECT_EQ(tree_.digest(), withLink);
    std::filesystem::remove(host1 / "vport_create");
    EXPECT_EQ(tree_.digest(), before);
}

TEST_F(SysfsLibrary, LunsOfATargetFromItsScsiDevices) {
    std::vector<uint8_t> bytes(4 + sizeof(LunListEntry) * 8);
    auto* luns = reinterpret_cast<LunListRecord*>(bytes.data());
    luns->count = 8;
    ASSERT_EQ(fn<LunListFn>("TGX_GetLunList")(kHost9, kTarget, TGX_LUN_FROM_DRIVER, luns), 0u);
    ASSERT_EQ(luns->count, 2u);
    EXPECT_EQ(luns->entries[0].osLun, 0u);
    EXPECT_EQ(luns->entries[1].osLun, 1u);
    EXPECT_EQ(luns->entries[1].state, 1u); // running

    TGX_ScsiIdRecord id{};
    memcpy(id.targetWwpn, kTarget, 8);
    const uint8_t port[8] = {0x10, 0x00, 0x00, 0x10, 0xae, 0x5c, 0x7e, 0x01};
    ASSERT_EQ(fn<ScsiIdFn>("TGX_GetScsiID")(kHost9, port, &id), 0u);
    EXPECT_EQ(id.pathId, 0u);
    EXPECT_EQ(id.targetId, 0u);
}

} // namespace
