// Downloads onto the secure family: the KEK path from the adapter's key to the
// one the image was signed for, unsigned images, unknown keys, adapters that
// do not support the key requests, and the zeroize request at the end.
#include <gtest/gtest.h>

#include "interfaces/kek_table.h"
#include "tests/download/download_env.h"

namespace {

using dltest::Env;

// Secure family: hardware type 4100, device 0xF180; type 7 id 0x73 suits it.
std::string secureFleet(const std::string& kek) {
    std::string keys = kek.empty() ? "" : " kek_id = \"" + kek + "\"";
    return "adapter S1 fc\n    model = TGF1180\nfunction fc device_id = 0xF180 hw_type = 4100" +
           keys + "\n";
}

sim_image::Image signedPrg(const std::string& kek) {
    sim_image::PrgSpec spec;
    spec.kek = kek;
    return sim_image::build_prg(spec);
}

const char* const kRoot = kKekTable[0].id;
const char* const kKek1 = kKekTable[1].id;
const char* const kKek2 = kKekTable[2].id;

TEST(SecureDownload, KekPathsFromEveryAdapterKeyToEveryTarget) {
    struct Case {
        const char* adapter; // "" = root
        const char* target;
        size_t sets; // SetKEK requests
        int exitCode;
    };
    const Case cases[] = {
        {"", kRoot, 0, 0},          {"", kKek1, 1, 0},
        {"", kKek2, 2, 0},          {kKek1, kKek1, 0, 0},
        {kKek1, kKek2, 1, 0},       {kKek1, kRoot, 0, 7},
        {kKek2, kKek2, 0, 0},       {kKek2, kKek1, 0, 7},
        {"OTHER KEK", kKek2, 0, 7}, {"", "NOT A KNOWN KEK", 0, 7},
    };
    for (const Case& c : cases) {
        Env env(secureFleet(c.adapter));
        hbatest::RunResult r = env.download("n=1", env.file("fw.prg", signedPrg(c.target)));
        const std::string what = std::string(c.adapter) + " -> " + c.target;
        EXPECT_EQ(r.exit_code, c.exitCode) << what << "\n" << r.out;
        EXPECT_EQ(env.count("SECURITY sub=0x0D"), c.sets) << what;
        if (c.exitCode == 0) {
            // Verified after setting, then zeroized after the download.
            EXPECT_EQ(env.count("SECURITY sub=0x0C"), c.sets ? 2u : 1u) << what;
            EXPECT_NE(r.out.find("Zeroize security data. It'll take a few minutes...\n"),
                      std::string::npos);
            EXPECT_EQ(env.count("SECURITY sub=0x05"), 1u) << what;
        } else {
            // Key handling failed (93): reported as 1, before any erase.
            EXPECT_NE(r.out.find("Authentication Error\n"), std::string::npos) << what;
            EXPECT_NE(r.out.find("Download failed on adapter 1 Stat 00000001\n"), std::string::npos)
                << what << "\n"
                << r.out;
            EXPECT_EQ(env.count("DOWN_LOAD"), 0u) << what;
        }
    }
}

TEST(SecureDownload, UnsignedImageIsRefused) {
    Env env(secureFleet(""));
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", signedPrg("")));
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("Download failed on adapter 1 Stat FFEB0000\n"), std::string::npos);
    EXPECT_EQ(env.count("SECURITY"), 0u);
    EXPECT_EQ(env.count("DOWN_LOAD"), 0u);
}

TEST(SecureDownload, KeyRequestsNotSupportedCountAsSuccess) {
    Env env(secureFleet(""));
    hbasim::Fault f;
    f.source = "mbx";
    f.match = "SECURITY";
    f.action = "status=3846";
    ASSERT_EQ(hbasim::fault_add(f), 0);
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", signedPrg(kRoot)));
    EXPECT_EQ(r.exit_code, 0) << r.out;
    EXPECT_EQ(env.count("DOWN_LOAD load last"), 1u);
}

TEST(SecureDownload, AdapterRefusesAnImageForAnotherKey) {
    // The adapter checks the key block itself: 3841 is not retried.
    Env env(secureFleet(""));
    hbasim::Fault f;
    f.source = "mbx";
    f.match = "SECURITY";
    f.action = "status=3846"; // hbaset cannot move the key, the adapter still refuses
    ASSERT_EQ(hbasim::fault_add(f), 0);
    hbatest::RunResult r = env.download("n=1", env.file("fw.prg", signedPrg(kKek2)));
    EXPECT_EQ(r.exit_code, 7) << r.out;
    EXPECT_NE(r.out.find("DOWN_LOAD Mailbox Command Download Error. Status f01\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Stat FFEA0000"), std::string::npos);
    EXPECT_EQ(env.count("DOWN_LOAD erase"), 1u);
}

} // namespace
