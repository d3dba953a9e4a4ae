// The driver backend: device paths, envelope checks, faults, journal and the
// discovery requests, driven through the backend table.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "libtgx/libtgx.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "platform/plat_device.h"
#include "sim/core/sim_model.h"
#include "tests/support/support.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

using namespace hbasim;

namespace {

uint32_t rd32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}
void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

std::vector<uint8_t> envelope(uint32_t size, uint32_t code, const char* sig) {
    std::vector<uint8_t> b(size, 0);
    wr32(b.data(), 28);
    memcpy(b.data() + 4, sig, strlen(sig));
    wr32(b.data() + 12, 20);
    wr32(b.data() + 16, code);
    wr32(b.data() + 20, 0xDEADBEEF);
    wr32(b.data() + 24, size - 28);
    return b;
}

class Backend : public ::testing::Test {
  protected:
    const HbaDriverBackend* be = hba_driver_backend();
    hbatest::TempState st;
    std::vector<void*> open_;

    void TearDown() override {
        for (void* d : open_)
            be->close(d);
    }
    void* open(const char* path) {
        void* d = nullptr;
        if (be->open(path, &d) != 0) return nullptr;
        open_.push_back(d);
        return d;
    }
    // Sends an envelope in place; returns the backend's status.
    uint32_t send(void* dev, std::vector<uint8_t>& b, uint32_t* returned = nullptr) {
        uint32_t ret = 0;
        uint32_t rc = be->control(dev, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)b.size(), b.data(),
                                  (uint32_t)b.size(), &ret);
        if (returned) *returned = ret;
        return rc;
    }
    uint8_t* payload(std::vector<uint8_t>& b) { return b.data() + 28; }
};

} // namespace

TEST_F(Backend, DevicePaths) {
    st.init("adapter A fc\nfunction fc scsi_port = 2\nfunction fc mgmt_device = no\n"
            "adapter C cv3\nfunction nic\n");
    struct Case {
        const char* path;
        bool exists;
    };
    const Case cases[] = {
        {"\\\\.\\Scsi2:", true},
        {"\\\\.\\TsvRma2", true},
        {"\\\\.\\Scsi3:", true},
        {"\\\\.\\TsvRma3", false},
        {"\\\\.\\Scsi0:", false},
        {"\\\\.\\Scsi4:", false},
        {"\\\\.\\Scsi2", false},
        {"\\\\.\\Scsi02:", false},
        {"\\\\.\\Scsi2:x", false},
        {"\\\\.\\TsvRma2:", false},
        {"Scsi2:", false},
        {"", false},
        {"\\\\.\\Scsi99999999999:", false},
    };
    for (const Case& c : cases) {
        void* d = nullptr;
        uint32_t rc = be->open(c.path, &d);
        EXPECT_EQ(rc == 0, c.exists) << c.path;
        EXPECT_EQ(rc == 0 ? 0u : rc, c.exists ? 0u : (uint32_t)PLAT_ERR_NOT_FOUND) << c.path;
        if (d) be->close(d);
    }
}

TEST_F(Backend, MalformedEnvelopesFailAndAreNotWritten) {
    st.init();
    void* dev = open("\\\\.\\Scsi0:");
    ASSERT_NE(dev, nullptr);
    struct Case {
        const char* what;
        uint32_t size;
        uint32_t code;
        const char* sig;
        void (*tweak)(std::vector<uint8_t>& b);
    };
    const Case cases[] = {
        {"header length", TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100",
         [](std::vector<uint8_t>& b) { wr32(b.data(), 24); }},
        {"signature", TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "HBAAPI", nullptr},
        {"signature padding", TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100",
         [](std::vector<uint8_t>& b) { b[10] = 'X'; }},
        {"HBAAPI request with ZT4100", TGX_SIZE_ADAPTER_ATTRIBUTES,
         TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, "ZT4100", nullptr},
        {"length field", TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100",
         [](std::vector<uint8_t>& b) { wr32(b.data() + 24, (uint32_t)b.size()); }},
        {"short buffer", TGX_SIZE_GETDRV_INFO - 4, TGX_IOCTL_GETDRV_INFO, "ZT4100", nullptr},
        {"short attributes", TGX_SIZE_ADAPTER_ATTRIBUTES - 1, TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES,
         "HBAAPI", nullptr},
        {"short board info", 1000, TGX_IOCTL_RETURN_INFO, "ZT4100", nullptr},
        {"unknown code", 100, 0x80000FFF, "ZT4100", nullptr},
        {"header only", 20, TGX_IOCTL_GETDRV_INFO, "ZT4100", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> b = envelope(c.size < 28 ? 28 : c.size, c.code, c.sig);
        if (c.size < 28) b.resize(c.size);
        if (c.tweak) c.tweak(b);
        const std::vector<uint8_t> before = b;
        EXPECT_NE(send(dev, b), 0u);
        EXPECT_EQ(b, before); // nothing written, not even ReturnCode
    }
    // In and out buffers of different sizes are refused too.
    std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100");
    uint32_t ret;
    EXPECT_NE(be->control(dev, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)b.size(), b.data(),
                          (uint32_t)b.size() - 1, &ret),
              0u);
}

TEST_F(Backend, LargerBuffersAreAnsweredWithinTheirBounds) {
    st.init();
    void* dev = open("\\\\.\\Scsi0:");
    std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO + 64, TGX_IOCTL_GETDRV_INFO, "ZT4100");
    payload(b)[0] = 5;
    b.push_back(0xA5); // sentinel beyond the buffer handed over
    std::vector<uint8_t> view(b.begin(), b.end() - 1);
    uint32_t ret = 0;
    ASSERT_EQ(be->control(dev, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)view.size(), b.data(),
                          (uint32_t)view.size(), &ret),
              0u);
    EXPECT_EQ(ret, view.size());
    EXPECT_EQ(b.back(), 0xA5);
}

TEST_F(Backend, DriverInfoVersionNegotiation) {
    st.init("adapter A fc\nfunction fc\nfunction fc drv_version = 3 sli_mode = 3 iftype = 2\n");
    struct Case {
        const char* dev;
        uint8_t requested;
        uint32_t rc;
        uint8_t p0;
        uint32_t sliMode; // 0 = not written
        uint32_t ifWord;
    };
    const Case cases[] = {
        {"\\\\.\\Scsi0:", 5, 0, 5, 4, 0},
        {"\\\\.\\Scsi0:", 4, 0, 5, 4, 0}, // version 4: no interface word
        {"\\\\.\\Scsi0:", 3, 0, 5, 0, 0},
        {"\\\\.\\Scsi1:", 5, 1, 3, 0, 0}, // driver speaks 3 only
        {"\\\\.\\Scsi1:", 3, 0, 3, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.dev) + " v" + std::to_string(c.requested));
        void* dev = open(c.dev);
        ASSERT_NE(dev, nullptr);
        std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100");
        payload(b)[0] = c.requested;
        wr32(payload(b) + 148, 0xFFFFFFFF);
        wr32(payload(b) + 136, 0xFFFFFFFF);
        ASSERT_EQ(send(dev, b), 0u);
        EXPECT_EQ(rd32(b.data() + 20), c.rc);
        EXPECT_EQ(payload(b)[0], c.p0);
        EXPECT_EQ(payload(b)[1], 3); // drvType
        EXPECT_EQ(rd32(payload(b) + 136), c.sliMode ? c.sliMode : 0xFFFFFFFFu);
        if (c.requested >= 5 && c.rc == 0)
            EXPECT_EQ(rd32(payload(b) + 148), c.ifWord);
        else
            EXPECT_EQ(rd32(payload(b) + 148), 0xFFFFFFFFu);
        // The header is unchanged apart from ReturnCode.
        EXPECT_EQ(rd32(b.data()), 28u);
        EXPECT_EQ(rd32(b.data() + 16), TGX_IOCTL_GETDRV_INFO);
        EXPECT_EQ(rd32(b.data() + 24), TGX_SIZE_GETDRV_INFO - 28);
    }
}

TEST_F(Backend, DriverInfoFields) {
    st.init(
        "adapter A cv3\nfunction fcoe scsi_port = 3 d_id = 0x0A0B0C wwpn = 10:00:00:00:C9:01:02:03 "
        "drv_ver = ABCDEFGHIJKLMNOPQR drv_service = svcname8 drv_ver3 = v3 drv_service3 = s3 "
        "iftype = 1 feature_list = 0x5600\n");
    void* dev = open("\\\\.\\Scsi3:");
    std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100");
    payload(b)[0] = 5;
    ASSERT_EQ(send(dev, b), 0u);
    const uint8_t* p = payload(b);
    EXPECT_EQ(std::string((const char*)p + 8, 16),
              "ABCDEFGHIJKLMNOP"); // full field, not terminated
    EXPECT_EQ(std::string((const char*)p + 24, 8), "svcname8");
    EXPECT_EQ(std::string((const char*)p + 56, 2), "v3");
    EXPECT_EQ(p[58], 0);
    EXPECT_EQ(std::string((const char*)p + 72, 2), "s3");
    EXPECT_EQ(rd32(p + 80), 0x0A0B0Cu);
    const uint8_t wwpn[8] = {0x10, 0, 0, 0, 0xC9, 1, 2, 3};
    EXPECT_EQ(memcmp(p + 84, wwpn, 8), 0);
    EXPECT_EQ(rd32(p + 136), 4u);
    EXPECT_EQ(rd32(p + 140), 0x5600u);
    EXPECT_EQ(rd32(p + 148), 0x1000u);
}

TEST_F(Backend, BoardInformation) {
    st.init("adapter A brevin pci_bus = 0x5A pci_segment = 2\nfunction fc\n"
            "function fc pci_device = 3 pci_function = 6 revision = 0x21 link = down persist_down "
            "= yes "
            "slim_base = 0xFEB00000 word456 = 7 return_info = 9\n");
    struct Case {
        const char* dev;
        uint32_t link;
        uint32_t devfunc;
        uint8_t rev;
    };
    const Case cases[] = {{"\\\\.\\Scsi0:", 1, 0, 0x10},
                          {"\\\\.\\Scsi1:", 0x80000000u, 3 | (6 << 5), 0x21}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev);
        void* dev = open(c.dev);
        std::vector<uint8_t> b = envelope(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, "ZT4100");
        ASSERT_EQ(send(dev, b), 0u);
        const uint8_t* p = payload(b);
        EXPECT_EQ(rd32(p + TGX_RI_LINKWORD), c.link);
        EXPECT_EQ(rd32(p + TGX_RI_BUSID), 0x5Au | (2u << 8));
        EXPECT_EQ(rd32(p + TGX_RI_DEVFUNC), c.devfunc);
        EXPECT_EQ(rd32(p + TGX_RI_PCICFG), 0xE2001F3Cu); // device << 16 | vendor
        EXPECT_EQ(p[TGX_RI_PCICFG + 8], c.rev);
    }
    void* dev = open("\\\\.\\Scsi1:");
    std::vector<uint8_t> b = envelope(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, "ZT4100");
    ASSERT_EQ(send(dev, b), 0u);
    EXPECT_EQ(rd32(payload(b) + TGX_RI_RETURNINFO), 9u);
    EXPECT_EQ(rd32(payload(b) + TGX_RI_WORD456), 7u);
    EXPECT_EQ(rd32(payload(b) + TGX_RI_SLIMBASE), 0xFEB00000u);
}

TEST_F(Backend, AdapterAttributesShareAdapterFacts) {
    st.init("adapter A cv3 serial = SER123 fw_active = 11.2.3.4 model = CVX\n"
            "function fcoe\nfunction fcoe driver_name = qrlsli2\nfunction nic\n");
    for (const char* path : {"\\\\.\\Scsi0:", "\\\\.\\Scsi1:"}) {
        SCOPED_TRACE(path);
        void* dev = open(path);
        std::vector<uint8_t> b =
            envelope(TGX_SIZE_ADAPTER_ATTRIBUTES, TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, "HBAAPI");
        ASSERT_EQ(send(dev, b), 0u);
        EXPECT_EQ(rd32(b.data() + 20), 0u);
        HBA_AdapterAttributes a;
        memcpy(&a, payload(b), sizeof a);
        EXPECT_STREQ(a.SerialNumber, "SER123");
        EXPECT_STREQ(a.FirmwareVersion, "11.2.3.4");
        EXPECT_STREQ(a.Model, "CVX");
        EXPECT_STREQ(a.Manufacturer, "Quoral");
        EXPECT_EQ(a.VendorSpecificID, 0x07141F3Cu);
        EXPECT_STREQ(a.DriverName, std::string(path) == "\\\\.\\Scsi1:" ? "qrlsli2" : "qrlfcoe");
    }
}

TEST_F(Backend, PortAttributesPortAndMiniDriver) {
    st.init("adapter A fc\nfunction fc wwpn = 10:00:00:00:00:00:00:01\n"
            "function fc driver_name = qrlmini wwpn = 10:00:00:00:00:00:00:02 link = down\n");
    struct Case {
        const char* dev;
        uint32_t offset;
        uint8_t lastWwpnByte;
        uint32_t state;
    };
    const Case cases[] = {{"\\\\.\\Scsi0:", 0, 1, 2}, {"\\\\.\\Scsi1:", 4, 2, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dev);
        void* dev = open(c.dev);
        std::vector<uint8_t> b =
            envelope(TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, "HBAAPI");
        ASSERT_EQ(send(dev, b), 0u);
        EXPECT_EQ(rd32(b.data() + 20), 0u);
        HBA_PortAttributes pa;
        memcpy(&pa, payload(b) + c.offset, sizeof pa);
        EXPECT_EQ(pa.PortWWN[7], c.lastWwpnByte);
        EXPECT_EQ(pa.PortWWN[0], 0x10);
        EXPECT_EQ(pa.PortState, c.state);
        if (c.offset) {
            EXPECT_EQ(rd32(payload(b)), 0u); // the index word is left as sent
        }
    }
    // A Mini driver refuses a port index other than 0.
    void* dev = open("\\\\.\\Scsi1:");
    std::vector<uint8_t> b =
        envelope(TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, "HBAAPI");
    wr32(payload(b), 1);
    ASSERT_EQ(send(dev, b), 0u);
    EXPECT_EQ(rd32(b.data() + 20), 6u);
}

TEST_F(Backend, StalePortDataUntilRefresh) {
    st.init("adapter A fc\nfunction fc stale_attrs = yes\n");
    void* dev = open("\\\\.\\Scsi0:");
    auto query = [&] {
        std::vector<uint8_t> b =
            envelope(TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_GET_PORT_ATTRIBUTES, "HBAAPI");
        EXPECT_EQ(send(dev, b), 0u);
        EXPECT_EQ(payload(b)[8], 0x10); // data is there even when stale
        return rd32(b.data() + 20);
    };
    EXPECT_EQ(query(), 8u);
    EXPECT_EQ(query(), 8u);
    std::vector<uint8_t> r =
        envelope(TGX_SIZE_PORT_ATTRIBUTES, TGX_IOCTL_HBA_REFRESH_INFORMATION, "HBAAPI");
    ASSERT_EQ(send(dev, r), 0u);
    EXPECT_EQ(rd32(r.data() + 20), 0u);
    EXPECT_EQ(query(), 0u);
    // Stale on demand through the fault table, once.
    ASSERT_EQ(fault_add({"drv", "0x80000204", -1, 0, "stale", 1}), SIM_OK);
    EXPECT_EQ(query(), 8u);
    EXPECT_EQ(query(), 0u);
}

TEST_F(Backend, FaultsFailOrForceReturnCode) {
    st.init();
    void* dev0 = open("\\\\.\\Scsi0:");
    void* dev1 = open("\\\\.\\Scsi1:");
    ASSERT_EQ(fault_add({"drv", "HBA_GET_ADAPTER_ATTRIBUTES", 1, 0, "rc=5", -1}), SIM_OK);
    ASSERT_EQ(fault_add({"drv", "0x80000100", -1, 2, "fail", -1}), SIM_OK);
    auto attrs = [&](void* dev, uint32_t* rc) {
        std::vector<uint8_t> b =
            envelope(TGX_SIZE_ADAPTER_ATTRIBUTES, TGX_IOCTL_HBA_GET_ADAPTER_ATTRIBUTES, "HBAAPI");
        uint32_t st = send(dev, b);
        *rc = rd32(b.data() + 20);
        return st;
    };
    uint32_t rc;
    EXPECT_EQ(attrs(dev0, &rc), 0u);
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(attrs(dev1, &rc), 0u);
    EXPECT_EQ(rc, 5u);
    for (int call = 1; call <= 3; ++call) {
        std::vector<uint8_t> b = envelope(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, "ZT4100");
        EXPECT_EQ(send(dev0, b) != 0, call == 2) << "call " << call;
    }
}

TEST_F(Backend, VirtualPortBitsManagementDeviceAndJournal) {
    st.init();
    // Only the codes that carry a virtual port index take one, and the
    // management device takes no envelope at all; each refusal is journalled.
    const struct {
        const char* dev;
        uint32_t code;
        bool answered;
        const char* journal;
    } cases[] = {
        {"\\\\.\\Scsi1:", TGX_IOCTL_GETDRV_INFO, true,
         "Scsi1 0x80000135 GETDRV_INFO vpi=0 size=188 -> rc=0"},
        {"\\\\.\\Scsi1:", TGX_VPI_CODE(TGX_IOCTL_GETDRV_INFO, 3), false,
         "Scsi1 0x80000135 GETDRV_INFO vpi=3 size=188 -> FAIL 87 (virtual port index not taken)"},
        {"\\\\.\\TsvRma1", TGX_IOCTL_GETDRV_INFO, false,
         "TsvRma1 0x00000000 ENVELOPE vpi=0 size=188 -> FAIL 87 (envelope on the management "
         "device)"},
        {"\\\\.\\Scsi1:", 0x80000FFF, false, "Scsi1 0x80000FFF UNKNOWN vpi=0 size=188 -> FAIL 87"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.journal);
        journal_clear();
        void* dev = open(c.dev);
        ASSERT_NE(dev, nullptr);
        std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO, c.code, "ZT4100");
        payload(b)[0] = 5;
        const std::vector<uint8_t> before = b;
        EXPECT_EQ(send(dev, b) == 0, c.answered);
        EXPECT_EQ(rd32(b.data() + 16), c.code); // code as sent
        if (!c.answered) {
            EXPECT_EQ(b, before);
        }
        auto lines = journal_lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find(c.journal), std::string::npos) << lines[0];
    }
}

TEST_F(Backend, ManagementStart) {
    st.init("adapter A fc\nfunction fc\nfunction fc mgmt_device = no\n");
    void* mgmt = open("\\\\.\\TsvRma0");
    ASSERT_NE(mgmt, nullptr);
    uint32_t ret = 7;
    EXPECT_EQ(be->control(mgmt, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &ret), 0u);
    EXPECT_EQ(ret, 0u);
    // Without a management device the SCSI device takes the request.
    void* scsi = open("\\\\.\\Scsi1:");
    EXPECT_EQ(be->control(scsi, TGX_IOCTL_MGMT_START, nullptr, 0, nullptr, 0, &ret), 0u);
    EXPECT_NE(be->control(mgmt, 0x800001FF, nullptr, 0, nullptr, 0, &ret), 0u);
}

TEST_F(Backend, ThroughThePlatformDeviceLayer) {
    st.init();
    plat_dev_set_backend(hba_driver_backend());
    PlatHandle h = plat_dev_open("\\\\.\\Scsi5:");
    ASSERT_NE(h, nullptr);
    std::vector<uint8_t> b = envelope(TGX_SIZE_GETDRV_INFO, TGX_IOCTL_GETDRV_INFO, "ZT4100");
    payload(b)[0] = 5;
    uint32_t ret = 0;
    EXPECT_TRUE(plat_dev_control(h, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)b.size(), b.data(),
                                 (uint32_t)b.size(), &ret));
    EXPECT_EQ(rd32(payload(b) + 140) & TGX_FEATURE_FCOE, TGX_FEATURE_FCOE);
    plat_dev_close(h);
    EXPECT_EQ(plat_dev_open("\\\\.\\Scsi6:"), nullptr);
    EXPECT_EQ(plat_last_error(), (uint32_t)PLAT_ERR_NOT_FOUND);
    plat_dev_set_backend(nullptr);
}

TEST_F(Backend, CorruptStateFailsRequestsWithoutCrashing) {
    st.init();
    void* dev = open("\\\\.\\Scsi0:");
    ASSERT_NE(dev, nullptr);
    std::string s = hbatest::read_file(hbasim::adapter_file(0));
    s[20] ^= 1;
    hbatest::write_file(hbasim::adapter_file(0), s);
    fault_clear(); // a counted change: this warm process looks at the files again
    std::vector<uint8_t> b = envelope(TGX_SIZE_RETURN_INFO, TGX_IOCTL_RETURN_INFO, "ZT4100");
    EXPECT_EQ(send(dev, b), (uint32_t)PLAT_ERR_GEN_FAILURE); // the state cannot be read
}
