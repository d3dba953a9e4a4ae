// UFI verification against the target adapter over CV2, CV3, CV3-R, P2 and
// Tarnel: generation, size, vendor/device and flash directory, ASIC revision.
#include <unistd.h>

#include "hbaset/cna/cna_download.h"
#include "hbaset/fcmaint/rm_status.h"
#include "tests/cna_download/cna_fixture.h"

namespace {

using cnatest::makeUfi;

constexpr uint32_t kVendor = 0x1F3C;

// A verification request over the image as the download holds it: the file's
// bytes read once into memory.
struct Request {
    std::vector<uint8_t> bytes;
    CnaDownloadRequest req;
    Request(const std::string& path, uint32_t device, int revision) : req{} {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (f != nullptr) {
            int ch;
            while ((ch = std::fgetc(f)) != EOF)
                bytes.push_back(static_cast<uint8_t>(ch));
            std::fclose(f);
        }
        req.controllerTag = 7;
        req.path = path.c_str();
        req.image = UfiImage{bytes.data(), bytes.size()};
        req.deviceId = device;
        req.vendorId = kVendor;
        req.revisionId = revision;
    }
};

struct VerifyCase {
    const char* what;
    uint32_t device; // adapter's device ID
    int revision;    // adapter's revision ID
    std::vector<std::string> image;
    uint32_t status;
};

TEST(UfiVerify, Matrix) {
    hbatest::TempState state;
    const VerifyCase cases[] = {
        // CV2 (0x0700): vendor, device, flash directory.
        {"cv2 same device", 0x0700, 0, {"--gen", "2"}, RM_STATUS_OK},
        {"cv2 build 1", 0x0700, 0, {"--gen", "2", "--build", "1 2.101.5.7"}, RM_STATUS_OK},
        {"cv2 given cv3 image", 0x0700, 0, {"--gen", "3"}, RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 bad generation char",
         0x0700,
         0,
         {"--gen", "2", "--build", "X 1.2.3.4"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 empty build", 0x0700, 0, {"--gen", "2", "--build", ""}, RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 +1 byte",
         0x0700,
         0,
         {"--gen", "2", "--variant", "long"},
         RM_STATUS_ERROR_LONG_FWIMAGE},
        {"cv2 -1 byte",
         0x0700,
         0,
         {"--gen", "2", "--variant", "short"},
         RM_STATUS_ERROR_SHORT_FWIMAGE},
        {"cv2 under 96 bytes",
         0x0700,
         0,
         {"--gen", "2", "--variant", "tiny"},
         RM_STATUS_ERROR_SHORT_FWIMAGE},
        {"cv2 other vendor",
         0x0700,
         0,
         {"--gen", "2", "--vendor", "0x1234"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 wrong generation before size",
         0x0700,
         0,
         {"--gen", "3", "--variant", "long"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 other device, no directory",
         0x0702,
         0,
         {"--gen", "2", "--device", "0x0999"},
         RM_STATUS_UNKNOWN_FLASH_LAYOUT},
        {"cv2 other device, directory lists cv2",
         0x0702,
         0,
         {"--gen", "2", "--device", "0x0999", "--dir-devices", "0x0999,0x0704"},
         RM_STATUS_OK},
        {"cv2 other device, directory lists none",
         0x0702,
         0,
         {"--gen", "2", "--device", "0x0999", "--dir-devices", "0x0999,0x0710"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv2 directory at offset 100",
         0x0702,
         0,
         {"--gen", "2", "--device", "0x0999", "--dir-devices", "0x0700", "--variant",
          "dir-misaligned"},
         RM_STATUS_UNKNOWN_FLASH_LAYOUT},
        {"cv2 directory cut by end of file",
         0x0702,
         0,
         {"--gen", "2", "--device", "0x0999", "--dir-devices", "0x0700", "--variant", "dir-cut"},
         RM_STATUS_ERROR},
        // CV3 (0x0710): plain below 16 takes any gen-3 image.
        {"cv3 asic 0", 0x0710, 2, {"--asic", "0"}, RM_STATUS_OK},
        {"cv3 asic 16", 0x0710, 2, {"--asic", "16"}, RM_STATUS_OK},
        {"cv3 given tarnel image", 0x0710, 2, {"--gen", "4"}, RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv3 given cv2 image", 0x0710, 2, {"--gen", "2"}, RM_STATUS_ERROR_INCOMP_IMAGE},
        {"cv3 +1 byte", 0x0710, 2, {"--variant", "long"}, RM_STATUS_ERROR_LONG_FWIMAGE},
        {"cv3 -1 byte", 0x0710, 16, {"--variant", "short"}, RM_STATUS_ERROR_SHORT_FWIMAGE},
        // CV3-R (16) takes 16 or 17; P2 (17 and up) only 17.
        {"cv3-r asic 16", 0x0714, 16, {"--asic", "16"}, RM_STATUS_OK},
        {"cv3-r asic 17", 0x0714, 16, {"--asic", "17"}, RM_STATUS_OK},
        {"cv3-r asic 0", 0x0714, 16, {"--asic", "0"}, RM_STATUS_ERROR_INCOMP_IMAGE},
        {"p2 asic 17", 0x0710, 17, {"--asic", "17"}, RM_STATUS_OK},
        {"p2 rev 20 asic 17", 0x0710, 20, {"--asic", "17"}, RM_STATUS_OK},
        {"p2 asic 16", 0x0710, 17, {"--asic", "16"}, RM_STATUS_ERROR_INCOMP_IMAGE},
        // Tarnel (0x0720): ASIC support at least the revision.
        {"tarnel asic = revision", 0x0720, 16, {"--gen", "4", "--asic", "16"}, RM_STATUS_OK},
        {"tarnel asic above", 0x0722, 16, {"--gen", "4", "--asic", "32"}, RM_STATUS_OK},
        {"tarnel asic below",
         0x0724,
         16,
         {"--gen", "4", "--asic", "15"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"tarnel given cv3 image, long",
         0x0720,
         16,
         {"--gen", "3", "--variant", "long"},
         RM_STATUS_ERROR_INCOMP_IMAGE},
        {"tarnel -1 byte",
         0x0720,
         16,
         {"--gen", "4", "--variant", "short"},
         RM_STATUS_ERROR_SHORT_FWIMAGE},
    };
    int n = 0;
    for (const VerifyCase& c : cases) {
        std::string path = makeUfi(state, "v" + std::to_string(n++) + ".ufi", c.image);
        Request r(path, c.device, c.revision);
        EXPECT_EQ(VerifyCNAImage(&r.req), c.status) << c.what;
    }
}

TEST(UfiVerify, UnreadableInputs) {
    hbatest::TempState state;
    // An empty image (the file that could not be read is refused before this).
    std::string missing = state.path("absent.ufi");
    for (uint32_t device : {0x0700u, 0x0710u, 0x0720u}) {
        Request r(missing, device, 16);
        EXPECT_EQ(VerifyCNAImage(&r.req), RM_STATUS_ERROR_SHORT_FWIMAGE) << device;
    }
    // Without a revision a CV3-R or P2 would pass as a plain CV3.
    std::string p = makeUfi(state, "r.ufi", {"--asic", "0"});
    for (uint32_t device : {0x0710u, 0x0720u}) {
        Request r(p, device, -1);
        EXPECT_EQ(VerifyCNAImage(&r.req), RM_STATUS_BAD_ARGUMENT) << device;
    }
    EXPECT_EQ(VerifyCNAImage(nullptr), RM_STATUS_BAD_ARGUMENT);
}

TEST(UfiVerify, SparseFileOverFourGiBIsTooLong) {
    hbatest::TempState state;
    std::string p = makeUfi(state, "big.ufi", {"--gen", "4", "--size", "4096"});
    UfiHeader h;
    ASSERT_EQ(GetUFIHeader(p.c_str(), &h), 0u);
    // 4 GiB more than the header's file length: equal in the low 32 bits. (The
    // download does not read a file that size at all; fwsweep's reader sizes it.)
    ASSERT_EQ(truncate(p.c_str(), (1LL << 32) + h.fileLength), 0);
    EXPECT_EQ(VerifyUFIFileSize(p.c_str()), RM_STATUS_ERROR_LONG_FWIMAGE);
}

} // namespace
