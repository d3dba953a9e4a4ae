// The converged operations other commands build on: network boot through
// NEXA, the converged listboot, factory defaults through NEXA, the FFV name,
// the ARM log and the VPD pieces, each against the simulated machine and its
// faults.
#include <string>
#include <vector>

#include "hbaset/cna/cna_ops.h"
#include "hbaset/cna/mal_ops.h"
#include "hbaset/fcmaint/vpd.h"
#include "tests/cna/cna_fixture.h"

namespace {

using cnatest::Machine;
using cnatest::nexaFault;

constexpr int kCv3Nic = 6;     // entry 7 of the default fleet
constexpr int kTarnelNic = 10; // entry 11
constexpr int kCv3Fcoe = 4;    // entry 5
constexpr int kCv3Adapter = 2; // machine adapter index of CNA1 (CV3)

int controllerOf(int i) {
    int tag = -1;
    EXPECT_TRUE(cnaControllerTag(i, &tag));
    return tag;
}

MalNetworkBootConfiguration bootOf(int functionTag) {
    MalNetworkBootConfiguration b{};
    EXPECT_EQ(MAL_GetNetworkBootConfiguration(functionTag, &b), MAL_RM_OK);
    return b;
}

TEST(NetworkBoot, SetsStateAndMethodOrKeepsTheMethod) {
    Machine m("adapter T tarnel\nfunction nic netboot_methods = PXE,iSCSI\n");
    const int nic = cnaNicRecordOf(0)->tag;
    const struct {
        bool enable;
        const char* method;
        int status;
        int32_t state;
        const char* methodAfter;
    } cases[] = {
        {true, "iSCSI", MAL_RM_OK, 1, "iSCSI"},
        {false, nullptr, MAL_RM_OK, 0, "iSCSI"}, // 0xFF keeps the method
        {true, "", MAL_RM_OK, 1, "iSCSI"},
        {true, "pxe", MAL_RM_OK, 1, "PXE"},
        {false, "HTTP", MAL_RM_NEXA_ERROR, 1, "PXE"}, // not an available method
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.method ? c.method : "(none)");
        EXPECT_EQ(MAL_SetNetworkBoot(nic, c.enable, c.method), c.status);
        MalNetworkBootConfiguration b = bootOf(nic);
        EXPECT_EQ(b.networkBootState, c.state);
        EXPECT_STREQ(b.networkBootMethod, c.methodAfter);
    }
    nexaFault("do_action:SetNetworkBoot", "rc=14");
    EXPECT_EQ(MAL_SetNetworkBoot(nic, true, nullptr), MAL_RM_BUSY);
}

TEST(ConvergedListBoot, VersionsOfTheControllerOrNotAvailable) {
    Machine m;
    EXPECT_EQ(cnaListBoot(kCv3Nic), CLU_OK);
    std::string out = m.take();
    EXPECT_EQ(out.find("BIOSVersion                    : "), 0u) << out;
    for (const char* label :
         {"BootCodeVersion", "FirmwareStatus", "FCoEUniversalVersion", "FCoEx86BIOSVersion",
          "FCoEEFIVersion", "FCoEFCODEVersion", "UEFIBIOSVersion", "UEFINICVersion",
          "UEFIFCODEVersion", "UEFIiSCSIVersion"}) {
        std::string line = "\n" + std::string(label);
        line.resize(31, ' ');
        EXPECT_NE(out.find(line + " : "), std::string::npos) << label;
    }
    EXPECT_EQ(out.find("N/A"), std::string::npos) << out;
    // An FCoE entry uses the controller it was tied to.
    EXPECT_EQ(cnaListBoot(kCv3Fcoe), CLU_OK);
    m.take();

    Machine without("", {"/nonexa"});
    EXPECT_EQ(cnaListBoot(kCv3Fcoe), CLU_NEXA_NOT_AVAILABLE);
    out = without.take();
    EXPECT_EQ(out.find("BIOSVersion                    : N/A\n"), 0u) << out;
    EXPECT_NE(out.find("UEFIiSCSIVersion               : N/A\n"), std::string::npos) << out;
}

TEST(FactoryDefaults, ResetClearsNicSettingsAndAsksForAReboot) {
    Machine m;
    const MalNicFunction* nic = cnaNicRecordOf(kCv3Nic);
    ASSERT_NE(nic, nullptr);
    ASSERT_EQ(MAL_ConfigureVLAN(nic->tag, 12, 3), MAL_RM_OK);
    ASSERT_EQ(MAL_SetPersonality(controllerOf(kCv3Nic), "iSCSI"), MAL_RM_OK);
    EXPECT_EQ(setFactoryDefaultsSLI4viaNEXA(kCv3Nic), CLU_REBOOT_REQUIRED);
    MalNetworkBootConfiguration b = bootOf(nic->tag);
    EXPECT_EQ(b.vlanId, -1);
    EXPECT_EQ(b.vlanPriority, -1);
    MalPersonalityInfo info;
    ASSERT_EQ(MAL_GetPersonalityInfo(controllerOf(kCv3Nic), &info), MAL_RM_OK);
    EXPECT_STREQ(info.configured, info.current);

    Machine without("", {"/nonexa"});
    EXPECT_EQ(setFactoryDefaultsSLI4viaNEXA(kCv3Fcoe), CLU_NEXA_NOT_AVAILABLE);
}

TEST(FactoryDefaults, AFailedActionNeverReadsAsSuccess) {
    Machine m;
    const int controller = controllerOf(kCv3Nic);
    // The injected code is the action's status and its last status.
    nexaFault("do_action:ResetFactoryDefaults", "rc=33", kCv3Adapter);
    EXPECT_EQ(MAL_ResetFactoryDefaults(controller), 33);
    EXPECT_EQ(setFactoryDefaultsSLI4viaNEXA(kCv3Nic), CLU_FACTORY_DEFAULTS_FAILED);
    // The last status cannot be read: the action's own status decides.
    nexaFault("get_last_status", "rc=9");
    EXPECT_EQ(MAL_ResetFactoryDefaults(controller), 33);
    EXPECT_EQ(setFactoryDefaultsSLI4viaNEXA(kCv3Nic), CLU_FACTORY_DEFAULTS_FAILED);
    // Only the CV3 controller's action fails; a successful action needs no status.
    EXPECT_EQ(setFactoryDefaultsSLI4viaNEXA(kTarnelNic), CLU_REBOOT_REQUIRED);
}

TEST(FfvName, WrittenTextReadsBackInANewProcessView) {
    Machine m;
    const int controller = controllerOf(kTarnelNic);
    EXPECT_EQ(MAL_SetFFVName(controller, "2.0.0007"), MAL_RM_OK);
    // Longer than 32 characters: NEXA refuses the value.
    EXPECT_EQ(MAL_SetFFVName(controller, std::string(33, '1').c_str()), MAL_RM_NEXA_ERROR);
    m.restart();
    EXPECT_STREQ(cnaAdapterOf(kTarnelNic)->attributes.ffvName, "2.0.0007");
}

TEST(ArmLog, WritesTheFileOrMapsNexaCodes) {
    Machine m;
    const int controller = controllerOf(kCv3Nic);
    std::string file = m.state().path("arm.efd");
    EXPECT_EQ(MAL_RetrieveARMLog(controller, file.c_str(), "RAM"), MAL_RM_OK);
    EXPECT_NE(hbatest::read_file(file).find("EFD\n"), std::string::npos);
    EXPECT_EQ(MAL_RetrieveARMLog(controller, file.c_str(), "SRAM"), MAL_RM_ARM_LOG_FAILED);
    nexaFault("do_action:RetrieveARMLog", "rc=205", kCv3Adapter);
    EXPECT_EQ(MAL_RetrieveARMLog(controller, file.c_str(), "RAM"), MAL_RM_NO_EXT_FAT_DATA);
}

TEST(Vpd, PiecesJoinedIntoBytes) {
    Machine m("adapter T tarnel\nfunction nic vpd = 82020041780a0b0c\n");
    const int nic = cnaNicRecordOf(0)->tag;
    uint8_t buffer[VPD_BUFFER_SIZE];
    uint32_t length = sizeof buffer;
    ASSERT_EQ(MAL_GetVPD(nic, buffer, &length), VPD_STATUS_OK);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + length),
              (std::vector<uint8_t>{0x82, 0x02, 0x00, 0x41, 0x78, 0x0A, 0x0B, 0x0C}));
    // The buffer must hold at least 1024 bytes, whatever the data needs.
    length = VPD_BUFFER_SIZE - 1;
    EXPECT_EQ(MAL_GetVPD(nic, buffer, &length), VPD_STATUS_BUFFER_SMALL);
    EXPECT_EQ(length, 0u);
    nexaFault("get_property_val:VPDData0", "rc=14");
    length = sizeof buffer;
    EXPECT_EQ(MAL_GetVPD(nic, buffer, &length), static_cast<uint32_t>(MAL_RM_BUSY));
}

} // namespace
