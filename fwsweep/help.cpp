// The help text: banner, usage items and one paragraph per switch.
#include <cstddef>

#include "fwsweep/output.h"
#include "fwsweep/switches.h"
#include "fwsweep/version.h"

namespace {

const char* const kUsage[] = {
    "[/auto]",
    "[/downgrade]",
    "[/e]",
    "[/f]",
    "[/ff]",
    "[/fmd=<fwmatrix_dir>]",
    "[/g]",
    "[/help]",
    "[/id=<image_dir>]",
    "[/iv=<image_file>]",
    "[/log=<logfile>]",
    "[/q]",
    "[/p]",
    "[/ramdrive=<drv>[:]]",
    "[/rewrite]",
    "[/s]",
    "[/update]",
    "[/v]",
    "[/vpd]",
    "[/xml]",
    "[/?]",
};

// Switches for programs and the update history, after the classic ones.
const char* const kUsageMore[] = {
    "[/json]",
    "[/history]",
    "[/historyfile=<file>]",
    "[/verify]",
};

// Continuation lines of a paragraph start with this.
#define NL "\n                "

const char* const kParagraphs[] = {
    "\n    /auto       Auto - Instructs fwsweep to ignore the fwmatrix.txt file," NL
    "automatically discover all HBAs and use the images in the firmware" NL
    "directory. The firmware directory must hold image files named as" NL "released by Quoral.",
    "\n    /downgrade  Downgrade - Compares the installed versions with the" NL
    "fwmatrix.txt file (or with /auto, the images in the firmware directory)" NL
    "and downloads when the installed version is higher. With /auto the" NL
    "next-previous version is taken.",
    "\n    /e          Short form of /rewrite.",
    "\n    /f          Short form of /ff.",
    "\n    /ff         Force firmware - Forces the download of the firmware named" NL
    "in the fwmatrix.txt file (the highest version with /auto).",
};

const char* const kParagraphsTail[] = {
    "\n    /g          Short form of /downgrade.",
    "\n    /h or /?    Help - Displays this help text.",
    "\n    /log        Log - Appends the output to a log file (/log=<logfile>).",
    "\n    /id=<image_dir> Base directory where the firmware and boot directories" NL
    "are located.",
    "\n    /iv=<image_file> Image version - Displays the version of an image file.",
    "\n    /p          Preview - Goes through a download without downloading. Must" NL
    "be combined with an operational switch.",
    "\n    /q          Query - Displays the model, WWN, PCI ID, VID, SSID, SVID," NL
    "firmware and boot code versions of every HBA.",
};

const char* const kParagraphsEnd[] = {
    "\n    /rewrite    Rewrite - Compares the installed versions with the" NL
    "fwmatrix.txt file (or with /auto, the images in the firmware directory)" NL
    "and downloads when the installed version is lower or equal. The highest" NL
    "version is taken.",
    "\n    /s          Silent - No output on standard output.",
    "\n    /update     Update - Compares the installed versions with the" NL
    "fwmatrix.txt file (or with /auto, the images in the firmware directory)" NL
    "and downloads when the new version is higher. The highest version is" NL
    "taken. With a download switch the field \"Supported Firmware\" is added.",
    "\n    /v          Verbose - Shows progress messages.",
    "\n    /vpd        VPD - Shows the VPD model name. Needs one of" NL
    "/downgrade /e /f /ff /q /xml /update.",
    "\n    /xml        XML - Gives XML output.",
    "\n    /json       JSON - Gives one JSON document on standard output (also" NL
    "--json); messages go to standard error.",
    "\n    /history    History - Lists the recorded firmware downloads.",
    "\n    /historyfile=<file> History file - Records the downloads in this file" NL
    "(default: $FWSWEEP_HISTORY, else fwsweep-history.jsonl" NL "in the state folder).",
    "\n    /verify     Verify - Flashes only images listed with their digest in" NL
    "a SHA256SUMS file of the firmware or fwmatrix.txt directory.",
};

void printAll(const char* const* lines, size_t n) {
    for (size_t i = 0; i < n; ++i)
        outText("%s", lines[i]);
}

} // namespace

void printHelp(char driveLetter) {
    outText("\n%s v%s - Quoral CNA Firmware Update Utility\n", FWS_BANNER_NAME, fwsweepVersion());
    outText("\n%s ", FWS_PROGRAM);
    for (size_t i = 0; i < sizeof kUsage / sizeof kUsage[0]; ++i) {
        outText("%s ", kUsage[i]);
        if (i == 5 || i == 10 || i == 15 || i == 20) outText("\n    ");
    }
    for (const char* item : kUsageMore)
        outText("%s ", item);
    outText("\n    ");
    printAll(kParagraphs, sizeof kParagraphs / sizeof kParagraphs[0]);
    outText("\n    /fmd=<fwmatrix_dir> Base directory where the %s file is located.",
            FWS_MATRIX_FILE);
    printAll(kParagraphsTail, sizeof kParagraphsTail / sizeof kParagraphsTail[0]);
    outText("\n    /ramdrive   RAM drive - Names the drive for temporary and log" NL
            "files. Default is drive %c:.",
            driveLetter);
    printAll(kParagraphsEnd, sizeof kParagraphsEnd / sizeof kParagraphsEnd[0]);
    outText("\n");
}
