// The FC backend's answers request by request: kernel texts mapped to the
// HBA-API fields, malformed and missing values left "not available", and the
// refusal of every request and mailbox command that is not a read-only query.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "interfaces/tgx_driver_records.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "platform/plat_device.h"
#include "tests/support/support.h"
#include "tests/sysfs_backend/sysfs_tree.h"

using namespace sysfstest;

namespace {

uint32_t rd32(const uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
void wr32(uint8_t* p, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        p[k] = static_cast<uint8_t>(v >> (8 * k));
}

class SysfsRequests : public ::testing::Test {
  protected:
    void SetUp() override {
        addTwoMakers(tree_);
        setenv("HBA_SYSFS_ROOT", tree_.root().c_str(), 1);
        auto entry = lib_.fn<HbaDriverBackendEntry>(HBA_DRIVER_BACKEND_ENTRY);
        backend_ = entry();
        ASSERT_EQ(backend_->version, static_cast<uint32_t>(HBA_DRIVER_BACKEND_VERSION));
    }
    void TearDown() override {
        for (void* d : open_)
            backend_->close(d);
        unsetenv("HBA_SYSFS_ROOT");
    }
    void* open(const char* path) {
        void* dev = nullptr;
        uint32_t rc = backend_->open(path, &dev);
        EXPECT_EQ(rc, PLAT_ERR_NONE) << path;
        if (dev) open_.push_back(dev);
        return dev;
    }
    // An envelope of size bytes; send() answers it in place.
    static std::vector<uint8_t> envelope(uint32_t code, const char* sig, uint32_t size) {
        std::vector<uint8_t> b(size, 0);
        wr32(b.data(), TGX_ENV_HEADER_LENGTH);
        memcpy(b.data() + TGX_ENV_OFF_SIGNATURE, sig, strlen(sig));
        wr32(b.data() + TGX_ENV_OFF_TIMEOUT, TGX_ENV_TIMEOUT_SECONDS);
        wr32(b.data() + TGX_ENV_OFF_CONTROLCODE, code);
        wr32(b.data() + TGX_ENV_OFF_LENGTH, size - TGX_ENV_HEADER_LENGTH);
        return b;
    }
    uint32_t send(void* dev, std::vector<uint8_t>& b) {
        uint32_t returned = 0;
        return backend_->control(dev, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)b.size(), b.data(),
                                 (uint32_t)b.size(), &returned);
    }
    HBA_PortAttributes portAttributes(void* dev) {
        auto b =
            envelope(TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, TGX_SIG_HBAAPI, TGX_SIZE_PORT_ATTRIBUTES);
        EXPECT_EQ(send(dev, b), PLAT_ERR_NONE);
        EXPECT_EQ(rd32(b.data() + TGX_ENV_OFF_RETURNCODE), 0u);
        HBA_PortAttributes a;
        memcpy(&a, b.data() + TGX_ENV_HEADER_LENGTH + 4, sizeof a);
        return a;
    }
    HBA_AdapterAttributes adapterAttributes(void* dev) {
        auto b = envelope(TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, TGX_SIG_HBAAPI,
                          TGX_SIZE_ADAPTER_ATTRIBUTES);
        EXPECT_EQ(send(dev, b), PLAT_ERR_NONE);
        HBA_AdapterAttributes a;
        memcpy(&a, b.data() + TGX_ENV_HEADER_LENGTH, sizeof a);
        return a;
    }
    // A V2 mailbox with ext extension bytes; returns the envelope answered.
    std::vector<uint8_t> mailboxV2(void* dev, uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3,
                                   uint32_t ext, uint32_t* err) {
        auto b = envelope(TGX_IOCTL_ISSUEMB_V2, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_V2_BASE + ext);
        uint8_t* p = b.data() + TGX_ENV_HEADER_LENGTH;
        wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
        wr32(p + TGX_MBV2_OFF_EXTLEN, ext);
        uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
        wr32(mb, w0);
        wr32(mb + 4, w1);
        wr32(mb + 8, w2);
        wr32(mb + 12, w3);
        *err = send(dev, b);
        return b;
    }

    hbatest::TempState state_;
    SysfsTree tree_;
    hbatest::Library lib_{"libhbafcsys.so"};
    const HbaDriverBackend* backend_ = nullptr;
    std::vector<void*> open_;
    uint32_t err_ = 0;
};

TEST_F(SysfsRequests, PortAttributesFromKernelTexts) {
    HBA_PortAttributes up = portAttributes(open("\\\\.\\Scsi0:"));
    const uint8_t wwpn[8] = {0x21, 0x00, 0x00, 0x24, 0xff, 0x7b, 0x4c, 0x2a};
    const uint8_t fabric[8] = {0x10, 0x00, 0x00, 0x05, 0x1e, 0x0a, 0x7b, 0x30};
    EXPECT_EQ(memcmp(up.PortWWN, wwpn, 8), 0);
    EXPECT_EQ(memcmp(up.FabricName, fabric, 8), 0);
    EXPECT_EQ(up.PortFcId, 0x010200u);
    EXPECT_EQ(up.PortType, 5u);  // N_Port
    EXPECT_EQ(up.PortState, 2u); // online
    EXPECT_EQ(up.PortSpeed, 0x20u);
    EXPECT_EQ(up.PortSupportedSpeed, 0x38u);
    EXPECT_EQ(up.PortMaxFrameSize, 2048u);
    EXPECT_EQ(up.PortSupportedClassofService, 8u);
    EXPECT_EQ(up.PortActiveFc4Types[2], 0x01);
    EXPECT_EQ(up.NumberofDiscoveredPorts, 3u);
    EXPECT_STREQ(up.PortSymbolicName, "port sym name");
    EXPECT_STREQ(up.OSDeviceName, "/sys/class/scsi_host/host3");

    HBA_PortAttributes down = portAttributes(open("\\\\.\\Scsi2:"));
    EXPECT_EQ(down.PortState, 6u); // link down
    EXPECT_EQ(down.PortType, 1u);
    EXPECT_EQ(down.PortSpeed, 0u);
    EXPECT_EQ(down.PortFcId, 0u);
    EXPECT_EQ(down.NumberofDiscoveredPorts, 0u);
    EXPECT_EQ(down.PortActiveFc4Types[2], 0x00);

    // Virtual-port resources from max_npiv_vports and npiv_vports_inuse.
    tree_.setHostAttribute(7, "npiv_vports_inuse", "3\n");
    auto res = envelope(TGX_IOCTL_NPIV_RESOURCE, TGX_SIG_ZT, TGX_SIZE_NPIV_RESOURCE);
    ASSERT_EQ(send(open("\\\\.\\Scsi2:"), res), PLAT_ERR_NONE);
    const uint8_t* rp = res.data() + TGX_ENV_HEADER_LENGTH;
    EXPECT_EQ(rd32(rp), 255u);
    EXPECT_EQ(rd32(rp + 4), 3u);
    EXPECT_EQ(rd32(rp + 8), 252u);

    HBA_AdapterAttributes a = adapterAttributes(open("\\\\.\\Scsi2:"));
    EXPECT_STREQ(a.DriverName, "odfc");
    EXPECT_STREQ(a.DriverVersion, "2.1.8"); // from the module, as fc_host has none
    EXPECT_STREQ(a.Model, "");
    EXPECT_EQ(a.VendorSpecificID, 0x3C081F7Du);
}

TEST_F(SysfsRequests, MalformedAndMissingValuesStayNotAvailable) {
    const std::pair<const char*, const char*> damaged[] = {
        {"port_name", "0xZZ\n"},  {"speed", "17 Gbit\n"},         {"port_state", "Sleepy\n"},
        {"port_type", "NPort\n"}, {"maxframe_size", "2048\n"},    {"port_id", "0x1000000\n"},
        {"model", "unknown\n"},   {"supported_speeds", "fast\n"}, {"supported_classes", "3\n"},
        {"fabric_name", "-1\n"},  {"active_fc4s", "0x01\n"},
    };
    for (const auto& [name, text] : damaged)
        tree_.setHostAttribute(3, name, text);
    std::filesystem::remove(tree_.root() + "/sys/class/fc_host/host3/node_name");
    // A config space cut to 40 bytes: the identifiers come from their own files.
    std::string cfgPath = tree_.root() + "/sys/bus/pci/devices/0000:3b:00.0/config";
    hbatest::write_file(cfgPath, hbatest::read_file(cfgPath).substr(0, 40));

    void* dev = open("\\\\.\\Scsi0:");
    HBA_PortAttributes p = portAttributes(dev);
    const uint8_t zero[8] = {};
    EXPECT_EQ(memcmp(p.PortWWN, zero, 8), 0);
    EXPECT_EQ(memcmp(p.NodeWWN, zero, 8), 0);
    EXPECT_EQ(memcmp(p.FabricName, zero, 8), 0);
    EXPECT_EQ(p.PortSpeed, 0u);
    EXPECT_EQ(p.PortSupportedSpeed, 0u);
    EXPECT_EQ(p.PortState, 1u);
    EXPECT_EQ(p.PortType, 1u);
    EXPECT_EQ(p.PortMaxFrameSize, 0u);
    EXPECT_EQ(p.PortFcId, 0u);
    EXPECT_EQ(p.PortSupportedClassofService, 0u);
    EXPECT_EQ(p.PortActiveFc4Types[2], 0x00);
    EXPECT_EQ(p.NumberofDiscoveredPorts, 0u); // state unknown: not counted as up
    // The transport's model is not published ("unknown"): the VPD's V2 names it.
    EXPECT_STREQ(adapterAttributes(dev).Model, "HF-1620D");

    auto b = envelope(TGX_IOCTL_RETURN_INFO, TGX_SIG_ZT, TGX_SIZE_RETURN_INFO);
    ASSERT_EQ(send(dev, b), PLAT_ERR_NONE);
    const uint8_t* cfg = b.data() + TGX_ENV_HEADER_LENGTH + TGX_RI_PCICFG;
    EXPECT_EQ(rd32(cfg), 0x0A161E4Au);
    EXPECT_EQ(cfg[8], 0x02);
    EXPECT_EQ(cfg[11], 0x0C);
    EXPECT_EQ(rd32(cfg + 44), 0x01021E4Au);
    EXPECT_EQ(rd32(cfg + 16), 0u); // nothing beyond the identifiers is made up
    EXPECT_EQ(rd32(b.data() + TGX_ENV_HEADER_LENGTH + TGX_RI_LINKWORD), 0u);
}

TEST_F(SysfsRequests, AnAttributeLongerThanItsBufferIsNotAvailable) {
    // Cut after 511 bytes each would read as a valid value: 3, 0x010200.
    tree_.setHostAttribute(3, "npiv_vports_inuse", "3" + std::string(600, ' ') + "7\n");
    tree_.setHostAttribute(3, "port_id", "0x010200" + std::string(600, ' ') + "9\n");
    const std::string fits(511, 'x');
    tree_.setHostAttribute(3, "symbolic_name", fits + "\n"); // the newline is not text
    void* dev = open("\\\\.\\Scsi0:");
    auto res = envelope(TGX_IOCTL_NPIV_RESOURCE, TGX_SIG_ZT, TGX_SIZE_NPIV_RESOURCE);
    ASSERT_EQ(send(dev, res), PLAT_ERR_NONE);
    EXPECT_EQ(rd32(res.data() + TGX_ENV_HEADER_LENGTH + 4), 0u);
    EXPECT_EQ(rd32(res.data() + TGX_ENV_HEADER_LENGTH + 8), 255u);
    HBA_PortAttributes p = portAttributes(dev);
    EXPECT_EQ(p.PortFcId, 0u);
    EXPECT_EQ(std::string(p.PortSymbolicName), fits.substr(0, sizeof p.PortSymbolicName - 1));
    tree_.setHostAttribute(3, "symbolic_name", fits + "x\n");
    EXPECT_STREQ(portAttributes(dev).PortSymbolicName, "");
}

TEST_F(SysfsRequests, OnlyPhysicalPortsOpen) {
    void* dev = nullptr;
    for (const char* path : {"\\\\.\\TsvRma3", "\\\\.\\Scsi5:", "\\\\.\\Scsi03:", "\\\\.\\Scsi3",
                             "\\\\.\\Scsi256:", "/sys/class/fc_host/host3"}) {
        EXPECT_EQ(backend_->open(path, &dev), PLAT_ERR_NOT_FOUND) << path;
    }
    // A port whose device link leads out of the tree is not one of its ports.
    std::filesystem::path link = tree_.root() + "/sys/class/fc_host/host7";
    std::filesystem::path real = std::filesystem::canonical(link);
    std::filesystem::remove(real / "device");
    std::string outside = state_.path("elsewhere/0000:5e:00.0/host7");
    std::filesystem::create_directories(outside);
    std::filesystem::create_directory_symlink(outside, real / "device");
    EXPECT_EQ(backend_->open("\\\\.\\Scsi2:", &dev), PLAT_ERR_NOT_FOUND);
    // A port that goes away after the open fails its requests.
    void* gone = open("\\\\.\\Scsi1:");
    std::filesystem::remove(tree_.root() + "/sys/class/fc_host/host4");
    auto b = envelope(TGX_IOCTL_GETDRV_INFO, TGX_SIG_ZT, TGX_SIZE_GETDRV_INFO);
    EXPECT_EQ(send(gone, b), PLAT_ERR_GEN_FAILURE);
}

TEST_F(SysfsRequests, EverythingButReadOnlyQueriesIsRefused) {
    void* dev = open("\\\\.\\Scsi0:");
    // Requests outside the read-only set fail their device call.
    const uint32_t refusedCodes[] = {
        TGX_IOCTL_RESET_ADAPTER, TGX_IOCTL_ISSUEMB,         TGX_IOCTL_ISSUE_PARSE,
        TGX_IOCTL_WRITE_SLIM,    TGX_IOCTL_NPIV_SETUPSTATS, TGX_IOCTL_SET_DUMPENV,
        TGX_IOCTL_LOOPBACK_TEST, TGX_IOCTL_SCSI_PASSTHRU,   TGX_IOCTL_AUTH_CONFIG,
        TGX_IOCTL_RW_CTLREG,     TGX_IOCTL_GET_VPD,         TGX_IOCTL_SD_DATA_COLLECTION,
    };
    for (uint32_t code : refusedCodes) {
        auto b = envelope(code, TGX_SIG_ZT, TGX_SIZE_ISSUEMB);
        EXPECT_EQ(send(dev, b), PLAT_ERR_ACCESS) << std::hex << code;
    }
    uint32_t returned = 0;
    EXPECT_EQ(backend_->control(dev, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &returned),
              PLAT_ERR_NONE);
    uint8_t buf[64] = {};
    EXPECT_EQ(backend_->control(dev, TGX_IOCTL_MGMT_REGISTER_CT, buf, sizeof buf, buf, sizeof buf,
                                &returned),
              PLAT_ERR_ACCESS);

    // Mailbox commands other than the queries: "not supported by the driver".
    struct Mbox {
        uint8_t command;
        uint32_t w1;
    } refused[] = {
        {MBX_WRITE_NV, 0},
        {MBX_UPDATE_CFG, 0},
        {MBX_DOWN_LOAD, 0},
        {MBX_SLI_CONFIG, 1},
        {MBX_RESTART, 0},
        {MBX_WRITE_WWN, 0},
        {MBX_DUMP, DUMP_TYPE_MEMORY},
        {MBX_DUMP, DUMP_TYPE_VPD_PROBE},
    };
    for (const Mbox& m : refused) {
        uint32_t err = 0;
        auto b = mailboxV2(dev, static_cast<uint32_t>(m.command) << 8, m.w1, 0, 0, 64, &err);
        EXPECT_EQ(err, PLAT_ERR_NONE);
        EXPECT_EQ(rd32(b.data() + TGX_ENV_OFF_RETURNCODE), TGX_V2RC_NOT_SUPPORTED)
            << int(m.command);
    }
    // A region the backend has no data for.
    uint32_t err = 0;
    auto b = mailboxV2(dev, MBX_DUMP << 8, DUMP_TYPE_REGION, 8, 64, 64, &err);
    EXPECT_EQ(rd32(b.data() + TGX_ENV_OFF_RETURNCODE), 0u);
    EXPECT_EQ(rd32(b.data() + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_MAILBOX) >> 16,
              TGX_MBXST_DUMP_NOT_APPLICABLE);
    // An extension length the envelope does not hold fails the call.
    b = mailboxV2(dev, MBX_DUMP << 8, DUMP_TYPE_REGION, 32, 8, 8, &err);
    ASSERT_EQ(err, PLAT_ERR_NONE);
    wr32(b.data() + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_EXTLEN, 64);
    EXPECT_EQ(send(dev, b), PLAT_ERR_BAD_LENGTH);
}

TEST_F(SysfsRequests, IeeeRegionAndRevisionQueries) {
    void* dev = open("\\\\.\\Scsi1:");
    tree_.setHostAttribute(4, "permanent_port_name", "0x2100000e1e0f0a01\n");
    uint32_t err = 0;
    auto b = mailboxV2(dev, MBX_DUMP << 8, DUMP_TYPE_REGION, 32, 8, 8, &err);
    ASSERT_EQ(err, PLAT_ERR_NONE);
    const uint8_t* p = b.data() + TGX_ENV_HEADER_LENGTH;
    EXPECT_EQ(rd32(p + TGX_MBV2_OFF_MAILBOX + 24), 8u); // bytes reported
    const uint8_t factory[8] = {0x21, 0x00, 0x00, 0x0e, 0x1e, 0x0f, 0x0a, 0x01};
    EXPECT_EQ(memcmp(p + TGX_MBV2_OFF_EXT, factory, 8), 0);

    b = mailboxV2(dev, MBX_READ_REV << 8, 0, 0, 0, TGX_MBOX_MAX_EXT, &err);
    ASSERT_EQ(err, PLAT_ERR_NONE);
    p = b.data() + TGX_ENV_HEADER_LENGTH;
    EXPECT_EQ(rd32(b.data() + TGX_ENV_OFF_RETURNCODE), 0u);
    // The first word of "6.2.14.0 (r2031)", zero padded.
    const char name[16] = "6.2.14.0";
    EXPECT_EQ(memcmp(p + TGX_MBV2_OFF_MAILBOX + 36, name, sizeof name), 0);
}

TEST_F(SysfsRequests, VpdRegionInTheDataBufferForm) {
    // Region 14 as hbaset reads it: the data-buffer mailbox, 250 words asked.
    auto dumpVpd = [&](const char* path, uint32_t* status, std::string* data) {
        auto b = envelope(TGX_IOCTL_ISSUEMB_EX, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_EX);
        uint8_t* p = b.data() + TGX_ENV_HEADER_LENGTH;
        p[TGX_MBEX_OFF_MBOFFSET] = 5;
        wr32(p + TGX_MBEX_OFF_INWORDS, 250);
        wr32(p + TGX_MBEX_OFF_OUTWORDS, 250);
        uint8_t* mb = p + TGX_MBEX_OFF_MAILBOX;
        wr32(mb, MBX_DUMP << 8);
        wr32(mb + 4, DUMP_TYPE_REGION | MBX_FLAG_BIT4 | MBX_FLAG_BIT5);
        wr32(mb + 8, 14);
        wr32(mb + 16, 250);
        EXPECT_EQ(send(open(path), b), PLAT_ERR_NONE);
        *status = rd32(mb) >> 16;
        uint32_t bytes = rd32(mb + 16);
        EXPECT_LE(bytes, 1000u);
        EXPECT_EQ(rd32(p + TGX_MBEX_OFF_OUTWORDS), (bytes + 3) / 4);
        data->assign(reinterpret_cast<const char*>(p + TGX_MBEX_OFF_DATA), bytes);
    };
    uint32_t status = 0;
    std::string data;
    dumpVpd("\\\\.\\Scsi0:", &status, &data);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(data, pciVpd("HF-1620D 16Gb dual-port FC HBA", "hf21k0458", "HF-1620D"));
    dumpVpd("\\\\.\\Scsi1:", &status, &data); // unreadable: built from fc_host
    EXPECT_EQ(status, 0u);
    EXPECT_NE(data.find("SN\x09HF21K0458V2\x08HF-1620D"), std::string::npos);
    // Nothing known: a VPD that says so, never a failed read.
    dumpVpd("\\\\.\\Scsi2:", &status, &data);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(data, std::string("\x82\x03\x00N/A\x90\x0a\x00V2\x03N/ARV\x01\x31\x78", 20));

    // Other commands in this form fail the device call.
    auto b = envelope(TGX_IOCTL_ISSUEMB_EX, TGX_SIG_ZT, TGX_SIZE_ISSUEMB_EX);
    wr32(b.data() + TGX_ENV_HEADER_LENGTH + TGX_MBEX_OFF_MAILBOX, MBX_WRITE_NV << 8);
    EXPECT_EQ(send(open("\\\\.\\Scsi0:"), b), PLAT_ERR_ACCESS);
}

TEST_F(SysfsRequests, DriverNameFallsBackToThePciDriver) {
    // Without scsi_host's proc_name the PCI function's driver link names the
    // driver; with neither the name stays empty.
    std::filesystem::remove(tree_.root() + "/sys/class/scsi_host/host3/proc_name");
    void* dev = open("\\\\.\\Scsi0:");
    EXPECT_STREQ(adapterAttributes(dev).DriverName, "hfsfc");
    std::filesystem::remove(tree_.root() + "/sys/bus/pci/devices/0000:3b:00.0/driver");
    EXPECT_STREQ(adapterAttributes(dev).DriverName, "");
    // A proc_name that is not a module name never reaches outside sys/module.
    hbatest::write_file(tree_.root() + "/sys/class/scsi_host/host7/proc_name", "../../etc\n");
    EXPECT_STREQ(adapterAttributes(open("\\\\.\\Scsi2:")).DriverVersion, "");
}

TEST_F(SysfsRequests, VpdWithoutReadPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file (the directory case covers it)";
    std::string vpd = tree_.root() + "/sys/bus/pci/devices/0000:3b:00.0/vpd";
    std::filesystem::permissions(vpd, std::filesystem::perms::none);
    auto b = mailboxV2(open("\\\\.\\Scsi0:"), MBX_DUMP << 8, DUMP_TYPE_REGION, 14, 512, 512, &err_);
    ASSERT_EQ(err_, PLAT_ERR_NONE);
    const std::string data(
        reinterpret_cast<const char*>(b.data() + TGX_ENV_HEADER_LENGTH + TGX_MBV2_OFF_EXT), 512);
    EXPECT_NE(data.find("SN\x09HF21K0458V2\x08HF-1620D"), std::string::npos); // from fc_host
}

} // namespace
