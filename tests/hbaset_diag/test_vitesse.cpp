// loadimage and readvitesse against the simulated CIOV PHY: the mailbox words
// of a load, a failed checksum, the reads and the refusals before any request.
#include <string>
#include <vector>

#include "tests/hbaset_diag/diag_fixture.h"

using hbatest::RunResult;
using hbatest::TempState;

namespace {

// CIOV boards: the classic path (32-word mailbox) and SLI-4 (64 words).
const std::string kCiovClassic = std::string(boot::kClassic) + " subsys_id = 0xF124";
const std::string kCiovSli4 = std::string(boot::kSli4) + " subsys_id = 0xF124";

// One image file record with its checksum, ending in CR LF.
std::string record(uint32_t address, uint8_t type, const std::vector<uint8_t>& data,
                   int checksumSkew = 0) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()),
                                  static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes)
        sum = static_cast<uint8_t>(sum + b);
    bytes.push_back(static_cast<uint8_t>(-sum + checksumSkew));
    return ":" + boot::hex(bytes) + "\r\n";
}

std::vector<uint8_t> dataBytes(uint8_t first) {
    std::vector<uint8_t> d(32);
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<uint8_t>(first + i);
    return d;
}

// Two full records (77 characters each) and the end record.
std::string threeLineImage(int checksumSkew = 0) {
    return record(0, 0, dataBytes(0x31)) + record(32, 0, dataBytes(0x60), checksumSkew) +
           record(0, 1, {});
}

TEST(LoadImage, ThreeLineFileMailboxWordsAndTheNewVersion) {
    TempState state;
    state.init(boot::fleet(kCiovClassic));
    std::string file = state.path("phy.hex");
    std::string image = threeLineImage();
    ASSERT_EQ(image.size(), 77u + 77u + 13u);
    hbatest::write_file(file, image);
    RunResult r = boot::hbaset({"loadimage", "n=1", "i=" + file, "t=1"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("\nSuccessful download of Vitesse FW image  \nBootloader Version = 104  "
                         "\nChecksum Errors = 0"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nApplication Version just downloaded = 31.32.33.34"), std::string::npos)
        << r.out;
    // Each line: offset, length, flags (last on the third), parity; the text
    // ":20 0..." as the byte-reversed word 0x3A323030, the end record ":000".
    std::vector<std::string> loads = diag::journalWith("vitesse load");
    ASSERT_EQ(loads.size(), 3u);
    EXPECT_NE(loads[0].find("off=0 len=77 w1=00008C2A w4=32 w7=0 text0=3A323030"),
              std::string::npos)
        << loads[0];
    EXPECT_NE(loads[1].find("off=77 len=77 w1=00008C2A w4=32 w7=1 text0=3A323030"),
              std::string::npos)
        << loads[1];
    EXPECT_NE(loads[2].find("off=154 len=13 w1=00008C2B w4=32 w7=0 text0=3A303030"),
              std::string::npos)
        << loads[2];
    long reset = diag::journalFind("vitesse load off=154");
    EXPECT_GE(diag::journalFind("vitesse read addr=0 len=2", reset), 0);

    // A new process reads the image back: address 0 holds the version bytes,
    // the second record starts at 32.
    RunResult read = boot::hbaset({"readvitesse", "n=1", "o=28", "c=8"});
    EXPECT_EQ(read.exit_code, 0) << read.out;
    EXPECT_NE(read.out.find("\nSuccessful Vitesse Read\n"), std::string::npos) << read.out;
    EXPECT_NE(read.out.find("00000000: 4d4e4f50 60616263 |MNOP`abc|"), std::string::npos)
        << read.out;
}

TEST(LoadImage, ChecksumErrorFailsAndKeepsTheImage) {
    TempState state;
    state.init(boot::fleet(kCiovClassic));
    std::string file = state.path("phy.hex");
    hbatest::write_file(file, threeLineImage(1));
    RunResult r = boot::hbaset({"loadimage", "n=1", "i=" + file, "t=1"});
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.out.find("Checksum Errors = 1"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Successful download"), std::string::npos) << r.out;
    RunResult read = boot::hbaset({"readvitesse", "n=1", "o=0", "c=4"});
    EXPECT_EQ(read.exit_code, 0) << read.out;
    EXPECT_NE(read.out.find("00000000: 02010007 "), std::string::npos) << read.out;
}

TEST(LoadImage, PromptTypeWaitsForEnterBeforeAndAfter) {
    TempState state;
    state.init(boot::fleet(kCiovSli4));
    std::string file = state.path("phy.hex");
    hbatest::write_file(file, threeLineImage());
    RunResult r = boot::hbasetWithInput("\\n\\n", {"loadimage", "n=1", "i=" + file, "t=225"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(diag::count(r.out, "\nHit RETURN or ENTER key to continue\n"), 2u) << r.out;
}

struct Refusal {
    const char* name;
    std::string keys;              // function keys of the fleet
    std::vector<std::string> args; // "FILE" stands for the image file
    std::string image;
    int exitCode;
    const char* text;
};

// Every refusal comes before the first Vitesse request.
TEST(Vitesse, RefusalsSendNothing) {
    // A 119-character line needs 124 text bytes: more than the 96 a classic
    // mailbox has after byte 32, less than the 224 of an SLI-4 one.
    std::string longLine = ":" + std::string(116, '0') + "\r\n";
    std::string tooLong = record(0, 0, dataBytes(1)) + longLine + record(0, 1, {});
    const Refusal cases[] = {
        {"adapter number, load",
         kCiovClassic,
         {"loadimage", "n=9", "i=FILE", "t=1"},
         threeLineImage(),
         1,
         "Invalid Adapter Number: 9\n"},
        {"adapter number, read",
         kCiovClassic,
         {"readvitesse", "n=9", "o=0", "c=4"},
         "",
         1,
         "Invalid Adapter Number: 9\n"},
        {"not a CIOV board, load",
         boot::kClassic,
         {"loadimage", "n=1", "i=FILE", "t=1"},
         threeLineImage(),
         67,
         "ERROR: Not an IBM CIOV board\n"},
        {"not a CIOV board, read",
         boot::kClassic,
         {"readvitesse", "n=1", "o=0", "c=4"},
         "",
         67,
         "ERROR: Not an IBM CIOV board\n"},
        {"missing file",
         kCiovClassic,
         {"loadimage", "n=1", "i=/nonexistent/phy.hex", "t=1"},
         "",
         4,
         "ERROR: Can't open specified file\n"},
        {"line longer than the mailbox",
         kCiovClassic,
         {"loadimage", "n=1", "i=FILE", "t=1"},
         tooLong,
         55,
         "ERROR: Vitesse image line too long\n"},
        {"count past the classic mailbox",
         kCiovClassic,
         {"readvitesse", "n=1", "o=0", "c=109"},
         "",
         55,
         "Count too large: at most 108 bytes\n"},
        {"count 225 on a classic mailbox, before the wait",
         kCiovClassic,
         {"readvitesse", "n=1", "o=0", "c=225"},
         "",
         55,
         "Count too large: at most 108 bytes\n"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        TempState state;
        state.init(boot::fleet(c.keys));
        std::string file = state.path("phy.hex");
        hbatest::write_file(file, c.image);
        std::vector<std::string> args = c.args;
        for (std::string& a : args)
            if (a == "i=FILE") a = "i=" + file;
        RunResult r = boot::hbaset(args);
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_NE(r.out.find(c.text), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Hit RETURN"), std::string::npos) << r.out;
        EXPECT_TRUE(diag::journalWith("vitesse").empty());
    }
}

TEST(ReadVitesse, LargestCountsAndTheEnterWait) {
    TempState state;
    state.init(boot::fleet(kCiovClassic));
    RunResult r = boot::hbaset({"readvitesse", "n=1", "o=0", "c=108"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_NE(r.out.find("00000068: 00000000 |....|"), std::string::npos) << r.out;

    // c=225 fits an SLI-4 mailbox and waits for Enter.
    TempState sli4;
    sli4.init(boot::fleet(kCiovSli4));
    r = boot::hbasetWithInput("\\n", {"readvitesse", "n=1", "o=0", "c=225"});
    EXPECT_EQ(r.exit_code, 0) << r.out;
    size_t wait = r.out.find("\nHit RETURN or ENTER key to continue\n");
    size_t done = r.out.find("\nSuccessful Vitesse Read\n");
    EXPECT_NE(wait, std::string::npos) << r.out;
    EXPECT_LT(wait, done) << r.out;
    EXPECT_NE(r.out.find("000000E0: 00 |.|"), std::string::npos) << r.out;
    EXPECT_EQ(diag::journalWith("vitesse read addr=0 len=225").size(), 1u);
}

// Input that ends before Enter is no Enter: the command stops with 27 at that
// wait, before the read, before the first line, or before the reset that
// follows the load.
TEST(Vitesse, InputEndingBeforeEnterStops) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const char* input;
        size_t loadLines; // lines sent before the stop
    } const cases[] = {
        {"read", {"readvitesse", "n=1", "o=0", "c=225"}, "", 0},
        {"load, first wait", {"loadimage", "n=1", "i=FILE", "t=225"}, "", 0},
        {"load, second wait", {"loadimage", "n=1", "i=FILE", "t=225"}, "\\n", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempState state;
        state.init(boot::fleet(kCiovSli4));
        std::string file = state.path("phy.hex");
        hbatest::write_file(file, threeLineImage());
        std::vector<std::string> args = c.args;
        for (std::string& a : args)
            if (a == "i=FILE") a = "i=" + file;
        RunResult r = boot::hbasetWithInput(c.input, args);
        EXPECT_EQ(r.exit_code, 27) << r.out;
        EXPECT_NE(r.out.find("Input ended before RETURN or ENTER\n"), std::string::npos) << r.out;
        EXPECT_EQ(diag::journalWith("vitesse load").size(), c.loadLines);
        EXPECT_TRUE(diag::journalWith("vitesse read").empty());
        EXPECT_TRUE(diag::journalWith("RESET_ADAPTER").empty());
    }
}

TEST(ReadVitesse, FailedReadReportsTheStatus) {
    TempState state;
    state.init(boot::fleet(kCiovClassic));
    diag::fault({"mbx", "DOWN_LOAD", "status=5"});
    RunResult r = boot::hbaset({"readvitesse", "n=1", "o=0", "c=4"});
    EXPECT_EQ(r.exit_code, 2) << r.out;
    EXPECT_NE(r.out.find("Read Vitesse mailbox ERROR, status 5"), std::string::npos) << r.out;
}

} // namespace
