// readconfig, saveVPD, writeVPD and readNVlog run as processes: the VPD
// written and read back byte for byte in a new process, the size and length
// bounds, the saved file's zero fill, the region dump's byte order, and the
// NV log's pieces, size cap and closing reset.
#include <cctype>
#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

// VPD writes go to an SLI-4 FC function.
const char kFc[] = "adapter A fc\nfunction fc\n";

std::string bytesOf(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + seed) & 0xFF);
    return s;
}

// The bytes of a readconfig dump in memory order ("OFFSET: hex hex |text|").
std::string dumpedBytes(const std::string& run) {
    const std::string out = boot::body(run);
    std::string bytes;
    size_t at = 0;
    while ((at = out.find(": ", at)) != std::string::npos) {
        size_t end = out.find(" |", at);
        if (end == std::string::npos) break;
        std::string hex;
        for (size_t i = at + 2; i < end; ++i)
            if (isxdigit(static_cast<unsigned char>(out[i]))) hex += out[i];
        for (size_t i = 0; i + 1 < hex.size(); i += 2)
            bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
        at = end;
    }
    return bytes;
}

TEST(WriteVpd, LargestFilesReadBackExactlyInANewProcess) {
    for (size_t size : {2027u, 2028u}) {
        TempState state;
        state.init(kFc);
        std::string file = state.path("vpd.bin");
        std::string data = bytesOf(size, static_cast<unsigned>(size));
        hbatest::write_file(file, data);
        RunResult w = boot::hbaset({"writeVPD", "n=1", "c=" + file});
        EXPECT_EQ(w.exit_code, 0) << w.out;
        EXPECT_NE(w.out.find("Finish updating Config Region 14\n"), std::string::npos) << w.out;
        RunResult r = boot::hbaset({"readconfig", "n=1", "r=14", "l=" + std::to_string(size)});
        EXPECT_EQ(r.exit_code, 0) << r.out;
        EXPECT_TRUE(dumpedBytes(r.out) == data) << size << "\n" << r.out.substr(0, 400);
    }
}

TEST(WriteVpd, RefusedFiles) {
    TempState state;
    state.init(kFc);
    std::string big = state.path("big.bin");
    hbatest::write_file(big, bytesOf(2029, 1));
    RunResult r = boot::hbaset({"writeVPD", "n=1", "c=" + big});
    EXPECT_EQ(r.exit_code, 51);
    EXPECT_NE(r.out.find("VPD File Size more than 2028 bytes\n"), std::string::npos) << r.out;
    r = boot::hbaset({"writeVPD", "n=1", "c=" + state.path("missing.bin")});
    EXPECT_EQ(r.exit_code, 4);
    EXPECT_NE(r.out.find("ERROR: Can't open specified file\n"), std::string::npos) << r.out;
    EXPECT_TRUE(diag::journalWith("UPDATE_CFG type=2 region=14").empty());
}

// A VPD file of the state directory holding data.
std::string vpdFile(const TempState& state, const std::string& data) {
    std::string file = state.path("vpd.bin");
    hbatest::write_file(file, data);
    return file;
}

// Under a driver whose mailbox data limit is 108 bytes (or unknown: 0) the
// data travels in the mailbox words, which hold 108 bytes: a larger file is
// refused before anything is written, never reported written while the
// region stays empty.
TEST(WriteVpd, SmallMailboxDrivers) {
    const std::string versioned = "device_id = 0xF100 hw_type = 4100 drv_ver = ";
    struct Case {
        const char* what;
        std::string keys;
        size_t size;
        int exitCode;
    } const cases[] = {
        {"limit 108, 108 bytes", versioned + "ST1.00A0", 108, 0},
        {"limit 108, 200 bytes", versioned + "ST1.00A0", 200, 51},
        {"limit 108 (2.00A8), 200 bytes", versioned + "ST2.00A8", 200, 51},
        {"limit 256 (2.00A9), 200 bytes", versioned + "ST2.00A9", 200, 0},
        {"unknown driver, 108 bytes", diag::kMini, 108, 0},
        {"unknown driver, 109 bytes", diag::kMini, 109, 51},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempState state;
        state.init(boot::fleet(c.keys));
        std::string data = bytesOf(c.size, 3);
        RunResult w = boot::hbaset({"writeVPD", "n=1", "c=" + vpdFile(state, data)});
        EXPECT_EQ(w.exit_code, c.exitCode) << w.out;
        RunResult r = boot::hbaset({"readconfig", "n=1", "r=14", "l=" + std::to_string(c.size)});
        if (c.exitCode == 0) {
            EXPECT_TRUE(dumpedBytes(r.out) == data) << r.out.substr(0, 400);
            continue;
        }
        EXPECT_NE(w.out.find("This older driver does not allow to write more than 108 bytes of "
                             "data\n"),
                  std::string::npos)
            << w.out;
        EXPECT_EQ(w.out.find("Finish updating"), std::string::npos) << w.out;
        EXPECT_TRUE(diag::journalWith("UPDATE_CFG type=2 region=14").empty());
    }
}

TEST(WriteVpd, FailedResetAfterTheWriteEndsWith14) {
    TempState state;
    state.init(kFc);
    std::string data = bytesOf(64, 9);
    diag::fault({"drv", "RESET_ADAPTER", "rc=1"});
    RunResult w = boot::hbaset({"writeVPD", "n=1", "c=" + vpdFile(state, data)});
    EXPECT_EQ(w.exit_code, 14) << w.out;
    EXPECT_NE(w.out.find("Finish updating Config Region 14\nReset Adapter 1 failed Status 1\n"),
              std::string::npos)
        << w.out;
    EXPECT_TRUE(dumpedBytes(boot::hbaset({"readconfig", "n=1", "r=14", "l=64"}).out) == data);
}

TEST(SaveVpd, ShortRegionIsZeroFilledToTheFileSize) {
    TempState state;
    state.init(kFc);
    std::string in = state.path("vpd.bin");
    std::string data = bytesOf(40, 7);
    hbatest::write_file(in, data);
    ASSERT_EQ(boot::hbaset({"writeVPD", "n=1", "c=" + in}).exit_code, 0);
    std::string out = state.path("saved.bin");
    RunResult r = boot::hbaset({"saveVPD", "n=1", "i=" + out});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_TRUE(hbatest::read_file(out) == data + std::string(1000 - 40, '\0'));
}

TEST(ReadConfig, BoundsAndByteOrder) {
    TempState state;
    state.init(boot::fleet(std::string(diag::kMini) + " region_8 = 42494F5301020304"));
    struct Case {
        const char* length;
        int exitCode;
        const char* expected;
    } const cases[] = {
        {"l=3001", 55, "Byte Length too large\n"},
        {"l=99999999999999999999", 55, "Byte Length too large\n"},
        {"l=8", 0, "00000000: 42494f53 01020304 |BIOS....|"},
    };
    for (const Case& c : cases) {
        RunResult r = boot::hbaset({"readconfig", "n=1", "r=8", c.length});
        EXPECT_EQ(r.exit_code, c.exitCode) << c.length << "\n" << r.out;
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << r.out;
    }
    // Other regions show 4-byte groups as words.
    RunResult r = boot::hbaset({"readconfig", "n=1", "r=4", "l=4"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("00000000: "), std::string::npos) << r.out;
}

struct NvCase {
    uint32_t size;
    std::vector<std::string> expected;
    size_t pieces;
};

TEST(ReadNvLog, PiecesForEachSize) {
    const NvCase cases[] = {
        {0, {"NV Event Log Size 0\nNon-Volatile Event Log on Adapter 1:\n"}, 0},
        {120, {"120 bytes at offset 0:\n"}, 1},
        {121, {"120 bytes at offset 0:\n", "1 bytes at offset 120:\n00000078   00000000   "}, 2},
        {250,
         {"120 bytes at offset 120:\n", "10 bytes at offset 240:\n"
                                        "f3f2f1f0   f7f6f5f4   0000f9f8   00000000   00000000\n"},
         3},
        {5000,
         {"NV Event Log Size 5000\nOnly the first 4096 bytes of the event log can be read\n",
          "16 bytes at offset 4080:\n"},
         35},
    };
    for (const NvCase& c : cases) {
        TempState state;
        state.init(
            boot::fleet(std::string(diag::kMini) + " event_log_size = " + std::to_string(c.size)));
        RunResult r = boot::hbaset({"readNVlog", "n=1"});
        EXPECT_EQ(r.exit_code, 0) << c.size << "\n" << r.out;
        for (const std::string& e : c.expected)
            EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n---\n" << r.out;
        EXPECT_EQ(diag::count(r.out, " bytes at offset "), c.pieces) << c.size;
        long restart = diag::journalFind("RESTART");
        EXPECT_GE(restart, 0);
        EXPECT_GE(diag::journalFind("RESET_ADAPTER", restart), 0) << c.size;
    }
}

TEST(ReadNvLog, FailedPieceStillResetsTheAdapter) {
    TempState state;
    state.init(boot::fleet(std::string(diag::kMini) + " event_log_size = 250"));
    // The second piece fails, and so does the mailbox layer's retry of it.
    diag::fault({"mbx", "NV_LOG_READ", "status=1", "--nth", "2"});
    diag::fault({"mbx", "NV_LOG_READ", "status=1", "--nth", "3"});
    RunResult r = boot::hbaset({"readNVlog", "n=1"});
    EXPECT_EQ(r.exit_code, 54) << r.out;
    EXPECT_NE(r.out.find("120 bytes at offset 0:\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Cannot READ Event Log\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("at offset 120"), std::string::npos) << r.out;
    long failed = diag::journalFind("NV_LOG_READ off=120");
    ASSERT_GE(failed, 0);
    EXPECT_GE(diag::journalFind("RESET_ADAPTER", failed), 0);
    EXPECT_LT(diag::journalFind("NV_LOG_READ off=240"), 0);
}

} // namespace
