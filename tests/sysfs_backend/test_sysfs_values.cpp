// The kernel value parsers and the VPD builder of the FC backend.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "backends/sysfs/fcsys_values.h"
#include "backends/sysfs/fcsys_vpd.h"

namespace {

struct NumberCase {
    const char* text;
    bool ok;
    uint32_t value;
};

template <typename Parse> void checkNumbers(const NumberCase* cases, size_t n, Parse parse) {
    for (size_t k = 0; k < n; ++k) {
        const NumberCase& c = cases[k];
        SCOPED_TRACE(c.text);
        uint32_t v = 0xDEADBEEF;
        EXPECT_EQ(parse(c.text, &v), c.ok);
        EXPECT_EQ(v, c.ok ? c.value : 0xDEADBEEF); // a refused text leaves the field alone
    }
}

TEST(SysfsValues, Wwn) {
    uint8_t w[8];
    ASSERT_TRUE(fcsys_parse_wwn("0x21000024ff7b4c2a\n", w));
    const uint8_t expected[8] = {0x21, 0x00, 0x00, 0x24, 0xff, 0x7b, 0x4c, 0x2a};
    EXPECT_EQ(memcmp(w, expected, 8), 0);
    // The kernel prints "0x%llx": no zero padding.
    ASSERT_TRUE(fcsys_parse_wwn("0x500143800637b2\n", w));
    const uint8_t shortWwn[8] = {0x00, 0x50, 0x01, 0x43, 0x80, 0x06, 0x37, 0xb2};
    EXPECT_EQ(memcmp(w, shortWwn, 8), 0);
    uint8_t keep[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const char* bad : {"", "0x", "21000024ff7b4c2a", "0x21000024ff7b4c2a0", "0x2100g",
                            "0x21 00", "unknown", " 0x21"}) {
        SCOPED_TRACE(bad);
        uint8_t out[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_FALSE(fcsys_parse_wwn(bad, out));
        EXPECT_EQ(memcmp(out, keep, 8), 0);
    }
}

TEST(SysfsValues, HexAndDecimal) {
    const NumberCase hex[] = {
        {"0x010200\n", true, 0x010200}, {"0x1e4a", true, 0x1e4a},  {"0xFFFFFF", true, 0xFFFFFF},
        {"0x1000000", false, 0},        {"1e4a", false, 0},        {"0x", false, 0},
        {"0x12 34", false, 0},          {"0x123456789", false, 0}, {"", false, 0},
    };
    checkNumbers(hex, std::size(hex),
                 [](const char* t, uint32_t* v) { return fcsys_parse_hex(t, 0xFFFFFF, v); });
    const NumberCase dec[] = {
        {"255\n", true, 255},     {"0", true, 0},   {"4294967295", true, 0xFFFFFFFF},
        {"4294967296", false, 0}, {"-1", false, 0}, {"12a", false, 0},
        {"", false, 0},
    };
    checkNumbers(dec, std::size(dec), fcsys_parse_decimal);
}

TEST(SysfsValues, SpeedsFramesAndClasses) {
    const NumberCase speed[] = {
        {"16 Gbit\n", true, 0x20},
        {"10 Gbit", true, 0x4},
        {"64 Gbit", true, 0x1000},
        {"unknown\n", true, 0},
        {"Not Negotiated", true, 0x8000},
        {"17 Gbit", false, 0},
        {"16Gbit", false, 0},
        {"16 gbit", false, 0},
    };
    checkNumbers(speed, std::size(speed), fcsys_parse_speed);
    const NumberCase list[] = {
        {"1 Gbit, 2 Gbit, 4 Gbit\n", true, 0xB},
        {"4 Gbit, 8 Gbit, 16 Gbit", true, 0x38},
        {"unknown", true, 0},
        {"1 Gbit,2 Gbit", false, 0},
        {"1 Gbit, ", false, 0},
        {"1 Gbit, Not Negotiated", false, 0},
        {"", false, 0},
    };
    checkNumbers(list, std::size(list), fcsys_parse_speed_list);
    const NumberCase frame[] = {
        {"2048 bytes\n", true, 2048}, {"0 bytes", true, 0},    {"2048", false, 0},
        {" bytes", false, 0},         {"big bytes", false, 0}, {"1234567890 bytes", false, 0},
    };
    checkNumbers(frame, std::size(frame), fcsys_parse_frame_size);
    // The kernel writes "unspecified" in lower case when no class is set.
    const NumberCase classes[] = {
        {"Class 3\n", true, 0x08},  {"Class 2, Class 3", true, 0x0C},
        {"unspecified\n", true, 0}, {"Unspecified", false, 0},
        {"Class 5", false, 0},      {"class 3", false, 0},
    };
    checkNumbers(classes, std::size(classes), fcsys_parse_classes);
}

TEST(SysfsValues, PortStatesAndTypes) {
    const NumberCase states[] = {
        {"Online\n", true, 2},      {"Linkdown", true, 6},    {"Offline", true, 3},
        {"Blocked", true, 3},       {"Marginal", true, 2},    {"Unknown", true, 1},
        {"Not Present\n", true, 1}, {"NotPresent", false, 0}, {"online", false, 0},
        {"Online now", false, 0},
    };
    checkNumbers(states, std::size(states), fcsys_parse_port_state);
    // A remote port the fabric no longer lists is not counted or listed.
    for (const char* present : {"Online", "Blocked\n", "Marginal", "Linkdown"})
        EXPECT_TRUE(fcsys_port_present(present)) << present;
    for (const char* absent : {"Not Present\n", "NotPresent", ""})
        EXPECT_FALSE(fcsys_port_present(absent)) << absent;
    const NumberCase types[] = {
        {"NPort (fabric via point-to-point)\n", true, 5},
        {"NLPort (fabric via loop)", true, 6},
        {"LPort (private loop)", true, 20},
        {"Point-To-Point (direct nport connection)", true, 21},
        {"NPIV VPORT", true, FCSYS_PORTTYPE_NPIV_VPORT},
        {"Unknown", true, 1},
        {"Not Present", true, 3},
        {"NPort", false, 0},
    };
    checkNumbers(types, std::size(types), fcsys_parse_port_type);
    const NumberCase roles[] = {
        {"FCP Target\n", true, FCSYS_ROLE_FCP_TARGET},
        {"FCP Initiator, FCP Target", true, FCSYS_ROLE_FCP_TARGET | FCSYS_ROLE_FCP_INITIATOR},
        {"NVMe Target", true, FCSYS_ROLE_OTHER},
        {"unknown", true, 0},
        {"FCP target", false, 0},
        {"FCP Target,FCP Initiator", false, 0},
    };
    checkNumbers(roles, std::size(roles), fcsys_parse_roles);
}

TEST(SysfsValues, CountersAndSignedNumbers) {
    const struct {
        const char* text;
        bool ok;
        uint64_t value;
    } counters[] = {
        {"0x5f3e1\n", true, 0x5f3e1},
        {"0xffffffffffffffff\n", true, FCSYS_COUNTER_NOT_COUNTED},
        {"0x0", true, 0},
        {"0x1ffffffffffffffff", false, 0},
        {"12", false, 0},
    };
    for (const auto& c : counters) {
        uint64_t v = 7;
        EXPECT_EQ(fcsys_parse_counter(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 7u) << c.text;
    }
    const struct {
        const char* text;
        bool ok;
        int32_t value;
    } ints[] = {{"-1\n", true, -1},
                {"3", true, 3},
                {"2147483647", true, 2147483647},
                {"-2147483648", true, INT32_MIN},
                {"2147483648", false, 0},
                {"--1", false, 0},
                {"-", false, 0}};
    for (const auto& c : ints) {
        int32_t v = 7;
        EXPECT_EQ(fcsys_parse_int(c.text, &v), c.ok) << c.text;
        EXPECT_EQ(v, c.ok ? c.value : 7) << c.text;
    }
}

TEST(SysfsValues, SymbolicNameVersionTokens) {
    const struct {
        const char* symbolic;
        const char* firmware; // null: none found
        const char* driver;
    } cases[] = {
        {"VX-3202 FV14.2.455.6 DV14.2.0.6 HN:dbserver1 OS:Linux", "14.2.455.6", "14.2.0.6"},
        {"IV-NPIV FW:v8.08.204 DVR:v10.02.00.106-k", "8.08.204", "10.02.00.106-k"},
        // A prefix without a dotted version after it is no token.
        {"FV DV HN:FV1 FVx.1 FV12", nullptr, nullptr},
        {"DVR:v10.02 FW:v8.08", "8.08", "10.02"},
        {"", nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.symbolic);
        char out[32] = "unchanged";
        EXPECT_EQ(fcsys_symbolic_version(c.symbolic, FCSYS_VERSION_FIRMWARE, out, sizeof out),
                  c.firmware != nullptr);
        if (c.firmware) {
            EXPECT_STREQ(out, c.firmware);
        }
        EXPECT_EQ(fcsys_symbolic_version(c.symbolic, FCSYS_VERSION_DRIVER, out, sizeof out),
                  c.driver != nullptr);
        if (c.driver) {
            EXPECT_STREQ(out, c.driver);
        }
    }
    char small[6];
    ASSERT_TRUE(
        fcsys_symbolic_version("FV14.2.455.6", FCSYS_VERSION_FIRMWARE, small, sizeof small));
    EXPECT_STREQ(small, "14.2."); // cut to the buffer, terminated
}

TEST(SysfsValues, Fc4TypesPciAddressesAndHostNames) {
    std::string fc4;
    for (int k = 0; k < 32; ++k) {
        if (k) fc4 += ' ';
        fc4 += k == 2 ? "0x01" : "0x00";
    }
    uint8_t bytes[32];
    ASSERT_TRUE(fcsys_parse_fc4_types((fc4 + " \n").c_str(), bytes));
    EXPECT_EQ(bytes[2], 0x01);
    EXPECT_EQ(bytes[0], 0x00);
    EXPECT_FALSE(fcsys_parse_fc4_types(fc4.substr(0, fc4.size() - 5).c_str(), bytes)); // 31
    EXPECT_FALSE(fcsys_parse_fc4_types((fc4 + " 0x00").c_str(), bytes));               // 33

    FcsysPciAddress a;
    ASSERT_TRUE(fcsys_parse_pci_address("0001:3b:1f.7", &a));
    EXPECT_EQ(a.segment, 1u);
    EXPECT_EQ(a.bus, 0x3bu);
    EXPECT_EQ(a.device, 0x1fu);
    EXPECT_EQ(a.function, 7u);
    for (const char* bad : {"0000:3b:20.0", "0000:3b:00.8", "0000:3b:00", "pci0000:00",
                            "0000:3b:00.0x", "000g:3b:00.0"})
        EXPECT_FALSE(fcsys_parse_pci_address(bad, &a)) << bad;

    // Host numbers grow with driver reloads and iSCSI sessions: any 32-bit one.
    uint32_t host = 0;
    EXPECT_TRUE(fcsys_parse_host_name("host0", &host));
    EXPECT_TRUE(fcsys_parse_host_name("host300", &host));
    EXPECT_EQ(host, 300u);
    EXPECT_TRUE(fcsys_parse_host_name("host4294967295", &host));
    EXPECT_EQ(host, 4294967295u);
    for (const char* bad : {"host", "host4294967296", "host07", "host1a", "hosts1", "rport-1:0-0"})
        EXPECT_FALSE(fcsys_parse_host_name(bad, &host)) << bad;

    FcsysChildName child;
    ASSERT_TRUE(fcsys_parse_child_name("rport-300:0-12", "rport-", &child));
    EXPECT_EQ(child.host, 300u);
    EXPECT_EQ(child.channel, 0u);
    EXPECT_EQ(child.number, 12u);
    for (const char* bad :
         {"rport-3:0", "rport-3-0:1", "vport-3:0-1", "rport-3:0-1x", "rport-03:0-1"})
        EXPECT_FALSE(fcsys_parse_child_name(bad, "rport-", &child)) << bad;

    FcsysScsiAddress sa;
    ASSERT_TRUE(fcsys_parse_scsi_address("300:0:2:16384", &sa));
    EXPECT_EQ(sa.host, 300u);
    EXPECT_EQ(sa.target, 2u);
    EXPECT_EQ(sa.lun, 16384u);
    for (const char* bad : {"3:0:2", "3:0:2:1:0", "3:0:x:1", "host3:0:2:1"})
        EXPECT_FALSE(fcsys_parse_scsi_address(bad, &sa)) << bad;
}

TEST(SysfsValues, FcpLunsAndVportNames) {
    // The kernel's int_to_scsilun: two bytes per level, the lowest level first.
    const struct {
        uint64_t lun;
        uint8_t bytes[8];
    } luns[] = {
        {0, {0, 0, 0, 0, 0, 0, 0, 0}},
        {5, {0, 5, 0, 0, 0, 0, 0, 0}},
        {0x4001, {0x40, 0x01, 0, 0, 0, 0, 0, 0}},
        {0x0001000200030004ull, {0, 4, 0, 3, 0, 2, 0, 1}},
    };
    for (const auto& c : luns) {
        uint8_t out[8];
        fcsys_fcp_lun(c.lun, out);
        EXPECT_EQ(memcmp(out, c.bytes, 8), 0) << c.lun;
    }
    const uint8_t wwpn[8] = {0x2f, 0x00, 0x10, 0xae, 0x5c, 0x7e, 0x01, 0x0a};
    const uint8_t wwnn[8] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    char text[FCSYS_VPORT_TEXT_SIZE];
    fcsys_format_vport_names(wwpn, wwnn, text);
    EXPECT_STREQ(text, "2f0010ae5c7e010a:0000000000000001"); // 16 digits each, no "0x"
}

TEST(SysfsValues, CopyTextTrimsAndCuts) {
    char out[8];
    fcsys_copy_text("HF-1620D\n", out, sizeof out);
    EXPECT_STREQ(out, "HF-1620"); // cut to the field, terminated
    char wide[32];
    fcsys_copy_text("a\tb\x01"
                    "c  \n",
                    wide, sizeof wide);
    EXPECT_STREQ(wide, "a b c");
}

TEST(SysfsVpd, BuiltVpdIsWellFormed) {
    uint8_t out[512];
    size_t n = fcsys_vpd_build("HF-1620D 16Gb", "HF21K0458", "HF-1620D", out, sizeof out);
    ASSERT_GT(n, 0u);
    EXPECT_TRUE(fcsys_vpd_plausible(out, n));
    EXPECT_EQ(out[n - 1], FCSYS_VPD_TAG_END);
    // The RV checksum makes every byte up to it sum to zero.
    uint8_t sum = 0;
    for (size_t k = 0; k + 1 < n; ++k)
        sum = static_cast<uint8_t>(sum + out[k]);
    EXPECT_EQ(sum, 0);
    const std::string text(reinterpret_cast<char*>(out), n);
    EXPECT_NE(text.find("SN\x09HF21K0458"), std::string::npos);
    EXPECT_NE(text.find("V2\x08HF-1620D"), std::string::npos);

    EXPECT_EQ(fcsys_vpd_build("", "", "", out, sizeof out), 0u); // nothing known
    EXPECT_EQ(fcsys_vpd_build("id", "SN1", "M1", out, 10), 0u);  // does not fit
    std::string longText(400, 'x');
    uint8_t big[1024];
    n = fcsys_vpd_build(longText.c_str(), longText.c_str(), "", big, sizeof big);
    EXPECT_EQ(n, 3 + 255 + 3 + (3 + 255) + 4 + 1u); // values cut to 255 bytes each
}

TEST(SysfsVpd, Plausibility) {
    const uint8_t good[] = {0x82, 0x02, 0x00, 'I', 'D', 0x90, 0x00, 0x00};
    EXPECT_TRUE(fcsys_vpd_plausible(good, sizeof good));
    EXPECT_FALSE(fcsys_vpd_plausible(good, sizeof good - 1));
    const uint8_t erased[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(fcsys_vpd_plausible(erased, sizeof erased));
    const uint8_t longId[] = {0x82, 0xFF, 0xFF, 'I', 'D', 0x90, 0x00, 0x00};
    EXPECT_FALSE(fcsys_vpd_plausible(longId, sizeof longId));
    EXPECT_FALSE(fcsys_vpd_plausible(nullptr, 0));
}

// PCI VPD as bytes: identifier string, read-only keywords (each "KKdata"
// with its length byte added), RV, then an optional writable area.
std::string vpdBytes(const std::string& id, const std::vector<std::string>& keywords,
                     bool writable = false) {
    std::string ro;
    for (const std::string& k : keywords) {
        ro.append(k, 0, 2);
        ro += static_cast<char>(k.size() - 2);
        ro.append(k, 2);
    }
    auto resource = [](std::string& out, char tag, size_t length) {
        out += tag;
        out += static_cast<char>(length);
        out += '\0';
    };
    std::string v;
    resource(v, '\x82', id.size());
    v += id;
    resource(v, '\x90', ro.size() + 4);
    v += ro;
    v += "RV\x01";
    uint8_t sum = 0;
    for (char c : v)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    v += static_cast<char>(static_cast<uint8_t>(0x100 - sum));
    if (writable) v += std::string("\x91\x04\0YAab\x00", 8);
    return v + "\x78";
}

std::string complete(const std::string& vpd, const char* serial, const char* model,
                     size_t room = 1024) {
    std::vector<uint8_t> out(room);
    size_t n = fcsys_vpd_complete(reinterpret_cast<const uint8_t*>(vpd.data()), vpd.size(), serial,
                                  model, out.data(), out.size());
    return std::string(reinterpret_cast<char*>(out.data()), n);
}

TEST(SysfsVpd, SerialAndModelKeywordsAreSetForTheReader) {
    const std::string full = vpdBytes("HF board", {"PNHFP-1", "SNabc", "V2HF-1"}, true);
    EXPECT_EQ(complete(full, "XYZ", "HF-1"), full); // SN present, V2 the model: unchanged
    // A maker-defined V2 that is not the model gives way to the model; the
    // card's SN stays as it is.
    EXPECT_EQ(
        complete(vpdBytes("HF board", {"PNHFP-1", "SNabc", "V20417", "ECA2"}), "XYZ", "HFP-1"),
        vpdBytes("HF board", {"PNHFP-1", "SNabc", "ECA2", "V2HFP-1"}));
    // No model at all: the maker-defined V2 is left out rather than read as one.
    EXPECT_EQ(complete(vpdBytes("", {"SNabc", "V20417"}), "", ""), vpdBytes("", {"SNabc"}));
    const std::string bare = vpdBytes("HF board", {"PNHFP-1", "ECA2"}, true);
    EXPECT_EQ(complete(bare, "", ""), bare); // nothing to add: unchanged
    // Both added after the card's own keywords; the writable area is dropped.
    EXPECT_EQ(complete(bare, "HF21K0458", "HF-1620D"),
              vpdBytes("HF board", {"PNHFP-1", "ECA2", "SNHF21K0458", "V2HF-1620D"}));
    // Only the missing one.
    EXPECT_EQ(complete(vpdBytes("id", {"SNown"}), "HF21K0458", "HF-1620D"),
              vpdBytes("id", {"SNown", "V2HF-1620D"}));
    // A keyword cut by the end of the data ends the walk; the whole ones stay.
    std::string cut = vpdBytes("id", {"PNHFP-1", "ECA2"});
    cut = cut.substr(0, cut.find("EC") + 4);
    EXPECT_EQ(complete(cut, "S1", ""), vpdBytes("id", {"PNHFP-1", "SNS1"}));
    // No room, or not VPD at all: nothing.
    EXPECT_EQ(complete(bare, "HF21K0458", "HF-1620D", 20), "");
    EXPECT_EQ(complete("\xff\xff\xff\xff\xff\xff", "S", "M"), "");
}

TEST(SysfsVpd, ModelAndSerialDecision) {
    const std::string id = "Vexel VX-3202 2-Port 32Gb Fibre Channel Adapter";
    const struct {
        const char* name;
        std::string vpd; // empty: no VPD read
        const char* hostModel;
        const char* hostSerial;
        const char* model;
        const char* serial;
    } cases[] = {
        {"transport attributes first", vpdBytes(id, {"PNVX-3202", "SNVX1", "V2VX-3202"}), "VX-M",
         "S-HOST", "VX-M", "S-HOST"},
        {"mainline: SN and PN, no V2", vpdBytes(id, {"PNVX-3202-01", "SNVX1"}), "", "",
         "VX-3202-01", "VX1"},
        {"V2 a word of the identifier", vpdBytes(id, {"PNVXP-1", "SNVX1", "V2VX-3202"}), "", "",
         "VX-3202", "VX1"},
        {"V2 equal to the part number", vpdBytes("board", {"PNVX-9", "V2VX-9"}), "", "", "VX-9",
         ""},
        {"maker-defined V2", vpdBytes(id, {"PNVX-3202", "SNVX1", "V20417"}), "", "", "VX-3202",
         "VX1"},
        {"V2 inside a word is no model", vpdBytes("VX-32021 board", {"V2VX-3202"}), "", "",
         "VX-32021 board", ""},
        {"identifier string last", vpdBytes(id, {"ECA2"}), "", "", id.c_str(), ""},
        {"no VPD", "", "", "S-HOST", "", "S-HOST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FcsysVpdIdentity v;
        bool have = !c.vpd.empty();
        if (have) {
            ASSERT_TRUE(fcsys_vpd_identity(reinterpret_cast<const uint8_t*>(c.vpd.data()),
                                           c.vpd.size(), &v));
        }
        char model[64], serial[64];
        fcsys_resolve_identity(c.hostModel, c.hostSerial, have ? &v : nullptr, model, sizeof model,
                               serial, sizeof serial);
        EXPECT_STREQ(model, c.model);
        EXPECT_STREQ(serial, c.serial);
    }
    FcsysVpdIdentity v;
    EXPECT_FALSE(fcsys_vpd_identity(reinterpret_cast<const uint8_t*>("\xff\xff\xff\xff"), 4, &v));
}

} // namespace
