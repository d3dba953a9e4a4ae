// Registry mask store of the masking filter ("qrxftr"): the LUN list, the
// masks at the LUN, target and HBA levels, and the move of masks from one kind
// of target name to another, all kept in the filter's own layout:
// "Services\qrxftr\NN" per HBA port (value "WWPN"), its "ScsiMap" (value
// "Flag" bit 1 = HBA-level unmask, "NumOfPorts") and one key per target
// ("WWPN%08x%08x", "WWNN%08x%08x" or "D_ID%06x") with "Flag" (bit 0 =
// target-level unmask) and "LunMapping" (LunMappingEntry[]).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>

#include "libtgx/lun_mask_internal.h"

namespace {

constexpr uint32_t kMapMaxEntries = 255; // LunMapping holds at most this many
constexpr uint32_t kValueMax = 3060;     // largest registry value copied or read

const char kFilterKey[] = "SYSTEM\\CurrentControlSet\\Services\\qrxftr";
const char kScsiMap[] = "ScsiMap";

// ---- registry store of the filter ---------------------------------------------

bool read_dword(PlatRegKey k, const char* name, uint32_t* v) {
    uint32_t type = 0, size = sizeof *v;
    return plat_reg_query_value(k, name, &type, v, &size) == PLAT_REG_OK &&
           type == PLAT_REG_DWORD && size == sizeof *v;
}

bool write_dword(PlatRegKey k, const char* name, uint32_t v) {
    return plat_reg_set_value(k, name, PLAT_REG_DWORD, &v, sizeof v) == PLAT_REG_OK;
}

void wwn_key_name(const char* prefix, const uint8_t* w, char* out, size_t size) {
    char hex[17];
    tgx_wwn_hex(w, hex, sizeof hex);
    snprintf(out, size, "%s%s", prefix, hex);
}

// Kind of a target key by its name prefix (either case); 0 for other keys.
uint32_t key_kind(const char* name) {
    if (strncasecmp(name, "D_ID", 4) == 0) return TGX_LUNMASK_BY_DID;
    if (strncasecmp(name, "WWPN", 4) == 0) return TGX_LUNMASK_BY_WWPN;
    if (strncasecmp(name, "WWNN", 4) == 0) return TGX_LUNMASK_BY_WWNN;
    return 0;
}

// Names of the subkeys of k.
std::vector<std::string> subkeys(PlatRegKey k) {
    std::vector<std::string> out;
    char name[256];
    for (uint32_t i = 0;; ++i) {
        uint32_t size = sizeof name;
        const int32_t st = plat_reg_enum_key(k, i, name, &size);
        if (st == PLAT_REG_MORE_DATA) continue;
        if (st != PLAT_REG_OK) break;
        out.push_back(name);
    }
    return out;
}

// Rewrites "NumOfPorts" of a ScsiMap with the number of its target keys;
// *count receives that number.
int32_t write_num_of_ports(PlatRegKey scsiMap, uint32_t* count) {
    uint32_t n = 0;
    for (const std::string& s : subkeys(scsiMap))
        n += key_kind(s.c_str()) != 0;
    *count = n;
    return write_dword(scsiMap, "NumOfPorts", n) ? PLAT_REG_OK : PLAT_REG_ERROR;
}

// The instance key of the port with this WWPN text; *highest gets the highest
// instance number seen (-1 when none).
bool find_instance(PlatRegKey svc, const char* portText, TgxRegKey* inst, int* highest) {
    *highest = -1;
    for (const std::string& name : subkeys(svc)) {
        if (name.empty() || name[0] < '0' || name[0] > '9') continue;
        const int number = atoi(name.c_str());
        if (number > *highest) *highest = number;
        TgxRegKey k;
        if (plat_reg_open_subkey(svc, name.c_str(), &k.k) != PLAT_REG_OK) {
            TraceLog("RegistryCmd: Open Instance Key error\n");
            continue;
        }
        char text[40] = {0};
        uint32_t type = 0, size = sizeof text - 1;
        if (plat_reg_query_value(k.k, "WWPN", &type, text, &size) != PLAT_REG_OK) continue;
        text[sizeof text - 1] = '\0';
        unsigned hi = 0, lo = 0;
        char own[20];
        if (sscanf(text, "%8x%8x", &hi, &lo) != 2) continue;
        snprintf(own, sizeof own, "%08x%08x", hi, lo);
        if (strcmp(own, portText) == 0) {
            inst->k = k.k;
            k.k = nullptr;
            return true;
        }
    }
    return false;
}

// Operation code of a set from the mask flag; 0 when the level is unknown.
uint32_t set_operation(uint32_t maskFlag) {
    const uint32_t level = maskFlag & 7;
    const bool mask = (maskFlag & TGX_LUNMASK_MASK) != 0;
    switch (level) {
    case TGX_LUNMASK_LEVEL_LUN:
        return mask ? 1 : 5;
    case TGX_LUNMASK_LEVEL_TARGET:
        return mask ? 2 : 6;
    case TGX_LUNMASK_LEVEL_HBA:
        return mask ? 3 : 7;
    default:
        return 0;
    }
}

// The empty answers of a command that finds no registry state.
uint32_t nothing_stored(RegCmd& c) {
    if (c.cmd == kCmdReadMap) {
        c.list->count = 0;
        return kStsOk;
    }
    if (c.cmd == kCmdMove) return kStsOk;
    return kStsRegMissing;
}

uint32_t moveLunMaskInfo(PlatRegKey scsiMap, RegCmd& c);

// The HBA and target levels: the "Flag" bit of the level in its key, the
// unMask bit it gives, the command that reads it, the set operations that
// clear (mask) and set (unmask) it, and the name of its trace lines. To add a
// level, add a row.
struct LevelForm {
    uint32_t flagBit;
    uint8_t unmaskBit;
    uint32_t readCmd;
    uint32_t maskOp, unmaskOp;
    const char* trace;
};
const LevelForm kHbaLevel = {2, TGX_UNMASK_HBA, kCmdHbaFlag, 3, 7, "HBALeveLunMask"};
const LevelForm kTargetLevel = {1, TGX_UNMASK_TARGET, kCmdTargetFlag, 2, 6, "TargetLeveLunMask"};

// One level's step of a command on its key; returns true when the command is
// finished (*status set).
bool level_step(const LevelForm& lv, PlatRegKey key, RegCmd& c, uint8_t* levelBits,
                uint32_t* status) {
    uint32_t oFlag = 0;
    const bool have = read_dword(key, "Flag", &oFlag);
    if (c.cmd == kCmdReadMap) {
        if (have && (oFlag & lv.flagBit)) *levelBits |= lv.unmaskBit;
        return false;
    }
    if (c.cmd == lv.readCmd) {
        c.flag = have && (oFlag & lv.flagBit) ? lv.unmaskBit : 0;
        *status = have ? kStsOk : kStsRegMissing;
        return true;
    }
    if (c.op != lv.maskOp && c.op != lv.unmaskOp) return false;
    const uint32_t flag = c.op == lv.unmaskOp ? (oFlag | lv.flagBit) : (oFlag & ~lv.flagBit);
    TraceLog("%s: oFlag=%x Write Flag=%x, cmd=%x op=%x\n", lv.trace, oFlag, flag, c.cmd, c.op);
    *status = write_dword(key, "Flag", flag) ? kStsOk : kStsUnknown;
    return true;
}

// LUN level: command 1 reads the mapping into the caller's list, command 2
// marks (operation 1) or clears (5) the LUNs of the range.
uint32_t lun_level(PlatRegKey target, RegCmd& c, uint8_t levelBits) {
    std::vector<LunMappingEntry> map(kMapMaxEntries);
    uint32_t type = 0, size = kMapMaxEntries * sizeof(LunMappingEntry);
    const int32_t st = plat_reg_query_value(target, "LunMapping", &type, map.data(), &size);
    if (st == PLAT_REG_NOT_FOUND)
        size = 0;
    else if (st != PLAT_REG_OK)
        return kStsFailed;
    map.resize(size / sizeof(LunMappingEntry));

    if (c.cmd == kCmdReadMap) {
        const uint32_t capacity = c.list->count;
        const uint32_t n = (uint32_t)map.size() < capacity ? (uint32_t)map.size() : capacity;
        for (uint32_t i = 0; i < n; ++i) {
            LunListEntry& e = c.list->entries[i];
            e.wordA = map[i].wordA;
            e.wordB = map[i].wordB;
            e.osLun = map[i].lun;
            e.state = (uint8_t)((map[i].flags >> 1) & 1);
            e.unMask = (uint8_t)(levelBits | (~map[i].flags & 1));
            TraceLog("osLun=%x State=%x unMask=%x\n", e.osLun, e.state, e.unMask);
        }
        c.list->count = (uint32_t)map.size();
        return map.size() > capacity ? kStsMore : kStsOk;
    }

    std::vector<DriverLun> driver;
    uint32_t driverCount = 0;
    if (lunmask_driver_luns(c.board, c.target, kDriverLunCapacity, TGX_SIZE_INQUIRE_LUNLIST,
                            &driver, &driverCount) != kStsOk)
        return kStsFailed;
    TraceLog("\nLunMapCnt=%d startLun=%x\n", (int)map.size(), c.first);
    const uint16_t bit = c.op == 1 ? 1 : 0;
    for (uint32_t lun = c.first; lun < c.first + c.count; ++lun) {
        LunMappingEntry* have = nullptr;
        for (LunMappingEntry& m : map)
            if (m.lun == lun) have = &m;
        if (have) {
            have->flags = (uint16_t)((have->flags & ~1u) | bit);
            continue;
        }
        // The map holds 255 entries at most: a set that needs more is refused
        // whole, before anything is written.
        if (map.size() >= kMapMaxEntries) return kStsMapWrite;
        LunMappingEntry add = {(uint16_t)lun, bit, 0, 0};
        for (const DriverLun& d : driver)
            if (d.osLun == lun) {
                add.wordA = d.wordA;
                add.wordB = d.wordB;
            }
        map.push_back(add);
    }
    const uint32_t bytes = (uint32_t)(map.size() * sizeof(LunMappingEntry));
    if (plat_reg_set_value(target, "LunMapping", PLAT_REG_BINARY, map.data(), bytes) != PLAT_REG_OK)
        return kStsMapWrite;
    return kStsOk;
}

// Steps of a registry command on an open "ScsiMap".
uint32_t on_scsi_map(PlatRegKey scsiMap, RegCmd& c) {
    if (c.cmd == kCmdMove) return moveLunMaskInfo(scsiMap, c);
    uint8_t levelBits = 0;
    uint32_t status = kStsOk;
    if (c.cmd != kCmdTargetFlag && level_step(kHbaLevel, scsiMap, c, &levelBits, &status))
        return status;
    char name[32];
    wwn_key_name("WWPN", c.target, name, sizeof name);
    TgxRegKey target;
    int32_t st;
    if (c.cmd == kCmdSet) {
        st = plat_reg_create_subkey(scsiMap, name, &target.k);
        if (st == PLAT_REG_OK) {
            uint32_t ports = 0;
            const int32_t w = write_num_of_ports(scsiMap, &ports);
            TraceLog("RegisterCmd: NumOfPort=%x status=%x\n", ports, (unsigned)w);
            if (w != PLAT_REG_OK) return kStsUnknown;
        }
    } else {
        st = plat_reg_open_subkey(scsiMap, name, &target.k);
    }
    if (st != PLAT_REG_OK) {
        TraceLog("Open Target Key failed cmd = %x %s\n", c.cmd, name);
        if (c.cmd == kCmdReadMap) return nothing_stored(c);
        return c.cmd == kCmdTargetFlag ? kStsRegMissing : kStsFailed;
    }
    if (level_step(kTargetLevel, target.k, c, &levelBits, &status)) return status;
    return lun_level(target.k, c, levelBits);
}

} // namespace

uint32_t RegisterCmd(RegCmd& c) {
    if (!tgx_board_ok(c.board)) return kStsBadBoard16;
    if (lunmask_port_driver(c.board)) return kStsBadArg;
    HBA_PortAttributes pa = {};
    if (GetAdapterPortAttributes(c.board, 0, &pa) != 0) return kStsFailed;
    if (c.cmd == kCmdSet) {
        c.op = set_operation(c.maskFlag);
        if (c.op == 0) return kStsBadArg;
    }
    char portText[20];
    tgx_wwn_hex(pa.PortWWN, portText, sizeof portText);

    TgxRegKey svc;
    if (plat_reg_open_key(PLAT_HKLM, kFilterKey, &svc.k) != PLAT_REG_OK) {
        if (c.cmd != kCmdSet) return nothing_stored(c);
        if (plat_reg_create_key(PLAT_HKLM, kFilterKey, &svc.k) != PLAT_REG_OK) return kStsFailed;
    }
    TgxRegKey inst;
    int highest = -1;
    TgxRegKey scsiMap;
    if (!find_instance(svc.k, portText, &inst, &highest)) {
        if (c.cmd != kCmdSet) return nothing_stored(c);
        // A fresh instance numbered above every one present, with its
        // "WWPN" and "ScsiMap"; the set then applies to the empty tree.
        char number[16];
        snprintf(number, sizeof number, "%02d", highest + 1 > 0 ? highest + 1 : 1);
        if (plat_reg_create_subkey(svc.k, number, &inst.k) != PLAT_REG_OK ||
            plat_reg_set_value(inst.k, "WWPN", PLAT_REG_SZ, portText,
                               (uint32_t)strlen(portText) + 1) != PLAT_REG_OK ||
            plat_reg_create_subkey(inst.k, kScsiMap, &scsiMap.k) != PLAT_REG_OK)
            return kStsUnknown;
        return on_scsi_map(scsiMap.k, c);
    }
    const int32_t st = c.cmd == kCmdSet ? plat_reg_create_subkey(inst.k, kScsiMap, &scsiMap.k)
                                        : plat_reg_open_subkey(inst.k, kScsiMap, &scsiMap.k);
    if (st != PLAT_REG_OK) {
        if (c.cmd == kCmdReadMap || c.cmd == kCmdMove) return nothing_stored(c);
        if (c.cmd == kCmdHbaFlag || c.cmd == kCmdTargetFlag) return kStsRegMissing;
        return kStsFailed;
    }
    return on_scsi_map(scsiMap.k, c);
}

namespace {

// ---- moving registry masks between kinds of target names ---------------------

// The node a target key names, or null.
const NodeListEntry* node_named(const std::string& name, uint32_t kind, RegCmd& c) {
    for (uint32_t i = 0; i < c.nodeCount; ++i) {
        const NodeListEntry& n = c.nodes->entries[i];
        char own[32];
        if (kind == TGX_LUNMASK_BY_DID)
            snprintf(own, sizeof own, "D_ID%06x", n.dId);
        else
            wwn_key_name(kind == TGX_LUNMASK_BY_WWPN ? "WWPN" : "WWNN",
                         kind == TGX_LUNMASK_BY_WWPN ? n.wwpn : n.wwnn, own, sizeof own);
        // D_ID names must read back exactly; WWN names compare without case.
        const bool same =
            kind == TGX_LUNMASK_BY_DID ? name == own : strcasecmp(name.c_str(), own) == 0;
        if (same) {
            if (kind == TGX_LUNMASK_BY_DID) {
                TraceLog("moveLunMaskInfo: d_id found %x\n", n.dId);
                TraceLog("moveLunMaskInfo: nodeList d_id=%x nodeNo=%x\n", n.dId, i);
            } else {
                TraceLog(kind == TGX_LUNMASK_BY_WWPN ? "moveLunMaskInfo: WWPN match found\n"
                                                     : "moveLunMaskInfo: WWNN found\n");
            }
            return &n;
        }
    }
    return nullptr;
}

// Copies every value of src into dst; false on the first failure.
bool copy_values(PlatRegKey src, PlatRegKey dst) {
    std::vector<uint8_t> data(kValueMax);
    char name[256];
    for (uint32_t i = 0;; ++i) {
        uint32_t nameSize = sizeof name, type = 0, size = kValueMax;
        const int32_t st = plat_reg_enum_value(src, i, name, &nameSize, &type, data.data(), &size);
        if (st == PLAT_REG_NO_MORE_ITEMS) return true;
        if (st != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Query target value failed\n");
            return false;
        }
        TraceLog("moveLunMaskInfo: Query target key value size=%x\n", size);
        if (plat_reg_set_value(dst, name, type, data.data(), size) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: write value to dest key failed\n");
            return false;
        }
    }
}

uint32_t moveLunMaskInfo(PlatRegKey scsiMap, RegCmd& c) {
    const uint32_t source = c.first, dest = c.count;
    TraceLog("moveLunMaskInfo: source=%x dest=%x nodeCnt=%x\n", source, dest, c.nodeCount);
    bool matched = false;
    for (const std::string& name : subkeys(scsiMap)) {
        if (key_kind(name.c_str()) != source) continue;
        const NodeListEntry* n = node_named(name, source, c);
        if (!n) continue;
        TgxRegKey src, dst;
        if (plat_reg_open_subkey(scsiMap, name.c_str(), &src.k) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Open Target Key Failed\n");
            return kStsFailed;
        }
        char destName[32];
        if (dest == TGX_LUNMASK_BY_DID)
            snprintf(destName, sizeof destName, "D_ID%06x", n->dId & 0xFFFFFF);
        else
            wwn_key_name(dest == TGX_LUNMASK_BY_WWPN ? "WWPN" : "WWNN",
                         dest == TGX_LUNMASK_BY_WWPN ? n->wwpn : n->wwnn, destName,
                         sizeof destName);
        TraceLog("moveLunMaskInfo: WWN=%x %x\n", lunmask_be32(n->wwpn), lunmask_be32(n->wwpn + 4));
        if (plat_reg_create_subkey(scsiMap, destName, &dst.k) != PLAT_REG_OK) {
            TraceLog("moveLunMaskInfo: Error on creating destination key\n");
            return kStsFailed;
        }
        if (!copy_values(src.k, dst.k)) return kStsFailed;
        matched = true;
    }
    if (!matched) {
        TraceLog("moveLunMaskInfo: No (matched) entries found\n");
        return kStsOk;
    }
    uint32_t ports = 0;
    const int32_t st = write_num_of_ports(scsiMap, &ports);
    TraceLog("moveLunMaskInfo: portCnt=%x status=%x\n", ports, (unsigned)st);
    return kStsOk;
}

} // namespace
