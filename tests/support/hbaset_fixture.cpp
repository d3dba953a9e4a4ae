#include "tests/support/hbaset_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/families.h"
#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"
#include "libtgx/libtgx.h"
#include "sim/core/sim_model.h"

namespace hbatest {

namespace {

uint16_t readHwType(int i, bool sli4) {
    MboxBuf mb;
    uint32_t st = sli4 ? ReadRev4(i, &mb) : ReadRev(i, &mb);
    if (st != 0) return 0;
    uint32_t word = (mb.w[2] >> 4) != 0 ? mb.w[2] : mb.w[3];
    return static_cast<uint16_t>((word >> 12) & 0xFFFF);
}

void readFactoryWwn(int i, AdapterRecord* r) {
    uint8_t ieee[8] = {};
    uint32_t length = sizeof ieee;
    if (DumpConfigRegion(i, REGION_IEEE, 0, &length, ieee) != 0 || length < 8) return;
    r->wwpnHigh = le32(ieee);
    r->wwpnLow = le32(ieee + 4);
    if (r->sli4) {
        r->wwpnHigh = byteSwap32(r->wwpnHigh);
        r->wwpnLow = byteSwap32(r->wwpnLow);
    }
}

} // namespace

HbasetMachine::HbasetMachine(const std::string& fleet) : state_(new TempState()) {
    state_->init(fleet);
    attach();
}

HbasetMachine::HbasetMachine(AttachExisting) {
    attach();
}

void HbasetMachine::attach() {
    hbasim::journal_clear();
    messageReset();
    console_ = std::tmpfile();
    g_msg.console = console_;

    TGX_FreeDiagEnv();
    std::vector<BrdInfo> boards(256);
    boards_ = TGX_InitDiagEnv(boards.data(), static_cast<uint32_t>(boards.size()));
    adapterTableRelease();
    EXPECT_TRUE(adapterTableAllocate(boards_));
    g_table.fcCount = g_table.totalCount = boards_;
    for (uint32_t i = 0; i < boards_; ++i) {
        AdapterRecord* r = adapterAt(static_cast<int>(i));
        const BrdInfo& b = boards[i];
        r->vendorId = static_cast<uint16_t>(b.pciIds & 0xFFFF);
        r->deviceId = static_cast<uint16_t>(b.pciIds >> 16);
        r->pciBus = b.busid;
        r->pciDevice = b.dev_id & 0x1F;
        r->pciFunction = b.pciFunc;
        DrvInfo info;
        std::memset(&info, 0, sizeof info);
        info.version = 4;
        if (TGX_GetDrvInfo(i, &info) == 0) r->sli4 = info.sliMode == 4 ? 1 : 0;
        if (isDiscoveryFcoeDevice(r->deviceId)) r->functionKind = KIND_FCOE_FUNCTION;
    }
    for (uint32_t i = 0; i < boards_; ++i) {
        AdapterRecord* r = adapterAt(static_cast<int>(i));
        r->hwType = readHwType(static_cast<int>(i), r->sli4 != 0);
        readFactoryWwn(static_cast<int>(i), r);
    }
    g_mboxLastFailure = {0, 0};
    hbasim::journal_clear();
}

HbasetMachine::~HbasetMachine() {
    adapterTableRelease();
    TGX_FreeDiagEnv();
    g_msg.console = nullptr;
    if (console_) std::fclose(console_);
}

std::string HbasetMachine::takeConsole() {
    std::string text;
    if (!console_) return text;
    std::fflush(console_);
    std::rewind(console_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, console_)) > 0)
        text.append(buf, n);
    std::fclose(console_);
    console_ = std::tmpfile();
    g_msg.console = console_;
    return text;
}

std::vector<std::string> HbasetMachine::journal() const {
    std::vector<std::string> out;
    for (const std::string& line : hbasim::journal_lines()) {
        // "<source> <pid> <text>"
        if (line.rfind("mbx ", 0) != 0) continue;
        size_t space = line.find(' ', 4);
        out.push_back(space == std::string::npos ? "" : line.substr(space + 1));
    }
    return out;
}

void HbasetMachine::clearJournal() const {
    hbasim::journal_clear();
}

size_t countLines(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& l : lines)
        if (l.compare(0, prefix.size(), prefix) == 0) ++n;
    return n;
}

} // namespace hbatest

namespace hbatest {

RunResult runSecondProcess(const std::string& filter, const std::string& request) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return RunResult{};
    self[n] = 0;
    return run(self, {"--gtest_filter=" + filter}, {{"HBA_SECOND_PROCESS", request}});
}

std::string secondProcessRequest() {
    const char* v = getenv("HBA_SECOND_PROCESS");
    return v ? v : "";
}

} // namespace hbatest
