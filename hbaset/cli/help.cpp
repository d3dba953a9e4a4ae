// help: the command list and the syntax text of each command.
#include <cctype>
#include <cstring>

#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"

namespace {

constexpr const char* kProgramName = "hbaset.exe";
constexpr int kNamesPerRow = 4;

// The command list, byte for byte as scripts and the documentation compare
// it: these names in this order, the stray quote of "restoredefvlanprops'"
// included. Commands outside it (listattr, getbootparams, ...) still run;
// the complete command reference is the manual page.
const char* const kCommandList[] = {
    "@",
    "changepersonality",
    "disablebootdevice",
    "dmatest",
    "download",
    "dump",
    "enablebootdevice",
    "extloopback",
    "factorydefaults",
    "hbaattr",
    "help",
    "intloopback",
    "listboot",
    "listhba",
    "listmac",
    "listrev",
    "listWWN",
    "logfile",
    "pciloopback",
    "personalityinfo",
    "readaltboot",
    "readbootdevice",
    "readconfig",
    "readmac",
    "readvlanprops",
    "repeat",
    "reset",
    "restoreDefWWN",
    "restoreNVWWN",
    "restoredefsvmac",
    "restoredefvlanprops'",
    "restoreWWN",
    "saveWWN",
    "screendisplay",
    "scriptVWWNN",
    "scriptVWWPN",
    "scriptWWNN",
    "scriptWWPN",
    "setAltBoot",
    "setbootdevice",
    "version",
    "vpd",
    "writesvmac",
    "writeWWN",
    "writevlanprops",
};

struct HelpTopic {
    const char* topic; // upper case
    bool console;      // written with emitConsole instead of emitText
    const char* text;
};

// Paths in the download syntax use this platform's separator.
const HelpTopic kHelpTopics[] = {
    {"RESET", false, "Syntax: reset <n=adapter/all>\n"},
    {"REPEAT", false, "Syntax: repeat <r=count>\n"},
    {"WRITEWWN", false, "Syntax: writeWWN <n=adapter/all>\n"},
    {"CHANGEMAC", false, "Syntax: changeMAC <n=adapter> <m=MACAddress>\n"},
    {"LOADIMAGE", false, "Syntax: loadimage <n=adapter> <i=imagename> <t=type>\n"},
    {"LISTMAC", false, "Syntax: listmac\n"},
    {"PERSONALITYINFO", false, "Syntax: PersonalityInfo <n=adapter>\n"},
    {"RESTOREMAC", false, "Syntax: restoremac <n=adapter>\n"},
    {"CHANGEPERSONALITY", false, "Syntax: changePersonality <n=adapter> <p=personality>\n"},
    {"DOWNLOAD", false,
     "Syntax: download <n=adapter> <i=path\\image_filename>\n"
     "OR\nSyntax: download <a=adaptername> <i=path\\image_filename>\n"},
    {"DUMP", false, "Syntax: dump <n=adapter>\n"},
    {"@", false, "Syntax: @<script-file>\n"},
    {"PCILOOPBACK", false, "Syntax: pciloopback <n=adapter/all> <r=repeat-count> <o=option>\n"},
    {"DMATEST", false,
     "Syntax: dmatest <n=adapter/all> <p=pattern> <c=byte-count> <r=repeat-count>\n"},
    {"INTLOOPBACK", false,
     "Syntax: intloopback <n=adapter/all> <r=repeat-count> <o=option>\n"
     "OR\nSyntax (CNA): \nintloopback <n=adapter> <p=pattern> <c=byte-count> <r=repeat-count> "
     "<t=type>\n"},
    {"EXTLOOPBACK", false,
     "Syntax: extloopback <n=adapter/all> <r=repeat-count> <o=option>\n"
     "OR\nSyntax (CNA): \nextloopback <n=adapter> <p=pattern> <c=byte-count> <r=repeat-count>\n"},
    {"LOGFILE", false, "Syntax: logfile <l=filename>\n"},
    {"READCONFIG", false, "Syntax: readconfig <n=adapter> <r=region> <l=length>\n"},
    {"JUMPER", false, "Syntax: jumper <n=adapter> <s=selection> <r=region>\n"},
    {"LISTHBA", false, "Syntax: listhba\n"},
    {"LISTHBAS", false, "Syntax: listhba\n"},
    {"HBAATTR", true, "Syntax (all adapters): hbaattr\nOR\nSyntax hbaattr <n=adapter>\n"},
    {"VERSION", false, "Syntax: version\n"},
    {"VPD", false, "Syntax: vpd <n=adapter>\n"},
    {"LISTBOOT", false, "Syntax: listboot <n=adapter>\n"},
    {"ENABLEBOOTDEVICE", false, "Syntax: enablebootdevice <n=adapter>\n"},
    {"DISABLEBOOTDEVICE", false, "Syntax: disablebootdevice <n=adapter>\n"},
    {"SCREENDISPLAY", false, "Syntax: screendisplay <o=option>\n"},
    {"SETBOOTDEVICE", false,
     "Syntax: setbootdevice <n=adapter> <w0=WWPN 0> <w1=WWPN 1> <l=LUN> <t=topology>\n"
     "\tn:  Adapter number\n"
     "\tw0:  First four octets of the target WWPN (ex. \"10000000\")\n"
     "\tw1:  Last four octets of the target WWPN (ex. \"11abcdef\")\n"
     "\tl:  Target LUN number\n"
     "\tt:  Link topology\n"
     "\t    0 - Arbitrated Loop\n"
     "\t    1 - Point-to-Point\n"
     "\t    2 - Auto - Arbitrated Loop First\n"
     "\t    3 - Auto - Point-to-Point First\n\n"},
    {"SETALTBOOT", false,
     "Syntax: setAltBoot <n=adapter> <i=index> <w0=WWPN 0> <w1=WWPN 1> <l=LUN>\n"},
    {"SCRIPTWWPN", false, "Syntax: scriptWWPN <n=adapter> <w0=WWPN 0> <w1=WWPN 1>\n"},
    {"SCRIPTWWNN", false, "Syntax: scriptWWNN <n=adapter> <w0=WWNN 0> <w1=WWNN 1>\n"},
    {"SCRIPTVWWPN", false, "Syntax: scriptVWWPN <n=adapter> <w0=WWPN 0> <w1=WWPN 1>\n"},
    {"SCRIPTVWWNN", false, "Syntax: scriptVWWNN <n=adapter> <w0=WWNN 0> <w1=WWNN 1>\n"},
    {"READBOOTDEVICE", false, "Syntax: readbootdevice <n=adapter>\n"},
    {"READALTBOOT", false, "Syntax: readaltboot <n=adapter>\n"},
    {"LISTREV", false, "Syntax: listrev <n=adapter>\n"},
    {"LISTWWN", false, "Syntax: listWWN\n"},
    {"SAVEWWN", false, "Syntax: saveWWN <n=adapter> <c=wwnfilename>\n"},
    {"RESTORENVWWN", false, "Syntax: restoreNVWWN <n=adapter>\n"},
    {"RESTOREDEFWWN", false, "Syntax: restoreDefWWN <n=adapter>\n"},
    {"RESTOREWWN", false, "Syntax: restoreWWN <n=adapter> <c=wwnfilename>\n"},
    {"READMAC", false, "Syntax: readmac <n=adapter>\n\tn: The adapter number.\n"},
    {"READVLANPROPS", false, "Syntax: readvlanprops <n=adapter>\n\tn: The adapter number.\n"},
    {"RESTOREDEFSVMAC", false, "Syntax: restoredefsvmac <n=adapter>\n\tn: The adapter number.\n"},
    {"WRITESVMAC", false,
     "Syntax: writesvmac <n=adapter> <m=mac_address>\n"
     "\tn: The adapter number.\n"
     "\tm: The semi-volatile MAC Address to write. (ex. 001122334455)\n"},
    {"RESTOREDEFVLANPROPS", false,
     "Syntax: restoredefvlanprops <n=adapter>\n\tn: The adapter number.\n"},
    {"WRITEVLANPROPS", false,
     "Syntax: writevlanprops <n=adapter> <i=vlanId> <p=vlanPriority>\n"
     "\tn: The adapter number.\n"
     "\ti: The VLAN ID [0-4095].\n"
     "\tp: The VLAN Priority [0-7].\n"},
    {"FACTORYDEFAULTS", false, "Syntax: factorydefaults <n=adapter/all>\n"},
    {"NETWORKBOOT", false,
     "\tn:  Adapter number\n"
     "\tt:  Network boot type\n"
     "\t    pxe - PXE Boot\n"
     "\ts:  Status\n"
     "\t    0 - Disabled\n"
     "\t    1 - Enabled\n\n"},
};

} // namespace

void printCommandList() {
    emitText("Available Commands:\n");
    int column = 0;
    for (const char* name : kCommandList) {
        if (column == 0) emitText("    ");
        emitText("%-20s", name);
        if (++column == kNamesPerRow) {
            emitText("\n");
            column = 0;
        }
    }
    emitText("\nEnter %s help <command> for command syntax display\n", kProgramName);
}

int32_t printHelpTopic(const char* topic) {
    char upper[TOKEN_SIZE];
    size_t n = strnlen(topic, sizeof upper - 1);
    for (size_t k = 0; k < n; ++k)
        upper[k] = static_cast<char>(toupper(static_cast<unsigned char>(topic[k])));
    upper[n] = '\0';
    for (const HelpTopic& h : kHelpTopics) {
        if (strcmp(h.topic, upper) != 0) continue;
        if (h.console) {
            emitConsole("%s", h.text);
        } else {
            emitText("%s", h.text);
        }
        return CLU_OK;
    }
    emitText("Syntax Error\n");
    return CLU_SYNTAX;
}

void cmdHelp(const char* topic) {
    if (topic == nullptr) {
        printCommandList();
        g_run.cluStatus = CLU_OK;
        return;
    }
    g_run.cluStatus = printHelpTopic(topic);
}
