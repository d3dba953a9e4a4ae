// The mailbox transport forms of the simulated driver: an injected driver
// ReturnCode never leaves a mailbox looking completed, a failing mailbox
// command completes with an error status, and a memory dump in the library's
// extension form is refused rather than answered with made-up data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "sim/core/sim_model.h"
#include "sim/driver/sim_driver.h"
#include "tests/support/support.h"

extern "C" const HbaDriverBackend* hba_driver_backend();

namespace {

uint32_t rd32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | ((uint32_t)p[3] << 24);
}
void wr32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = (uint8_t)(v >> (8 * i));
}

hbatest::RunResult hbasim_run(const std::vector<std::string>& args) {
    return hbatest::run(hbatest::bin_path("hbasim"), args);
}

// One mailbox request of a transport form, carrying READ_REV.
struct MailboxForm {
    uint32_t code;
    uint32_t size;
    uint32_t mailboxOffset; // in the payload
    void (*fill)(uint8_t* payload);
};

std::vector<uint8_t> mailboxRequest(const MailboxForm& m) {
    std::vector<uint8_t> b(m.size, 0);
    wr32(b.data(), TGX_ENV_HEADER_LENGTH);
    memcpy(b.data() + TGX_ENV_OFF_SIGNATURE, TGX_SIG_ZT, strlen(TGX_SIG_ZT));
    wr32(b.data() + TGX_ENV_OFF_CONTROLCODE, m.code);
    wr32(b.data() + TGX_ENV_OFF_LENGTH, m.size - TGX_ENV_HEADER_LENGTH);
    uint8_t* p = b.data() + TGX_ENV_HEADER_LENGTH;
    p[m.mailboxOffset + 1] = MBX_READ_REV;
    if (m.fill) m.fill(p);
    return b;
}

const MailboxForm kForms[] = {
    {TGX_IOCTL_ISSUEMB, TGX_SIZE_ISSUEMB, TGX_MB_OFF_MAILBOX, nullptr},
    {TGX_IOCTL_ISSUEMB_XMTRCV, TGX_SIZE_ISSUEMB_XMTRCV_BASE, TGX_MB_OFF_MAILBOX,
     [](uint8_t* p) { p[TGX_MB_OFF_MAILBOX + 1] = TGX_MBX_BIU_DIAG; }},
    {TGX_IOCTL_ISSUEMB_EVENTLOG, TGX_SIZE_ISSUEMB_EVENTLOG_BASE, TGX_MB_OFF_MAILBOX,
     [](uint8_t* p) { p[TGX_MB_OFF_MAILBOX + 1] = TGX_MBX_READ_EVENT_LOG_HOST; }},
    {TGX_IOCTL_ISSUEMB_EX, TGX_SIZE_ISSUEMB_EX, TGX_MBEX_OFF_MAILBOX,
     [](uint8_t* p) { wr32(p + TGX_MBEX_OFF_INWORDS, 64); }},
    {TGX_IOCTL_ISSUEMB_V2, TGX_SIZE_ISSUEMB_V2_BASE, TGX_MBV2_OFF_MAILBOX,
     [](uint8_t* p) { wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES); }},
};

class MailboxFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        st_.init();
        ASSERT_EQ(be_->open("\\\\.\\Scsi0:", &dev_), 0u);
    }
    void TearDown() override {
        if (dev_) be_->close(dev_);
    }
    // Sends the request; returns its ReturnCode and the mailbox status.
    void send(const MailboxForm& m, uint32_t* rc, uint32_t* status) {
        std::vector<uint8_t> b = mailboxRequest(m);
        uint32_t got = 0;
        ASSERT_EQ(be_->control(dev_, IOCTL_SCSI_MINIPORT, b.data(), (uint32_t)b.size(), b.data(),
                               (uint32_t)b.size(), &got),
                  0u);
        *rc = rd32(b.data() + TGX_ENV_OFF_RETURNCODE);
        *status = rd32(b.data() + TGX_ENV_HEADER_LENGTH + m.mailboxOffset) >> 16;
    }
    const HbaDriverBackend* be_ = hba_driver_backend();
    hbatest::TempState st_;
    void* dev_ = nullptr;
};

TEST_F(MailboxFaults, DriverReturnCodeFailsTheMailboxOfEveryForm) {
    for (const MailboxForm& m : kForms) {
        SCOPED_TRACE(m.code);
        hbasim::fault_clear();
        uint32_t rc = 9, status = 9;
        send(m, &rc, &status);
        EXPECT_EQ(rc, 0u); // the request itself is sound
        char code[16];
        snprintf(code, sizeof code, "0x%08X", m.code);
        ASSERT_EQ(hbasim::fault_add({"drv", code, -1, 0, "rc=1", -1}), hbasim::SIM_OK);
        send(m, &rc, &status);
        EXPECT_EQ(rc, 1u);
        EXPECT_EQ(status, (uint32_t)hbasim::SIM_MBXST_DRIVER_ERROR)
            << "an unanswered mailbox reads as completed";
    }
}

TEST_F(MailboxFaults, FailingMailboxCommandCompletesWithAnErrorStatus) {
    uint32_t rc = 9, status = 9;
    send(kForms[0], &rc, &status);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(hbasim_run({"fault", "add", "mbx", "READ_REV", "fail"}).exit_code, 0);
    send(kForms[0], &rc, &status);
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(status, MBXS_ERROR);
}

TEST_F(MailboxFaults, MemoryDumpInTheExtensionFormIsRefused) {
    // The library's dump request: V2 form, 256-byte mailbox and a 64-byte
    // extension; type 1 with word 3 the byte count and word 4 the data address.
    MailboxForm dump = {TGX_IOCTL_ISSUEMB_V2, TGX_SIZE_ISSUEMB_V2_BASE + 64, TGX_MBV2_OFF_MAILBOX,
                        [](uint8_t* p) {
                            wr32(p + TGX_MBV2_OFF_MBLEN, TGX_MBOX_BYTES);
                            wr32(p + TGX_MBV2_OFF_EXTLEN, 64);
                            uint8_t* mb = p + TGX_MBV2_OFF_MAILBOX;
                            mb[1] = MBX_DUMP;
                            wr32(mb + 4, 0x11);
                            wr32(mb + 12, 64);
                            wr32(mb + 16, 0x12345678);
                        }};
    uint32_t rc = 9, status = 0;
    send(dump, &rc, &status);
    EXPECT_EQ(rc, 0u);
    EXPECT_EQ(status, (uint32_t)hbasim::SIM_MBXST_BAD_PARAM);
}

} // namespace
