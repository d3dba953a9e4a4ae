// UFI image library: header decoding, the build-string decoder, the flash
// directory search and the file-size check, against files written here.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/tracelog/tracelog.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/ufi/ufi_image.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

void putText(std::vector<uint8_t>& b, size_t off, const char* text) {
    memcpy(b.data() + off, text, strlen(text));
}

class UfiFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/ufi_test_XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir_ = tmpl;
    }
    void TearDown() override {
        for (const std::string& f : files_)
            unlink(f.c_str());
        rmdir(dir_.c_str());
    }
    std::string write(const std::vector<uint8_t>& bytes) {
        std::string path = dir_ + "/f" + std::to_string(files_.size()) + ".ufi";
        FILE* f = fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        files_.push_back(path);
        return path;
    }
    // A file whose header says it is `length` bytes long, `size` bytes big.
    std::string sized(uint32_t length, size_t size, const char* build = "3 10.2.1.4") {
        std::vector<uint8_t> b(size);
        putText(b, UFI_OFF_BUILD_STRING, build);
        put32(b, UFI_OFF_FILE_LENGTH, length);
        return write(b);
    }
    std::string dir_;
    std::vector<std::string> files_;
};

// A directory at `at` with `dirDevice` as its third device id.
std::vector<uint8_t> imageWithDirectory(size_t fileSize, size_t at, uint32_t dirDevice) {
    std::vector<uint8_t> b(fileSize);
    memcpy(b.data() + at, UFI_FLASH_DIR_COOKIE, UFI_FLASH_DIR_COOKIE_SIZE);
    put32(b, at + 44, 0x1234);                 // buildNumber
    put32(b, at + 48 + 16 * 2 + 4, dirDevice); // deviceId3
    return b;
}

} // namespace

TEST(UfiDecode, BuildStringTable) {
    struct Case {
        const char* raw;
        uint32_t status;
        int generation;
        const char* version;
    } cases[] = {
        {"2 4.2.433.3", RM_STATUS_OK, 2, "4.2.433.3"},
        {"2.102.1.2", RM_STATUS_OK, 2, "2.102.1.2"},
        {"1 2.101.5.7", RM_STATUS_OK, 2, "2.101.5.7"},
        {"3 10.6.144.2", RM_STATUS_OK, 3, "10.6.144.2"},
        {"4 11.1.38.0", RM_STATUS_OK, 4, "11.1.38.0"},
        {"3", RM_STATUS_OK, 3, "3"},
        {"5 1.0.0.0", RM_STATUS_ERROR, 0, ""},
        {"A.2.3.4", RM_STATUS_ERROR, 0, ""},
        {" 3 1.2", RM_STATUS_ERROR, 0, ""},
        {"", RM_STATUS_BAD_ARGUMENT, 0, ""},
        {nullptr, RM_STATUS_BAD_ARGUMENT, 0, ""},
        // Only 23 characters of the 24-byte field count.
        {"2 1234567890123456789012345", RM_STATUS_OK, 2, "123456789012345678901"},
    };
    for (const Case& c : cases) {
        int gen = -1;
        char version[64] = "junk";
        EXPECT_EQ(DecodeRawBuildString(c.raw, &gen, version, sizeof(version)), c.status)
            << (c.raw ? c.raw : "(null)");
        EXPECT_EQ(gen, c.generation) << (c.raw ? c.raw : "(null)");
        EXPECT_STREQ(version, c.version) << (c.raw ? c.raw : "(null)");
    }
    char small[4];
    int gen = 0;
    EXPECT_EQ(DecodeRawBuildString("2 4.2.433.3", &gen, small, sizeof(small)), RM_STATUS_OK);
    EXPECT_STREQ(small, "4.2");
}

TEST(UfiDecode, GoldenHeaders) {
    // Generation 2: every field at its offset, little-endian.
    std::vector<uint8_t> g2(UFI_HEADER_SIZE, 0);
    putText(g2, 0, "QUORAL CV2 FIRMWARE IMAGE 000001"); // fills all 32 bytes, no NUL
    const uint32_t words[] = {0x11223344, 0x55667788, 0x19A2, 0x0710, 0x103C,
                              0x3315,     0x00A00060, 7,      4096,   3};
    for (size_t i = 0; i < std::size(words); ++i)
        put32(g2, 32 + 4 * i, words[i]);
    putText(g2, 72, "2 4.2.433.3");
    UfiHeader h;
    decodeUfiHeader(g2.data(), &h);
    EXPECT_STREQ(h.signature, "QUORAL CV2 FIRMWARE IMAGE 000001");
    EXPECT_EQ(h.checksum, 0x11223344u);
    EXPECT_EQ(h.antidote, 0x55667788u);
    EXPECT_EQ(h.vendorId, 0x19A2u);
    EXPECT_EQ(h.deviceId, 0x0710u);
    EXPECT_EQ(h.subVendorId, 0x103Cu);
    EXPECT_EQ(h.subDeviceId, 0x3315u);
    EXPECT_EQ(h.fileLength, 0x00A00060u);
    EXPECT_EQ(h.chunkNumber, 7u);
    EXPECT_EQ(h.chunkSize, 4096u);
    EXPECT_EQ(h.numImages, 3u);
    EXPECT_STREQ(h.buildVersionString, "2 4.2.433.3");

    // Generation 3: text version field, asic byte at 96; a build string filling
    // its 24 bytes stops at the field's end.
    std::vector<uint8_t> g3(UFI_HEADER_CV3_SIZE, 0xEE);
    memset(g3.data(), 0, 56);
    putText(g3, 0, "CV3 IMAGE");
    putText(g3, 52, "0300");
    put32(g3, 56, 0x01000080);
    put32(g3, 60, 0xCAFEF00D);
    put32(g3, 64, 0x0BADBEEF);
    put32(g3, 68, 5);
    putText(g3, 72, "3 10.6.144.2-LONG-TEXT-X");
    g3[96] = 17;
    UfiHeaderCV3 c;
    decodeUfiHeaderCV3(g3.data(), &c);
    EXPECT_STREQ(c.signature, "CV3 IMAGE");
    EXPECT_STREQ(c.ufiVersion, "0300");
    EXPECT_EQ(c.fileLength, 0x01000080u);
    EXPECT_EQ(c.checksum, 0xCAFEF00Du);
    EXPECT_EQ(c.antidote, 0x0BADBEEFu);
    EXPECT_EQ(c.numImages, 5u);
    EXPECT_STREQ(c.buildVersionString, "3 10.6.144.2-LONG-TEXT-X");
    EXPECT_EQ(c.asicTypeRevision, 17);
}

TEST_F(UfiFiles, HeaderReadsAndBuildString) {
    std::string good = sized(200, 200, "4 11.1.38.0");
    UfiHeaderCV3 c;
    EXPECT_EQ(GetUFIHeaderCV3(good.c_str(), &c), RM_STATUS_OK);
    EXPECT_EQ(c.fileLength, 200u);
    char build[UFI_BUILD_STRING_SIZE];
    EXPECT_EQ(GetRawUFIBuildString(good.c_str(), build), RM_STATUS_OK);
    EXPECT_STREQ(build, "4 11.1.38.0");

    // 100 bytes: enough for the 96-byte header, short for the 128-byte one.
    std::string mid = sized(100, 100);
    UfiHeader h;
    EXPECT_EQ(GetUFIHeader(mid.c_str(), &h), RM_STATUS_OK);
    EXPECT_EQ(GetUFIHeaderCV3(mid.c_str(), &c), RM_STATUS_ERROR_SHORT_FWIMAGE);
    std::string missing = dir_ + "/absent.ufi";
    EXPECT_EQ(GetUFIHeader(missing.c_str(), &h), RM_STATUS_ERROR_READING_RESOURCE);
    EXPECT_EQ(GetRawUFIBuildString(missing.c_str(), build), RM_STATUS_ERROR_READING_RESOURCE);
    EXPECT_EQ(GetUFIHeader(nullptr, &h), RM_STATUS_BAD_ARGUMENT);
}

TEST_F(UfiFiles, FileSizeAgainstHeader) {
    struct Case {
        uint32_t length;
        size_t size;
        uint32_t status;
    } cases[] = {
        {4096, 4096, RM_STATUS_OK},
        {4096, 4097, RM_STATUS_ERROR_LONG_FWIMAGE},
        {4096, 4095, RM_STATUS_ERROR_SHORT_FWIMAGE},
        {95, 95, RM_STATUS_ERROR_SHORT_FWIMAGE}, // shorter than the header itself
    };
    for (const Case& c : cases)
        EXPECT_EQ(VerifyUFIFileSize(sized(c.length, c.size).c_str()), c.status) << c.size;
    EXPECT_EQ(VerifyUFIFileSize(write({}).c_str()), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    EXPECT_EQ(VerifyUFIFileSize((dir_ + "/absent.ufi").c_str()), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    EXPECT_EQ(VerifyUFIFileSize(nullptr), RM_STATUS_BAD_ARGUMENT);
}

TEST_F(UfiFiles, FileOverFourGiBIsTooLong) {
    // A sparse file of 4 GiB + 200 bytes whose header says 200: a 32-bit size
    // would wrap to 200 and pass.
    std::string path = sized(200, 200);
    ASSERT_EQ(truncate(path.c_str(), (1LL << 32) + 200), 0);
    EXPECT_EQ(VerifyUFIFileSize(path.c_str()), RM_STATUS_ERROR_LONG_FWIMAGE);
}

TEST_F(UfiFiles, FlashDirectorySearch) {
    UfiFlashDir d;
    // Found at an aligned offset, also past the first read chunk.
    for (size_t at : {size_t{0}, size_t{96 + 32 * 4}, size_t{65536 + 32 * 3}}) {
        std::string p = write(imageWithDirectory(at + UFI_FLASH_DIR_SIZE + 64, at, 0x0710));
        ASSERT_EQ(GetUFIFlashDir(p.c_str(), 0, &d), RM_STATUS_OK) << at;
        EXPECT_EQ(memcmp(d.cookie, UFI_FLASH_DIR_COOKIE, 32), 0);
        EXPECT_EQ(d.buildNumber, 0x1234u);
        EXPECT_EQ(d.ids[2].deviceId, 0x0710u);
    }
    // Not on a 32-byte block: never compared.
    std::string off = write(imageWithDirectory(100 + UFI_FLASH_DIR_SIZE, 100, 0x0710));
    EXPECT_EQ(GetUFIFlashDir(off.c_str(), 0, &d), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    // Only the first half of the cookie: no match.
    std::vector<uint8_t> half = imageWithDirectory(4096, 512, 0x0710);
    half[512 + 20] = 'X';
    EXPECT_EQ(GetUFIFlashDir(write(half).c_str(), 0, &d), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    // A cookie cut by the end of the file is not a whole block.
    std::vector<uint8_t> tail = imageWithDirectory(4096 + UFI_FLASH_DIR_SIZE, 4096, 0x0710);
    tail.resize(4096 + 20);
    EXPECT_EQ(GetUFIFlashDir(write(tail).c_str(), 0, &d), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    // A whole cookie but a directory cut short by the end of the file.
    std::vector<uint8_t> cut = imageWithDirectory(4096 + 32 + 100, 4096, 0x0710);
    EXPECT_EQ(GetUFIFlashDir(write(cut).c_str(), 0, &d), RM_STATUS_ERROR);
    // The search starts at the given offset.
    std::string p = write(imageWithDirectory(512 + UFI_FLASH_DIR_SIZE, 256, 0x0710));
    EXPECT_EQ(GetUFIFlashDir(p.c_str(), 288, &d), RM_STATUS_UNKNOWN_FLASH_LAYOUT);
    uint8_t raw[UFI_FLASH_DIR_SIZE];
    EXPECT_EQ(ReadUFIHeaderCV3(p.c_str(), raw, 256), RM_STATUS_OK);
    EXPECT_EQ(ReadUFIHeaderCV3((dir_ + "/absent").c_str(), raw, 0),
              RM_STATUS_ERROR_READING_RESOURCE);
}

TEST_F(UfiFiles, TraceDumpsOnlyWithTheDownloadGroup) {
    std::vector<uint8_t> b(UFI_HEADER_SIZE);
    putText(b, 0, "SIG");
    put32(b, 44, 0x0710);
    put32(b, UFI_OFF_FILE_LENGTH, UFI_HEADER_SIZE);
    putText(b, UFI_OFF_BUILD_STRING, "3 11.4.300.1");
    std::string path = write(b);
    traceReset();
    ASSERT_EQ(traceSetDirectory(dir_.c_str()), 0);
    std::string log = dir_ + "/" + TRACE_FILE_NAME;
    FILE* f = fopen(log.c_str(), "w");
    ASSERT_NE(f, nullptr);
    fclose(f);
    files_.push_back(log);
    auto logText = [&] {
        std::string s;
        FILE* in = fopen(log.c_str(), "rb");
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, in)) > 0)
            s.append(buf, n);
        fclose(in);
        return s;
    };
    UfiHeader h;
    ASSERT_EQ(GetUFIHeader(path.c_str(), &h), RM_STATUS_OK);
    EXPECT_EQ(logText(), "");
    g_trace.settings.logMode = TRACE_GROUP_FC;
    ASSERT_EQ(GetUFIHeader(path.c_str(), &h), RM_STATUS_OK);
    EXPECT_EQ(logText(), "\nUFI File Header\nsignature          : SIG\nchecksum           : 0x0\n"
                         "antidote           : 0x0\nvendorId           : 0x0\n"
                         "deviceId           : 0x710\nsubVendorId        : 0x0\n"
                         "subDeviceId        : 0x0\nfileLength         : 0x60\n"
                         "chunkNumber        : 0\nchunkSize          : 0\n"
                         "numImages          : 0\nbuidVersionString  : 3 11.4.300.1\n");
    traceReset();
}
