// fwsweep's switch reading and option rules: names, values, errors and the
// combinations that are refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fwsweep/output.h"
#include "fwsweep/switches.h"

namespace {

struct Parsed {
    int readRc = -1;
    int rulesRc = -1;
    RunOptions opt;
    std::string out;
};

Parsed parse(const std::vector<std::string>& args) {
    std::vector<const char*> argv = {"fwsweep"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    Parsed p;
    testing::internal::CaptureStdout();
    p.readRc = readSwitches(static_cast<int>(argv.size()), argv.data(), &p.opt);
    if (p.readRc == 0) p.rulesRc = checkOptionRules(&p.opt);
    outCloseAll();
    p.out = testing::internal::GetCapturedStdout();
    return p;
}

TEST(Switches, ReadResultAndRules) {
    const std::string longDir(221, 'd');
    const struct {
        std::vector<std::string> args;
        int readRc;
        int rulesRc; // -1: rules not reached
        const char* message; // a part of the output; "": no output
    } cases[] = {
        {{"/Update"}, 0, 0, ""},
        {{"/UP"}, 0, 0, ""},
        {{"/updates"}, 4, -1, "Error - Unknown switch = /updates - Return Code=4"},
        {{"update"}, 4, -1, "Error - Unknown switch = update - Return Code=4"},
        {{"/"}, 4, -1, "Error - Image version command error - Return Code=4"},
        {{"/iv"},
         4,
         -1,
         "Invalid use of the image version switch. This switch requires an argument"},
        {{"/iv="}, 4, -1, "Invalid use of the image version switch"},
        {{"/ivx=a.ufi"}, 4, -1, "Unknown switch = /ivx=a.ufi"},
        {{"/id=" + longDir}, 4, -1, "Error - image directory command error - Return Code=4"},
        {{"/fmd"}, 4, -1, "Invalid use of the fwmatrix.txt directory switch"},
        {{"/fmd=" + longDir}, 4, -1, "Error - fwmatrix.txt directory command error"},
        {{"/id=" + std::string(220, 'd'), "/q"}, 0, 0, ""},
        {{"/ramdrive="}, 4, -1, "Unknown switch = /ramdrive="},
        {{"/ramdrive=D:x"}, 4, -1, "Unknown switch = /ramdrive=D:x"},
        {{"/ramdrive=D:", "/q"}, 0, 0, ""},
        {{"/log=/nonexistent-dir/x.log"},
         4,
         -1,
         "Error - unable to open logfile /nonexistent-dir/x.log - Return Code=4"},
        {{"/rewrite", "/update"},
         0,
         2,
         "\nInvalid options: /rewrite cannot be used with /update or /downgrade\nfwsweep.exe: "
         "Error - invalid switch options - Return Code=2"},
        {{"/g", "/u"}, 0, 2, "Invalid options: /downgrade cannot be used with /update or /rewrite"},
        {{"/f", "/update"}, 0, 0, ""},
        {{"/ff", "/e"}, 0, 0, ""},
        {{"/auto", "/q"}, 0, 2, "Invalid options: /auto requires an additional operational switch"},
        {{"/vpd", "/p"}, 0, 2, "Invalid options: /vpd requires an additioanl operational switch"},
        {{"/vpd", "/q"}, 0, 0, ""},
        {{"/vpd", "/xml"}, 0, 0, ""},
        {{"/xml"}, 0, 0, ""},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += a.substr(0, 20) + " ";
        SCOPED_TRACE(shown);
        Parsed p = parse(c.args);
        EXPECT_EQ(p.readRc, c.readRc) << p.out;
        EXPECT_EQ(p.rulesRc, c.rulesRc) << p.out;
        // An accepted command line prints nothing at all.
        if (*c.message == '\0') {
            EXPECT_EQ(p.out, "");
        } else {
            EXPECT_NE(p.out.find(c.message), std::string::npos) << p.out;
        }
    }
}

TEST(Switches, OptionsSetByEachForm) {
    Parsed p = parse({"/a", "/down", "/P", "/S", "/V", "/XML", "/vpd", "/iv=x.ufi", "/id=img",
                      "/fmd=mat", "/ramdrive=e"});
    EXPECT_EQ(p.readRc, 0);
    EXPECT_TRUE(p.opt.autoMode && p.opt.downgrade && p.opt.preview && p.opt.silent &&
                p.opt.verbose && p.opt.xml && p.opt.vpd && p.opt.imageVersion && p.opt.ramDrive);
    EXPECT_STREQ(p.opt.imageVersionFile, "x.ufi");
    EXPECT_STREQ(p.opt.imageDir, "img");
    EXPECT_STREQ(p.opt.matrixDir, "mat");
    EXPECT_EQ(p.opt.ramDriveLetter, 'e');

    // /f forces firmware and boot code and clears the compare operations;
    // /ff forces firmware only.
    Parsed f = parse({"/f", "/update"});
    EXPECT_TRUE(f.opt.forceFw && f.opt.forceBios);
    EXPECT_FALSE(f.opt.update);
    Parsed ff = parse({"/ff"});
    EXPECT_TRUE(ff.opt.forceFw);
    EXPECT_FALSE(ff.opt.forceBios);

    // No argument at all is a help request, not an error.
    Parsed none = parse({});
    EXPECT_EQ(none.readRc, 0);
    EXPECT_TRUE(none.opt.help);
}

TEST(Switches, QueryOnlyRun) {
    const struct {
        std::vector<std::string> args;
        bool queryOnly;
    } cases[] = {
        {{"/q"}, true},        {{"/q", "/xml"}, true}, {{"/q", "/update"}, false},
        {{"/q", "/?"}, false}, {{"/xml"}, false},
    };
    for (const auto& c : cases) {
        Parsed p = parse(c.args);
        EXPECT_EQ(isQueryOnly(p.opt), c.queryOnly) << c.args[0] << " " << c.args.size();
    }
}

} // namespace
