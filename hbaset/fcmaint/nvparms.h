// NV parameters, revision words, adapter memory and the flash load list.
#pragma once
#include <cstdint>

#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/mbox_records.h"

// MBX_READ_NV into mb (cleared first). selector goes to words 1-3:
// READ_NV_EFFECTIVE gives the names in use (volatile ones override),
// READ_NV_NONVOLATILE the stored ones. On SLI-4 adapters the four name words
// are turned to host order. Returns the issue path's result.
uint32_t Read_NVPARMS(int adapter, MboxBuf* mb, uint32_t selector);
// MBX_WRITE_NV of words 5-9 of mb (host order; classic adapters set word 0
// bit 0, SLI-4 adapters send the name words in wire order). mb receives the
// completion; its name words stay in host order.
uint32_t Write_NVPARMS(int adapter, MboxBuf* mb);
NvParms nvParmsFromMbox(const MboxBuf& mb);
void nvParmsToMbox(const NvParms& nv, MboxBuf* mb);

// MBX_READ_REV: classic form (word 1 = 0x88000000) and SLI-4 form. The
// answer stays in mb; failures record the last failed command.
uint32_t ReadRev(int adapter, MboxBuf* mb);
uint32_t ReadRev4(int adapter, MboxBuf* mb);

constexpr uint32_t DUMP_MEMORY_MAX_WORDS = 27;
// Reads *words 32-bit words of adapter memory at address (at most 27 per
// call) into out. *words receives the words copied, never more than asked.
// An address outside the readable window gives 273.
uint32_t DumpMemory(int adapter, uint32_t* out, uint32_t address, uint32_t* words);

constexpr uint32_t LOAD_LIST_MAX_ENTRIES = 256;
// Walks the load list into entries (at most capacity, and at most 256). The
// walk ends at the list end, at address 0 or 0xFFFFFFFF, on a read failure
// (its status is returned with the entries read so far) or on an address seen
// before. *count receives the
// entries recorded.
uint32_t WalkLoadList(int adapter, LoadListEntry* entries, uint32_t capacity, uint32_t* count);

// MBX_DEL_LD_ENTRY of one program. Failure records the command and gives
// 0xFFFF0000.
uint32_t DeleteLoadEntry(int adapter, const ProgramId& program);
// Deletes every used load list entry of a program type.
uint32_t DeleteLoadEntriesOfType(int adapter, uint32_t programType);
