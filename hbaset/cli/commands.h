// Bodies of hbaset's commands. The interpreter parses each command's
// arguments and runs the adapter checks of its command table row, then calls
// the body with the adapter index (0-based, already checked) and the parsed
// values; values not passed as arguments are in g_args (interpreter.h).
// Every body leaves its outcome in g_run.cluStatus.
#pragma once
#include <cstdint>

// ---- interpreter's own commands ---------------------------------------------------------
// selection 0..2; region 6 or 7 (used with selection 2).
void cmdJumper(int index, uint32_t selection, uint32_t region);
// all: every FC entry in index order; else the one entry.
void cmdReset(int index, bool all);
void cmdLogFile(const char* name);
void cmdScreenDisplay(uint32_t option);
void cmdListCna();
// topic null: the command list.
void cmdHelp(const char* topic);

// ---- inventory ----------------------------------------------------------------------------
void cmdListHba();
void cmdListAttr();
void cmdListFw();
// all: every entry (n absent or n=all); else the one entry.
void cmdHbaAttr(int index, bool all);
void cmdPciData(int index);
void cmdVersion();

// ---- VPD --------------------------------------------------------------------------------------
void cmdVpd(int index);

// ---- boot devices -----------------------------------------------------------------------------
void cmdSetBootDevice(int index); // g_args.wwpn, lun, topology (code)
void cmdSetAltBoot(int index);    // g_args.bootIndex, wwpn, lun
void cmdReadBootDevice(int index);
void cmdReadAltBoot(int index);
void cmdListBoot(int index);
void cmdEnableBootDevice(int index);
void cmdDisableBootDevice(int index);
void cmdNetworkBoot(int index, uint32_t setting);
void cmdGetBootParams(int index);    // g_args.fileName: the kind text
void cmdSetDefBootParams(int index); // g_args.fileName: the kind text

// ---- WWN ----------------------------------------------------------------------------------------
enum ScriptWwnKind : int {
    SCRIPT_WWPN = 0,
    SCRIPT_WWNN = 1,
    SCRIPT_VWWPN = 2,
    SCRIPT_VWWNN = 3,
};
void cmdScriptWwn(int index, ScriptWwnKind kind); // g_args.wwpn / wwnn
void cmdWriteWwn(int index, bool all);
void cmdListWwn(int index, bool all);
void cmdRestoreNvWwn(int index);
void cmdRestoreDefWwn(int index);
void cmdSaveWwn(int index);    // g_args.fileName
void cmdRestoreWwn(int index); // g_args.fileName
void cmdPutFactory();          // the hidden factory command; reads the token table

// ---- regions, images, VPD files -------------------------------------------------------------
void cmdReadConfig(int index); // g_args.region, length
void cmdDownload(int index);   // g_args.fileName
void cmdDownloadByName();      // g_args.adapterName, fileName
void cmdLoadImage(int index, uint32_t type);
void cmdReadVitesse(int index, uint32_t offset, uint32_t count);
void cmdWriteVpd(int index); // g_args.fileName
void cmdSaveVpd(int index);  // g_args.fileName
void cmdReadNvLog(int index);

// ---- revision and FFV -----------------------------------------------------------------------
void cmdListRev(int index);
void cmdListFfv(int index);
void cmdWriteFfv(int index); // g_args.fileName: the FFV text

// ---- diagnostics ----------------------------------------------------------------------------
// The loopback commands parse their own arguments from the token table.
void cmdPciLoopback();
void cmdIntLoopback();
void cmdExtLoopback();
void cmdPhyLoopback();
void cmdMacLoopback();
void cmdDmaTest(int index); // g_args.pattern, byteCount, repeatCount
void cmdDump(int index);

// ---- converged adapters ---------------------------------------------------------------------
void cmdListMac(int index, bool all);
void cmdPersonalityInfo(int index);
void cmdChangePersonality(int index); // g_args.personality
void cmdFactoryDefaults(int index, bool all);
void cmdWriteSvMac(int index, uint16_t macHigh, uint32_t macLow);
void cmdRestoreDefSvMac(int index);
void cmdReadVlanProps(int index);
void cmdRestoreDefVlanProps(int index);
void cmdReadMac(int index);
void cmdWriteVlanProps(int index, uint32_t vlanId, uint32_t priority);

