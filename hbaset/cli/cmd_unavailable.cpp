// Commands whose bodies this build does not carry yet: the interpreter has
// parsed and checked their arguments; each answers with one line naming the
// command and status 71.
#include "hbaset/cli/commands.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

void commandNotAvailable(const char* name) {
    setMessageLine("Command %s is not available in this build", name);
    emitLine();
    g_run.cluStatus = CLU_NOT_SUPPORTED;
}

void cmdSetBootDevice(int) {
    commandNotAvailable("setbootdevice");
}
void cmdSetAltBoot(int) {
    commandNotAvailable("setAltBoot");
}
void cmdReadBootDevice(int) {
    commandNotAvailable("readbootdevice");
}
void cmdReadAltBoot(int) {
    commandNotAvailable("readaltboot");
}
void cmdListBoot(int) {
    commandNotAvailable("listboot");
}
void cmdEnableBootDevice(int) {
    commandNotAvailable("enablebootdevice");
}
void cmdDisableBootDevice(int) {
    commandNotAvailable("disablebootdevice");
}
void cmdNetworkBoot(int, uint32_t) {
    commandNotAvailable("networkboot");
}
void cmdGetBootParams(int) {
    commandNotAvailable("getbootparams");
}
void cmdSetDefBootParams(int) {
    commandNotAvailable("setdefbootparams");
}

void cmdScriptWwn(int, ScriptWwnKind kind) {
    static const char* const names[] = {"scriptWWPN", "scriptWWNN", "scriptVWWPN", "scriptVWWNN"};
    commandNotAvailable(names[kind & 3]);
}
void cmdWriteWwn(int, bool) {
    commandNotAvailable("writeWWN");
}
void cmdListWwn(int, bool) {
    commandNotAvailable("listWWN");
}
void cmdRestoreNvWwn(int) {
    commandNotAvailable("restoreNVWWN");
}
void cmdRestoreDefWwn(int) {
    commandNotAvailable("restoreDefWWN");
}
void cmdSaveWwn(int) {
    commandNotAvailable("saveWWN");
}
void cmdRestoreWwn(int) {
    commandNotAvailable("restoreWWN");
}
void cmdPutFactory() {
    commandNotAvailable("the factory command");
}

void cmdReadConfig(int) {
    commandNotAvailable("readconfig");
}
void cmdLoadImage(int, uint32_t) {
    commandNotAvailable("loadimage");
}
void cmdReadVitesse(int, uint32_t, uint32_t) {
    commandNotAvailable("readvitesse");
}
void cmdWriteVpd(int) {
    commandNotAvailable("writeVPD");
}
void cmdSaveVpd(int) {
    commandNotAvailable("saveVPD");
}
void cmdReadNvLog(int) {
    commandNotAvailable("readNVlog");
}

void cmdListRev(int) {
    commandNotAvailable("listrev");
}
void cmdListFfv(int) {
    commandNotAvailable("listffv");
}
void cmdWriteFfv(int) {
    commandNotAvailable("writeffv");
}

void cmdPciLoopback() {
    commandNotAvailable("pciloopback");
}
void cmdIntLoopback() {
    commandNotAvailable("intloopback");
}
void cmdExtLoopback() {
    commandNotAvailable("extloopback");
}
void cmdPhyLoopback() {
    commandNotAvailable("phyloopback");
}
void cmdMacLoopback() {
    commandNotAvailable("macloopback");
}
void cmdDmaTest(int) {
    commandNotAvailable("dmatest");
}
void cmdDump(int) {
    commandNotAvailable("dump");
}

void cmdListMac(int, bool) {
    commandNotAvailable("listmac");
}
void cmdPersonalityInfo(int) {
    commandNotAvailable("PersonalityInfo");
}
void cmdChangePersonality(int) {
    commandNotAvailable("changePersonality");
}
void cmdFactoryDefaults(int, bool) {
    commandNotAvailable("factorydefaults");
}
void cmdWriteSvMac(int, uint16_t, uint32_t) {
    commandNotAvailable("writesvmac");
}
void cmdRestoreDefSvMac(int) {
    commandNotAvailable("restoredefsvmac");
}
void cmdReadVlanProps(int) {
    commandNotAvailable("readvlanprops");
}
void cmdRestoreDefVlanProps(int) {
    commandNotAvailable("restoredefvlanprops");
}
void cmdReadMac(int) {
    commandNotAvailable("readmac");
}
void cmdWriteVlanProps(int, uint32_t, uint32_t) {
    commandNotAvailable("writevlanprops");
}
