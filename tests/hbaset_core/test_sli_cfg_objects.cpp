// SLI-4 objects through MBX_SLI_CONFIG: size, read and write requests, change
// and signature statuses, firmware versions, and the file operations built on
// them (firmware download, VPD read, .GRP header check and download).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "interfaces/mbox_codes.h"
#include "hbaset/fcmaint/rm_status.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "sim/core/sim_model.h"
#include "tests/hbaset_core/sli4_fleet.h"
#include "tests/support/hbaset_fixture.h"

using hbatest::HbasetMachine;

namespace {

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 3);
    return v;
}

std::string adapterAttr(int adapter, const char* key) {
    std::string v;
    hbasim::read_adapter(adapter, [&](const hbasim::Adapter& a) { v = a.attrs.get(key); });
    return v;
}

TEST(SliCfgSupport, NeedsTheExtendedMailboxFeature) {
    HbasetMachine m(sli4::fleet("feature_list = 0x400"));
    EXPECT_FALSE(IsIssueMboxV2ExtSupported(0));
    EXPECT_TRUE(IsIssueMboxV2ExtSupported(1));
    uint32_t size = 0, written = 0;
    uint8_t data[8] = {};
    EXPECT_EQ(SLI_CFG_GetObjectSize(0, "/prg", &size), RM_STATUS_EXT_NOT_SUPPORTED);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", data, 8, &written, true), RM_STATUS_EXT_NOT_SUPPORTED);
    uint8_t version[64];
    EXPECT_EQ(SLI_CFG_GetFwVersion(0, version), RM_STATUS_EXT_NOT_SUPPORTED);
    EXPECT_TRUE(m.journal().empty());
}

struct WriteCase {
    const char* name;
    uint32_t length;
    const char* keys;
    uint32_t expect;
    std::vector<std::string> requests;
};

class ObjectWrite : public ::testing::TestWithParam<WriteCase> {};

TEST_P(ObjectWrite, SendsPiecesOfAtMost1024Bytes) {
    const WriteCase& c = GetParam();
    HbasetMachine m(sli4::fleet(c.keys));
    std::vector<uint8_t> data = bytes(c.length + 4, 1);
    uint32_t written = 77;
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/user/data.bin", data.data(), c.length, &written, true),
              c.expect);
    EXPECT_EQ(m.journal(), c.requests);
    if (c.expect == 0 && c.length) {
        EXPECT_EQ(written, c.length);
        std::vector<uint8_t> back(c.length + 64);
        uint32_t got = 0;
        ASSERT_EQ(SLI_CFG_ReadObject(0, "/user/data.bin", back.data(),
                                     static_cast<uint32_t>(back.size()), &got),
                  0u);
        EXPECT_EQ(got, c.length);
        EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + got),
                  std::vector<uint8_t>(data.begin(), data.begin() + c.length));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ObjectWrite,
    ::testing::Values(
        WriteCase{"Empty", 0, "", 0, {}},
        WriteCase{
            "OnePiece", 1024, "", 0, {"SLI_CONFIG op=0xAC obj=/user/data.bin off=0 len=1024 last"}},
        WriteCase{"TwoPieces",
                  1028,
                  "",
                  0,
                  {"SLI_CONFIG op=0xAC obj=/user/data.bin off=0 len=1024",
                   "SLI_CONFIG op=0xAC obj=/user/data.bin off=1024 len=4 last"}},
        WriteCase{"NotWholeWords", 1030, "", RM_STATUS_ERROR_INCOMP_IMAGE, {}},
        WriteCase{"AdapterTakesLessPerPiece",
                  1024,
                  "obj_write_accept = 600",
                  0,
                  {"SLI_CONFIG op=0xAC obj=/user/data.bin off=0 len=1024 last",
                   "SLI_CONFIG op=0xAC obj=/user/data.bin off=600 len=424 last"}},
        WriteCase{"AdapterTakesNothing",
                  8,
                  "obj_write_accept = 0",
                  RM_STATUS_ERROR,
                  {"SLI_CONFIG op=0xAC obj=/user/data.bin off=0 len=8 last"}}),
    [](const ::testing::TestParamInfo<WriteCase>& i) { return std::string(i.param.name); });

TEST(ObjectWrite, ArgumentsAreCheckedBeforeAnyRequest) {
    HbasetMachine m(sli4::fleet());
    uint8_t data[8] = {};
    uint32_t written = 0;
    std::string longName = "/" + std::string(103, 'n');
    EXPECT_EQ(SLI_CFG_WriteObject(0, "", data, 8, &written, true), RM_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(SLI_CFG_WriteObject(0, longName.c_str(), data, 8, &written, true),
              RM_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", nullptr, 8, &written, true), RM_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", data, 8, nullptr, true), RM_STATUS_BAD_ARGUMENT);
    EXPECT_TRUE(m.journal().empty());
}

TEST(ObjectWrite, NoCommitLeavesTheObjectAlone) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> data = bytes(64, 5);
    uint32_t written = 0, size = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/user/a", data.data(), 64, &written, false), 0u);
    EXPECT_EQ(m.journal().back(), "SLI_CONFIG op=0xAC obj=/user/a off=0 len=64 last nocommit");
    EXPECT_EQ(SLI_CFG_GetObjectSize(0, "/user/a", &size), RM_STATUS_NO_OBJECT);
}

TEST(ObjectRead, MissingObjectIsReportedByTheSizeQueryAlone) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> buf(1024);
    uint32_t got = 5;
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/nope", buf.data(), 1024, &got), RM_STATUS_NO_OBJECT);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(m.journal(), std::vector<std::string>{"SLI_CONFIG op=0xAB obj=/nope off=0 len=0"});
}

TEST(ObjectRead, BufferMustHoldTheObject) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> data = bytes(2000, 9);
    uint32_t written = 0, got = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/user/b", data.data(), 2000, &written, true), 0u);
    std::vector<uint8_t> buf(4096);
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/user/b", buf.data(), 1996, &got), RM_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(got, 2000u);
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/user/b", buf.data(), 2002, &got), RM_STATUS_BAD_ARGUMENT);
    m.clearJournal();
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/user/b", buf.data(), 4096, &got), 0u);
    EXPECT_EQ(got, 2000u);
    EXPECT_EQ(m.journal(),
              (std::vector<std::string>{"SLI_CONFIG op=0xAB obj=/user/b off=0 len=0",
                                        "SLI_CONFIG op=0xAB obj=/user/b off=0 len=1024",
                                        "SLI_CONFIG op=0xAB obj=/user/b off=1024 len=976"}));
}

struct ReadLimitCase {
    const char* limit;
    uint32_t expect;
    size_t reads; // read requests after the size query
};

class ObjectReadPieces : public ::testing::TestWithParam<ReadLimitCase> {};

TEST_P(ObjectReadPieces, ShortAnswersAdvanceAndEmptyOnesFail) {
    const ReadLimitCase& c = GetParam();
    HbasetMachine m(sli4::fleet(std::string("obj_read_limit = ") + c.limit));
    std::vector<uint8_t> data = bytes(1200, 7);
    uint32_t written = 0, got = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/user/c", data.data(), 1200, &written, true), 0u);
    m.clearJournal();
    std::vector<uint8_t> buf(2048);
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/user/c", buf.data(), 2048, &got), c.expect);
    EXPECT_EQ(hbatest::countLines(m.journal(), "SLI_CONFIG op=0xAB") - 1, c.reads);
    if (c.expect == 0) {
        EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + got), data);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ObjectReadPieces,
                         ::testing::Values(ReadLimitCase{"500", 0, 3},
                                           ReadLimitCase{"0", RM_STATUS_ERROR, 1}),
                         [](const ::testing::TestParamInfo<ReadLimitCase>& i) {
                             return std::string("Limit") + i.param.limit;
                         });

// ---- firmware ----------------------------------------------------------------------------

struct ChangeCase {
    uint32_t changeStatus;
    uint32_t expect;
    uint32_t exitCode; // of the .GRP download
};

class FirmwareChangeStatus : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(FirmwareChangeStatus, MapsWhatTheAdapterNeedsNext) {
    const ChangeCase& c = GetParam();
    HbasetMachine m(sli4::fleet("prg_change_status = " + std::to_string(c.changeStatus)));
    std::vector<uint8_t> image = sli4::brevinImage(3000, "12.8.600.1");
    uint32_t written = 0;
    EXPECT_EQ(SLI_CFG_WriteObject(0, OBJ_FIRMWARE, image.data(), 3000, &written, true), c.expect);
    EXPECT_EQ(written, 3000u);
    EXPECT_EQ(adapterAttr(0, "fw_flash"), "12.8.600.1");
    EXPECT_EQ(adapterAttr(0, "fw_active"), "12.8.542.31");

    std::string path = hbatest::TempState().dir() + ".grp";
    sli4::writeFile(path, image);
    EXPECT_EQ(FFS_DownloadGrpFile(0, path.c_str()), c.exitCode);
    unlink(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(Cases, FirmwareChangeStatus,
                         ::testing::Values(ChangeCase{0, 0, 0},
                                           ChangeCase{1, RM_STATUS_NEEDS_REBOOT, 80},
                                           ChangeCase{2, RM_STATUS_NEEDS_RESET, 14},
                                           ChangeCase{3, RM_STATUS_NEEDS_RESET, 14},
                                           ChangeCase{5, RM_STATUS_ERROR, 7}),
                         [](const ::testing::TestParamInfo<ChangeCase>& i) {
                             return "ChangeStatus" + std::to_string(i.param.changeStatus);
                         });

struct SignatureCase {
    const char* name;
    sli4::Signature sig;
    uint32_t expect;
    uint32_t exitCode;
    const char* console;
};

class FirmwareSignature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(FirmwareSignature, RefusedImagesLeaveTheFlashAlone) {
    const SignatureCase& c = GetParam();
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> image = sli4::brevinImage(2048, "12.9.0.0", c.sig);
    std::string path = hbatest::TempState().dir() + ".grp";
    sli4::writeFile(path, image);
    EXPECT_EQ(FFS_DownloadFirmware(0, path.c_str()), c.expect);
    EXPECT_EQ(adapterAttr(0, "fw_flash"), "12.8.542.31");
    EXPECT_EQ(FFS_DownloadGrpFile(0, path.c_str()), c.exitCode);
    EXPECT_EQ(m.takeConsole(), c.console);
    unlink(path.c_str());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FirmwareSignature,
    ::testing::Values(SignatureCase{"Invalid", sli4::BADLY_SIGNED, RM_STATUS_BAD_SIGNATURE, 90,
                                    "FFS_DownloadFirmware rmStatus CB cluStatus 90\n"},
                      SignatureCase{"Missing", sli4::UNSIGNED, RM_STATUS_MISSING_SIGNATURE, 89,
                                    "FFS_DownloadFirmware rmStatus D1 cluStatus 89\n"}),
    [](const ::testing::TestParamInfo<SignatureCase>& i) { return std::string(i.param.name); });

TEST(Firmware, WrongImageForTheDeviceIsRefusedByTheAdapter) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> image = sli4::grpImage(2048, 0xFEAA0003u, 0xF70C, "14.1.0.0");
    uint32_t written = 0;
    EXPECT_EQ(SLI_CFG_WriteObject(0, OBJ_FIRMWARE, image.data(), 2048, &written, true),
              RM_STATUS_ERROR);
    EXPECT_EQ(SLI_CFG_WriteObject(1, OBJ_FIRMWARE, image.data(), 2048, &written, true),
              RM_STATUS_NEEDS_RESET);
    EXPECT_EQ(adapterAttr(1, "fw_flash"), "14.1.0.0");
}

TEST(Firmware, VersionsAndTheirComparison) {
    HbasetMachine m(sli4::fleet("", "fw_active = 12.8.542.31 fw_flash = 12.8.600.1"));
    char running[33], flash[33];
    ASSERT_EQ(SLI_CFG_GetFwVersionTexts(0, running, flash), 0u);
    EXPECT_STREQ(running, "12.8.542.31");
    EXPECT_STREQ(flash, "12.8.600.1");
    EXPECT_EQ(SLI_CFG_CompareFwVersions(running, flash), 0u);
    EXPECT_EQ(m.journal(), std::vector<std::string>{"SLI_CONFIG op=0x23"});

    hbasim::fault_add({"mbx", "SLI_CONFIG", -1, 0, "status=0x3", -1});
    EXPECT_EQ(SLI_CFG_GetFwVersionTexts(0, running, flash), RM_STATUS_ERROR);
    EXPECT_STREQ(running, "");
}

TEST(Firmware, ThirtyTwoCharacterVersionsAreTerminated) {
    std::string v32(32, '9');
    HbasetMachine m(sli4::fleet("", "fw_active = " + v32));
    char running[33], flash[33];
    ASSERT_EQ(SLI_CFG_GetFwVersionTexts(0, running, flash), 0u);
    EXPECT_EQ(std::string(running), v32);
}

struct CompareCase {
    const char* a;
    const char* b;
    uint32_t expect;
};

class VersionCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(VersionCompare, NeedsFourNumbers) {
    EXPECT_EQ(SLI_CFG_CompareFwVersions(GetParam().a, GetParam().b), GetParam().expect);
}

INSTANTIATE_TEST_SUITE_P(Cases, VersionCompare,
                         ::testing::Values(CompareCase{"1.2.3.4", "1.2.3.4", 1},
                                           CompareCase{"12.8.542.31", "12.8.542.30", 0},
                                           CompareCase{"1.2.3", "1.2.3.4", 4},
                                           CompareCase{"1.2.3.4", "", 4},
                                           CompareCase{"1.2.3.4.9", "1.2.3.4", 1},
                                           CompareCase{"1.2.x.4", "1.2.3.4", 4},
                                           CompareCase{"01.2.3.4", "1.2.3.4", 1}));

TEST(Firmware, ActiveAfterAReboot) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> image = sli4::brevinImage(1024, "12.8.777.0");
    uint32_t written = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, OBJ_FIRMWARE, image.data(), 1024, &written, true),
              RM_STATUS_NEEDS_RESET);
    ASSERT_EQ(hbasim::reboot_machine(), hbasim::SIM_OK);
    EXPECT_EQ(adapterAttr(0, "fw_active"), "12.8.777.0");
}

// ---- files ----------------------------------------------------------------------------------

struct VerifyCase {
    const char* name;
    size_t size;
    uint32_t magic;
    uint32_t id;
    GrpKind kind;
    uint32_t expect;
};

class GrpVerify : public ::testing::TestWithParam<VerifyCase> {};

TEST_P(GrpVerify, ChecksSizeMagicAndId) {
    const VerifyCase& c = GetParam();
    hbatest::TempState t;
    std::string path = t.path("image.grp");
    sli4::writeFile(path, sli4::grpImage(c.size, c.magic, c.id, "1.0.0.0"));
    EXPECT_EQ(FFS_VerifyFirmware(path.c_str(), c.kind), c.expect);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GrpVerify,
    ::testing::Values(VerifyCase{"BrevinFc", 140, 0xFEAA0001u, 0xF7A2, GRP_KIND_BREVIN_FC, 0},
                      VerifyCase{"Brevin32g", 4096, 0xFEAA0003u, 0xF70C, GRP_KIND_BREVIN_32G, 0},
                      VerifyCase{"Short", 139, 0xFEAA0001u, 0xF7A2, GRP_KIND_BREVIN_FC, 194},
                      VerifyCase{"OtherKindsImage", 4096, 0xFEAA0003u, 0xF70C, GRP_KIND_BREVIN_FC,
                                 194},
                      VerifyCase{"WrongId", 4096, 0xFEAA0001u, 0xF7A3, GRP_KIND_BREVIN_FC, 194},
                      VerifyCase{"WrongMagic", 4096, 0xFEAB0001u, 0xF7A2, GRP_KIND_BREVIN_FC, 194}),
    [](const ::testing::TestParamInfo<VerifyCase>& i) { return std::string(i.param.name); });

TEST(GrpDownload, FailedHeaderCheckSendsNothing) {
    HbasetMachine m(sli4::fleet());
    hbatest::TempState t;
    std::string path = t.path("short.grp");
    sli4::writeFile(path, sli4::brevinImage(139, ""));
    EXPECT_EQ(FFS_DownloadGrpFile(0, path.c_str()), 70u);
    EXPECT_EQ(m.takeConsole(), "FFS_VerifyFirmware rmStatus C2 cluStatus 70\n\n");
    EXPECT_EQ(FFS_DownloadGrpFile(0, t.path("missing.grp").c_str()), 70u);
    EXPECT_TRUE(m.journal().empty());
}

TEST(FileDownload, UnusableFilesAreRefusedBeforeAnyRequest) {
    HbasetMachine m(sli4::fleet());
    hbatest::TempState t;
    EXPECT_EQ(FFS_DownloadFile(0, "/prg", ""), RM_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(FFS_DownloadFile(0, "/prg", t.path("none").c_str()), RM_STATUS_ERROR);
    std::string big = t.path("big.grp");
    sli4::writeFile(big, {1, 2, 3, 4});
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(FFS_MAX_FILE_SIZE + 4)), 0);
    EXPECT_EQ(FFS_DownloadFile(0, "/prg", big.c_str()), RM_STATUS_ERROR);
    EXPECT_TRUE(m.journal().empty());
}

TEST(FileDownload, WholeFileBecomesTheObject) {
    HbasetMachine m(sli4::fleet());
    hbatest::TempState t;
    std::vector<uint8_t> data = bytes(5000, 2);
    sli4::writeFile(t.path("blob"), data);
    EXPECT_EQ(FFS_DownloadFile(0, "/user/blob", t.path("blob").c_str()), 0u);
    EXPECT_EQ(hbatest::countLines(m.journal(), "SLI_CONFIG op=0xAC"), 5u);
    std::vector<uint8_t> back(8192);
    uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/user/blob", back.data(), 8192, &got), 0u);
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + got), data);
}

TEST(VpdObject, VpdIsTheObjectLessItsFraming) {
    std::vector<uint8_t> vpd = {0x82, 0x03, 0x00, 'A', 'B', 'C', 0x90, 0x00, 0x00, 0x78};
    HbasetMachine m(sli4::fleet("vpd = " + sli4::hex(vpd)));
    uint8_t buf[64];
    uint32_t length = 0;
    ASSERT_EQ(FFS_ReadVPD(0, OBJ_FC_VPD, buf, sizeof buf, &length), 0u);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + length), vpd);
    EXPECT_EQ(FFS_ReadVPD(0, OBJ_FC_VPD, buf, 9, &length), RM_STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(FFS_ReadVPD(0, "", buf, 9, &length), RM_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(FFS_ReadVPD(0, OBJ_FC_VPD, buf, 0, &length), RM_STATUS_BAD_ARGUMENT);
}

TEST(VpdObject, ObjectShorterThanItsFramingIsRefused) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> data = bytes(100, 0);
    uint32_t written = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/vpd/short.vpd", data.data(), 100, &written, true), 0u);
    uint8_t buf[64];
    uint32_t length = 9;
    EXPECT_EQ(FFS_ReadVPD(0, "/vpd/short.vpd", buf, sizeof buf, &length), RM_STATUS_ERROR);
    EXPECT_EQ(length, 0u);
}

TEST(VpdObject, NoVpdMeansNoObject) {
    HbasetMachine m(sli4::fleet("has_vpd = no"));
    uint8_t buf[64];
    uint32_t length = 0;
    EXPECT_EQ(FFS_ReadVPD(0, OBJ_FC_VPD, buf, sizeof buf, &length), RM_STATUS_NO_OBJECT);
}

// ---- a second process -----------------------------------------------------------------------

TEST(ObjectSecondProcess, Helper) {
    if (hbatest::secondProcessRequest().empty()) GTEST_SKIP() << "runs only as a second process";
    HbasetMachine m{hbatest::AttachExisting{}};
    std::vector<uint8_t> buf(4096);
    uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/user/shared", buf.data(), 4096, &got), 0u);
    char running[33], flash[33];
    ASSERT_EQ(SLI_CFG_GetFwVersionTexts(0, running, flash), 0u);
    std::printf("OBJECT=%s FLASH=%s\n",
                sli4::hex(std::vector<uint8_t>(buf.begin(), buf.begin() + got)).c_str(), flash);
}

TEST(ObjectSecondProcess, SeesObjectsAndFlashedFirmware) {
    HbasetMachine m(sli4::fleet());
    std::vector<uint8_t> data = bytes(40, 4);
    std::vector<uint8_t> image = sli4::brevinImage(2048, "12.8.900.2");
    uint32_t written = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/user/shared", data.data(), 40, &written, true), 0u);
    ASSERT_EQ(SLI_CFG_WriteObject(0, OBJ_FIRMWARE, image.data(), 2048, &written, true),
              RM_STATUS_NEEDS_RESET);
    hbatest::RunResult r = hbatest::runSecondProcess("ObjectSecondProcess.Helper", "objects");
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("OBJECT=" + sli4::hex(data) + " FLASH=12.8.900.2\n"), std::string::npos)
        << r.out;
}

} // namespace
