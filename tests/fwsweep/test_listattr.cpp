// The listattr parser: golden blocks of every function kind, the anchoring of
// blocks and labels, the version fields, and the corrections over the list
// (NIC personalities, groups, matrix keys).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fwsweep/listattr.h"

namespace {

struct BlockSpec {
    int n;
    std::string serial = "QS1", model = "CV3C100", fw = "4.2.324.0", boot = "4.2.324.0";
    std::string kind = "NIC";
    std::string address = "02:1F:3C:03:02:00";
    unsigned device = 0x0710, subDevice = 0x0710, subVendor = 0x1F3C, bus = 0x30, fn = 0;
    int cvr = 0, vpdModel = 0, multi = 0;
    unsigned rev = 0x10;
    std::string bootEnabled = "0";
};

std::string hex(unsigned v, int width) {
    char b[16];
    if (width)
        snprintf(b, sizeof b, "%0*X", width, v);
    else
        snprintf(b, sizeof b, "%X", v);
    return b;
}

// A block as hbaset's listattr prints it.
std::string block(const BlockSpec& s) {
    auto line = [](const char* label, const std::string& v) {
        char b[256];
        snprintf(b, sizeof b, "%-20s : %s\n", label, v.c_str());
        return std::string(b);
    };
    bool fc = s.kind == "FC" || s.kind == "FCoE";
    return line("HBA", std::to_string(s.n)) + line("Serial Number", s.serial) +
           line("Model", s.model) + line("FW Version", s.fw) + line("Boot Version", s.boot) +
           line("Boot Enabled", s.bootEnabled) +
           line(fc ? "Port WWN" : "Permanent Mac", s.address) + line("Function Type", s.kind) +
           line("Device ID", hex(s.device, 4)) + line("Vendor ID", "1F3C") +
           line("Sub Device ID", hex(s.subDevice, 4)) + line("Sub Vendor ID", hex(s.subVendor, 4)) +
           line("PCI Bus Number", hex(s.bus, 0)) + line("PCI Dev Number", "0") +
           line("PCI Fun Number", hex(s.fn, 0)) + line("VPD Model", std::to_string(s.vpdModel)) +
           line("Multi Channel", std::to_string(s.multi)) + line("Configuration", "0") +
           line("CVR", std::to_string(s.cvr)) + line("RevID", hex(s.rev, 0)) + "\n";
}

std::vector<SweepAdapter> parse(const std::string& text, bool vpd = false,
                                ListAttrTotals* totals = nullptr) {
    std::vector<SweepAdapter> out;
    ListAttrTotals t;
    parseListAttr(text.data(), text.size(), vpd, &out, totals ? totals : &t);
    postProcessAdapters(&out, vpd);
    return out;
}

TEST(ListAttr, GoldenBlocksOfEveryKind) {
    BlockSpec fcoe{1};
    fcoe.kind = "FCoE", fcoe.device = 0x0714, fcoe.address = "10:00:02:1f:3c:03:00:00";
    fcoe.cvr = 1;
    BlockSpec iscsi{2};
    iscsi.kind = "iSCSI", iscsi.device = 0x0722, iscsi.model = "TRN4100", iscsi.serial = "qs2",
    iscsi.bus = 0x40, iscsi.address = "02:1f:3c:04:00:00", iscsi.fw = "12.0.261.8";
    BlockSpec nic{3};
    nic.serial = "QS3", nic.bus = 0x50, nic.fn = 2;
    BlockSpec fc{4};
    fc.kind = "FC", fc.device = 0xF100, fc.model = "ZF9002-E", fc.serial = "N/A",
    fc.fw = "SF2.82A4", fc.boot = "ZB1.11A2", fc.bootEnabled = "1",
    fc.address = "10:00:00:00:C9:00:00:01";
    BlockSpec brevin{5};
    brevin.kind = "FC", brevin.device = 0xE200, brevin.model = "BRV1600", brevin.serial = "QS5",
    brevin.fw = "12.8.542.31", brevin.boot = "12.0.342.0",
    brevin.address = "10:00:02:1F:3C:02:00:00";
    std::string text = "Command: listattr /c\n" + block(fcoe) + block(iscsi) + block(nic) +
                       block(fc) + block(brevin) + "Command completed, NO Error\n";
    ListAttrTotals totals;
    std::vector<SweepAdapter> a = parse(text, false, &totals);
    ASSERT_EQ(a.size(), 5u);

    EXPECT_EQ(a[0].number, 1);
    EXPECT_EQ(a[0].portType, PORT_FCOE);
    EXPECT_STREQ(a[0].wwn, "10:00:02:1F:3C:03:00:00");
    EXPECT_STREQ(a[0].mac, "NONE");
    EXPECT_STREQ(a[0].matrixKey, "CV3C100-FCoE");
    EXPECT_EQ(a[0].fwImage.imageType, IMAGE_CV3);
    EXPECT_EQ(a[0].fwImage.major, 4u);
    EXPECT_EQ(a[0].fwImage.release, 324u);
    EXPECT_EQ(a[0].fwImage.isCVR, 1);
    EXPECT_EQ(a[0].fwImage.asicRevisionId, 0x10);

    EXPECT_EQ(a[1].portType, PORT_ISCSI);
    EXPECT_STREQ(a[1].serial, "QS2");
    EXPECT_STREQ(a[1].mac, "02:1F:3C:04:00:00");
    EXPECT_STREQ(a[1].wwn, "NONE");
    EXPECT_STREQ(a[1].model, "TRN4100-iSCSI");
    EXPECT_EQ(a[1].fwImage.imageType, IMAGE_CV4);
    EXPECT_EQ(a[1].bus, 0x40u);

    EXPECT_EQ(a[2].portType, PORT_NIC);
    EXPECT_EQ(a[2].function, 2u);
    EXPECT_STREQ(a[2].matrixKey, "CV3C100-NIC");

    // FC: model cut at the hyphen, FC version decoding, type codes.
    EXPECT_EQ(a[3].portType, PORT_FC);
    EXPECT_STREQ(a[3].model, "ZF9002");
    EXPECT_STREQ(a[3].matrixKey, "ZF9002");
    EXPECT_STREQ(a[3].fwType, "ZF");
    EXPECT_STREQ(a[3].fwVersion, "282A4");
    EXPECT_EQ(a[3].fwImage.fcVersion, (2u << 12) | (8u << 8) | (2u << 6) | (1u << 4) | 4u);
    EXPECT_STREQ(a[3].bcType, "ZB");
    EXPECT_STREQ(a[3].bootVersion, "111A2");
    EXPECT_EQ(a[3].bootEnabled, 1);
    EXPECT_TRUE(a[3].hasBootCode);
    EXPECT_EQ(a[3].group, FWS_NO_GROUP);

    EXPECT_EQ(a[4].fwImage.imageType, IMAGE_GRP);
    EXPECT_STREQ(a[4].fwVersion, "12.8.542.31");
    EXPECT_STREQ(a[4].matrixKey, "BRV1600");

    EXPECT_TRUE(totals.bootCodePresent);
    EXPECT_EQ(totals.knownAdapters, 5);
}

TEST(ListAttr, AnchoringAgainstLabelWordsInValues) {
    // Models, serials and VPD texts that contain "HBA", "NIC", "iSCSI" or
    // "FCoE" must neither start a block nor change a block's kind or number.
    BlockSpec fcoe{7};
    fcoe.kind = "FCoE", fcoe.device = 0x0714, fcoe.model = "HBA iSCSI NIC", fcoe.serial = "HBA9";
    BlockSpec nic{8};
    nic.model = "FCoE-HBA", nic.serial = "HBA9";
    std::string text = block(fcoe) + "VPD text             : HBA 3 iSCSI card\n" +
                       "  HBA                : 99\n" + block(nic);
    std::vector<SweepAdapter> a = parse(text);
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].number, 7);
    EXPECT_EQ(a[0].portType, PORT_FCOE);
    EXPECT_STREQ(a[0].model, "HBA-FCoE");
    EXPECT_EQ(a[1].number, 8);
    EXPECT_EQ(a[1].portType, PORT_NIC);
    EXPECT_EQ(a[1].personality, PORT_FCOE);
    EXPECT_STREQ(a[1].model, "FCoE-FCoE");

    // Labels match only whole at the start of a line.
    const std::string b =
        "HBA                  : 4\nModel Name           : X\nModel                : "
        "M1,rest\nFW Version           :   \n";
    char v[64];
    labelValue(b.data(), b.size(), "Model", v, sizeof v);
    EXPECT_STREQ(v, "M1");
    labelValue(b.data(), b.size(), "FW Version", v, sizeof v);
    EXPECT_STREQ(v, "N/A");
    labelValue(b.data(), b.size(), "Serial Number", v, sizeof v);
    EXPECT_STREQ(v, "N/A");
    char small[4];
    labelValue(b.data(), b.size(), "Model", small, sizeof small);
    EXPECT_STREQ(small, "M1");
    labelValue(b.data(), b.size(), "Model Name", small, sizeof small);
    EXPECT_STREQ(small, "X");
}

TEST(ListAttr, VersionFields) {
    const struct {
        unsigned device;
        const char* kind;
        const char* fw;
        const char* boot;
        const char* wantFw;
        const char* wantBoot;
        int bootEnabled;
    } cases[] = {
        {0xF100, "FC", "N/A", "none", "000A0", "NONE", 0},
        {0x0710, "NIC", "N/A", "N/A", "0.0.0.0", "N/A", 0},
        {0xE200, "FC", "N/A", "NONE", "0.0.0.0", "NONE", 0},
        {0xF100, "FC", "S", "Z", "", "", 1},
        {0x0714, "FCoE", "4.6.281.8", "4.1.2", "4.6.281.8", "4.1.2", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fw);
        BlockSpec s{1};
        s.device = c.device, s.kind = c.kind, s.fw = c.fw, s.boot = c.boot, s.bootEnabled = "1";
        std::vector<SweepAdapter> a = parse(block(s));
        ASSERT_EQ(a.size(), 1u);
        EXPECT_STREQ(a[0].fwVersion, c.wantFw);
        EXPECT_STREQ(a[0].bootVersion, c.wantBoot);
        EXPECT_EQ(a[0].bootEnabled, c.bootEnabled);
        EXPECT_EQ(a[0].fwUnknown, std::string(c.fw) == "N/A");
    }

    // CV2 and CV3 adapters reporting a 2.x or 3.x text are read with "1" after
    // the first dot; the shown text stays.
    BlockSpec cv3{1};
    cv3.fw = "2.702.1.2";
    std::vector<SweepAdapter> a = parse(block(cv3));
    EXPECT_STREQ(a[0].fwVersion, "2.702.1.2");
    EXPECT_STREQ(a[0].fwImage.decodedVersion, "2.102.1.2");
    EXPECT_EQ(a[0].fwImage.minor, 102u);
    cv3.fw = "3.";
    a = parse(block(cv3));
    EXPECT_STREQ(a[0].fwImage.decodedVersion, "3.");
}

TEST(ListAttr, PersonalitiesGroupsAndKeys) {
    BlockSpec iscsi{1};
    iscsi.kind = "iSCSI", iscsi.device = 0x0712;
    BlockSpec fcoe{2};
    fcoe.kind = "FCoE", fcoe.device = 0x0714, fcoe.serial = "qs1";
    BlockSpec nic{3};
    BlockSpec otherBus{4};
    otherBus.bus = 0x31;
    BlockSpec unknown1{5};
    unknown1.serial = "N/A", unknown1.bus = 0x60;
    BlockSpec unknown2{6};
    unknown2.serial = "N/A", unknown2.bus = 0x60;
    BlockSpec vpd{7};
    vpd.serial = "QS7", vpd.vpdModel = 1, vpd.model = "CV3C100-E";
    std::vector<SweepAdapter> a = parse(block(iscsi) + block(fcoe) + block(nic) + block(otherBus) +
                                            block(unknown1) + block(unknown2) + block(vpd),
                                        true);
    ASSERT_EQ(a.size(), 7u);
    // iSCSI is taken before FCoE.
    EXPECT_EQ(a[2].personality, PORT_ISCSI);
    EXPECT_STREQ(a[2].matrixKey, "CV3C100-iSCSI");
    EXPECT_EQ(a[3].personality, PORT_NIC);
    EXPECT_EQ(a[0].group, 0);
    EXPECT_EQ(a[1].group, 0);
    EXPECT_EQ(a[2].group, 0);
    EXPECT_EQ(a[3].group, 1);
    // Unknown serials never group and never correct a personality.
    EXPECT_EQ(a[4].group, 2);
    EXPECT_EQ(a[5].group, 3);
    EXPECT_EQ(a[4].personality, PORT_NIC);
    // /vpd with a VPD model: full name, no suffix.
    EXPECT_STREQ(a[6].model, "CV3C100-E");
    EXPECT_STREQ(a[6].matrixKey, "CV3C100-E");
}

TEST(ListAttr, EmptyAndOddTexts) {
    for (const std::string& text :
         {std::string(), std::string("No Quoral adapter detected in the system\n"),
          std::string("HBA: 1\nHBAX                 : 2\n")}) {
        EXPECT_TRUE(parse(text).empty()) << text;
    }
    std::vector<SweepAdapter> a = parse("HBA                  : 12");
    ASSERT_EQ(a.size(), 1u);
    EXPECT_EQ(a[0].number, 12);
    EXPECT_STREQ(a[0].serial, "N/A");
    EXPECT_STREQ(a[0].wwn, "N/A");
}

} // namespace
