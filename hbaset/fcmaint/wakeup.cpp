// Wakeup parameters (config region 4) and the expansion ROM load.
#include "hbaset/fcmaint/wakeup.h"

#include <cstring>

#include "hbaset/cli/message.h"
#include "hbaset/fcmaint/config_region.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/rm_status.h"

namespace {

// Word offsets of the record's fields in the 60-byte region.
void getProgram(const uint8_t* in, size_t word, ProgramId* p) {
    p->w0 = le32(in + 4 * word);
    p->w1 = le32(in + 4 * word + 4);
}
void putProgram(uint8_t* out, size_t word, const ProgramId& p) {
    putLe32(out + 4 * word, p.w0);
    putLe32(out + 4 * word + 4, p.w1);
}

// Upper bound of progress polls per phase of the expansion ROM load.
constexpr int kExpRomMaxPolls = 64;

} // namespace

void decodeWakeupParms(const uint8_t in[WAKEUP_PARMS_SIZE], WakeupParms* out) {
    getProgram(in, 0, &out->init);
    out->control = le32(in + 8);
    getProgram(in, 3, &out->bootBios);
    getProgram(in, 5, &out->sli1);
    getProgram(in, 7, &out->sli2);
    getProgram(in, 9, &out->sli3);
    getProgram(in, 11, &out->sli4);
    getProgram(in, 13, &out->expRom);
}

void encodeWakeupParms(const WakeupParms& in, uint8_t out[WAKEUP_PARMS_SIZE]) {
    putProgram(out, 0, in.init);
    putLe32(out + 8, in.control);
    putProgram(out, 3, in.bootBios);
    putProgram(out, 5, in.sli1);
    putProgram(out, 7, in.sli2);
    putProgram(out, 9, in.sli3);
    putProgram(out, 11, in.sli4);
    putProgram(out, 13, in.expRom);
}

ProgramId* wakeupSlot(WakeupParms* parms, uint32_t type) {
    switch (type) {
    case PROGRAM_TYPE_INIT:
        return &parms->init;
    case PROGRAM_TYPE_BOOT:
        return &parms->bootBios;
    case PROGRAM_TYPE_SLI1:
        return &parms->sli1;
    case PROGRAM_TYPE_SLI2:
        return &parms->sli2;
    case PROGRAM_TYPE_SLI3:
        return &parms->sli3;
    case PROGRAM_TYPE_SLI4:
        return &parms->sli4;
    default:
        return nullptr;
    }
}

uint32_t ReadWakeupParms(int adapter, WakeupParms* out) {
    uint8_t raw[WAKEUP_PARMS_SIZE] = {};
    uint32_t length = WAKEUP_PARMS_SIZE;
    uint32_t st = DumpConfigRegion(adapter, REGION_WAKEUP, 0, &length, raw);
    if (st == 0 && length < WAKEUP_PARMS_SIZE) st = RM_STATUS_ERROR;
    decodeWakeupParms(raw, out);
    return st;
}

namespace {

uint32_t writeWakeup(int adapter, const WakeupParms& parms, bool bootForm) {
    MboxBuf mb;
    mboxInit(&mb, MBX_UPDATE_CFG);
    mb.w[1] = UPDATE_CFG_DATA;
    if (bootForm) {
        mb.w[0] |= 1;
        mb.w[1] |= MBX_FLAG_BIT4;
    }
    mb.w[2] = REGION_WAKEUP | (WAKEUP_PARMS_SIZE << 16);
    mb.w[4] = WAKEUP_PARMS_SIZE;
    encodeWakeupParms(parms, mboxBytes(&mb) + MBOX_DATA_OFFSET);
    if (IssueMbox1(adapter, &mb) != 0) {
        mboxRecordFailure(mb);
        return RM_STATUS_WAKEUP_FAILED;
    }
    return 0;
}

} // namespace

uint32_t UpdateWakeupParms(int adapter, const WakeupParms& parms) {
    return writeWakeup(adapter, parms, false);
}

uint32_t UpdateWakeupParmsBoot(int adapter, const WakeupParms& parms) {
    return writeWakeup(adapter, parms, true);
}

uint32_t UpdateWakeupParmsProgram(int adapter, const ProgramId& program, bool hasExpansionRom) {
    WakeupParms parms;
    if (ReadWakeupParms(adapter, &parms) != 0) {
        setMessageLine("Read fails  ");
        emitLine();
        return RM_STATUS_WAKEUP_FAILED;
    }
    uint32_t type = programType(program);
    ProgramId* slot = wakeupSlot(&parms, type);
    if (slot == nullptr) return RM_STATUS_NO_WAKEUP_SLOT;
    *slot = program;
    if (type == PROGRAM_TYPE_BOOT && hasExpansionRom) {
        parms.expRom = program;
        uint32_t st = LoadExpansionRom(adapter, parms, true);
        if (st != 0) return st;
    }
    return UpdateWakeupParms(adapter, parms);
}

namespace {

// One step of the expansion ROM load; *progress receives word 1 bits 8-15.
uint32_t expRomStep(int adapter, const WakeupParms& parms, uint32_t step, uint32_t* progress) {
    MboxBuf mb;
    mboxInit(&mb, MBX_LOAD_EXP_ROM);
    mb.w[1] = step << 16;
    mb.w[4] = parms.expRom.w0;
    mb.w[5] = parms.expRom.w1;
    uint32_t st = IssueMbox1(adapter, &mb);
    if (st != 0) {
        mboxRecordFailure(mb);
        return st;
    }
    *progress = (mb.w[1] >> 8) & 0xFF;
    return 0;
}

uint32_t finishExpRom(int adapter, const WakeupParms& parms, bool skipUpdate) {
    return skipUpdate ? 0 : UpdateWakeupParms(adapter, parms);
}

} // namespace

uint32_t LoadExpansionRom(int adapter, const WakeupParms& parms, bool skipUpdate) {
    uint32_t progress = 0;
    uint32_t st = expRomStep(adapter, parms, EXPROM_STEP_START, &progress);
    if (st != 0) return st;
    if (progress == EXPROM_LOADED) return finishExpRom(adapter, parms, skipUpdate);
    if (progress != EXPROM_STEP_START) return RM_STATUS_EXPROM_PROGRESS;

    // Copy phase: ask until the adapter reports 9; it may still answer 8.
    for (int polls = 0; progress != EXPROM_STEP_COPY; ++polls) {
        if (polls == kExpRomMaxPolls) return RM_STATUS_EXPROM_PROGRESS;
        st = expRomStep(adapter, parms, EXPROM_STEP_COPY, &progress);
        if (st != 0) return st;
        if (progress != EXPROM_STEP_START && progress != EXPROM_STEP_COPY)
            return RM_STATUS_EXPROM_PROGRESS;
    }
    // Finish phase: ask until the adapter reports 11.
    for (int polls = 0; progress != EXPROM_LOADED; ++polls) {
        if (polls == kExpRomMaxPolls) return RM_STATUS_EXPROM_PROGRESS;
        st = expRomStep(adapter, parms, EXPROM_STEP_FINISH, &progress);
        if (st != 0) return st;
        if (progress != EXPROM_STEP_COPY && progress != EXPROM_STEP_FINISH &&
            progress != EXPROM_LOADED)
            return RM_STATUS_EXPROM_PROGRESS;
    }
    return finishExpRom(adapter, parms, skipUpdate);
}
