// Images that are not what their maker signed: cut short, altered, unsigned,
// or rewritten on disk while the download runs. The simulated adapters and
// NEXA check a signature over the whole image, so a damaged .GRP, UFI or AIF
// image is refused with the signature statuses and nothing is programmed; and
// hbaset sends the bytes it checked, read once, whatever the file becomes.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <string>

#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/nvparms.h"
#include "sim/image/image_builders.h"
#include "tests/download/download_env.h"
#include "tests/support/hbaset_fixture.h"

namespace {

using sim_image::Image;

std::string adapterAttr(int adapter, const char* key) {
    std::string value;
    hbasim::read_adapter(adapter, [&](const hbasim::Adapter& a) { value = a.attrs.get(key); });
    return value;
}

// Damage of an image file: the bytes after the change.
using Damage = std::function<void(Image&)>;
void flipAt(Image& img, size_t at) {
    img[at] ^= 0x10;
}

struct Case {
    const char* what;
    Damage damage;
    int exitCode;
    const char* line; // the first line of the refusal
};

constexpr int kCv3Adapter = 2; // machine index of the default fleet's CV3 (hbaset n=7)

const char kInvalid[] = "Download failed due to invalid firmware digital signature.";
const char kMissing[] = "Download failed due to missing digital signature in firmware file.";

TEST(HostileImages, DamagedGrpIsRefusedByTheAdapterAndNothingIsWritten) {
    const Case cases[] = {
        {"cut at 4 KiB", [](Image& i) { i.resize(4096); }, 90, kInvalid},
        {"body bit", [](Image& i) { flipAt(i, 20000); }, 90, kInvalid},
        {"header version", [](Image& i) { flipAt(i, 12); }, 90, kInvalid},
        {"no signature", [](Image& i) { i[44] = 0; }, 89, kMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dltest::Env env("adapter B1 brevin\nfunction fc\n");
        const std::string before = adapterAttr(0, "fw_flash");
        sim_image::GrpSpec spec;
        spec.version = "12.9.9.9";
        Image img = sim_image::build_grp(spec);
        c.damage(img);
        hbatest::RunResult r = env.download("n=1", env.file("fw.grp", img));
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(adapterAttr(0, "fw_flash"), before);
    }
}

TEST(HostileImages, DamagedUfiIsRefusedByNexaAndTheFlashKeepsItsVersion) {
    const Case cases[] = {
        {"body bit", [](Image& i) { flipAt(i, 1000); }, 90, kInvalid},
        {"build string", [](Image& i) { i[80] ^= 1; }, 90, kInvalid},
        {"cut, length fixed",
         [](Image& i) {
             i.resize(2048);
             i[56] = 0x00;
             i[57] = 0x08;
             i[58] = i[59] = 0;
         },
         89, kMissing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dltest::Env env("");
        const std::string before = adapterAttr(kCv3Adapter, "fw_flash");
        std::string path = env.state().path("fw.ufi");
        ASSERT_EQ(sim_image::image_ufi({"--gen", "3", "--version", "11.9.9.9", "-o", path}), 0);
        std::ifstream in(path, std::ios::binary);
        Image img((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        c.damage(img);
        hbatest::RunResult r = env.download("n=7", env.file("fw.ufi", img));
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(adapterAttr(kCv3Adapter, "fw_flash"), before);
    }
}

uint32_t memoryWord(uint32_t address) {
    hbatest::HbasetMachine m{hbatest::AttachExisting{}};
    uint32_t w = 0, n = 1;
    EXPECT_EQ(DumpMemory(0, &w, address, &n), 0u);
    return w;
}

TEST(HostileImages, DamagedBareAifIsRefusedByTheAdapter) {
    // A bare .aif file carries no checksum: only the adapter's signature check
    // stands between a damaged body and the flash.
    const Case cases[] = {
        {"body bit", [](Image& i) { flipAt(i, 128 + 40); }, 7, "Stat FFEA0000"},
        {"load address", [](Image& i) { flipAt(i, 40); }, 7, "Stat FFEA0000"},
        {"cut, length fixed",
         [](Image& i) {
             i.resize(128 + 1024);
             sim_image::put_be32(i, 20, 1024);
         },
         7, "Stat FFEA0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dltest::Env env(dltest::fcFleet());
        const uint32_t before = memoryWord(AWC_VERSION_ADDRESS);
        sim_image::AifFileSpec f;
        f.bare = true;
        f.images.resize(1);
        f.images[0].idWord = 0x01780909;
        Image img = sim_image::build_aif(f);
        c.damage(img);
        env.file("fw.aif", img);
        hbatest::RunResult r = env.downloadHere("n=1", "fw.aif");
        EXPECT_EQ(r.exit_code, c.exitCode) << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_EQ(memoryWord(AWC_VERSION_ADDRESS), before);
    }
}

TEST(HostileImages, FileRewrittenDuringTheDownloadIsNotWhatIsSent) {
    // The file is overwritten in place with another valid image once the
    // adapter has the first chunks: the download goes on with the bytes it
    // checked, and the adapter installs the image as it was when read.
    dltest::Env env(dltest::fcFleet());
    sim_image::PrgSpec first;
    first.size = 512 * 1024;
    first.text = "7.1.1";
    sim_image::PrgSpec second = first;
    second.text = "7.2.2";
    const std::string path = env.file("fw.prg", sim_image::build_prg(first));
    const Image replacement = sim_image::build_prg(second);
    std::string adapterFile = hbasim::adapter_file(0);
    const std::string staging =
        adapterFile.substr(0, adapterFile.rfind('/')) + "/objects/a0f0-down_load.stg";

    pid_t pid = dltest::spawnHbaset({"download", "n=1", "i=" + path});
    struct stat st;
    int status = 0;
    while (stat(staging.c_str(), &st) != 0 || st.st_size < 4096) {
        ASSERT_NE(waitpid(pid, &status, WNOHANG), pid) << "ended before the rewrite";
        sched_yield();
    }
    {
        std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
        out.write(reinterpret_cast<const char*>(replacement.data()),
                  static_cast<std::streamsize>(replacement.size()));
    }
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(adapterAttr(0, "fw_active"), "7.1.1");
}

} // namespace
