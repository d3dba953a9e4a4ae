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
void cmdDump(int) {
    commandNotAvailable("dump");
}

void cmdFactoryDefaults(int, bool) {
    commandNotAvailable("factorydefaults");
}
