// loadimage and readvitesse: the PHY firmware of the CIOV board (PCI
// subsystem id 0xF124), reached through MBX_DOWN_LOAD with 0x8C in word 1
// bits 8-15.
//
// Load: one mailbox per file line (lines end with CR LF; a line shorter than
// a full record, or the one at the end of the file, is the last). Word 1 bits
// 1, 3 and 5 (bit 0 on the last line), word 2 the line's file offset, word 3
// its length, word 4 32, word 7 the line number parity; the text from byte 32,
// the bytes of each word reversed, (length + 5) rounded down to even, zero-
// padded. The answer to the last line carries the boot loader version (word 5)
// and the checksum error count (low byte of word 6). The whole file is checked
// before the first line is sent, so a line that does not fit the mailbox
// never leaves the PHY with half an image.
//
// Read: word 1 bit 16, word 2 address, word 3 count, word 4 20; the data
// comes back from word 5. Address 0 holds the four application version bytes.
#include <cstdio>
#include <cstring>
#include <vector>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/command_table.h"
#include "hbaset/cli/named_files.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/interpreter.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/mailbox.h"
#include "libtgx/libtgx.h"

namespace {

constexpr int32_t CLU_VITESSE_FAILED = 2;
constexpr int32_t CLU_NOT_CIOV = 67;
constexpr uint16_t kCiovSubsystemId = 0xF124;
constexpr uint32_t kVitesseSelect = 0x8Cu << 8;
constexpr uint32_t kLoadFlags = 0x2A; // bits 1, 3 and 5
constexpr uint32_t kLoadLast = 0x1;
constexpr uint32_t kReadFlag = 1u << 16;
constexpr uint32_t kTextOffset = 32; // line text starts at this mailbox byte
constexpr uint32_t kReadDataOffset = 20;
constexpr uint32_t kFullLine = 77;     // characters of a full record, CR LF included
constexpr size_t kLineBufferMax = 264; // longest line the file may hold
constexpr uint32_t kPromptType = 225;

bool isCiovBoard(int index) {
    return adapterAt(index)->subsystemId == kCiovSubsystemId;
}

// Mailbox words IssueMbox1 sends for this adapter.
uint32_t mailboxBytes(int index) {
    return (isSli4(index) ? MBOX_SLI4_WORDS : MBOX_CLASSIC_WORDS) * 4;
}

// Text bytes a line of this length occupies in the mailbox.
uint32_t sentBytes(uint32_t length) {
    return (length + 5) & ~1u;
}

bool validAdapter(int index) {
    if (isFcIndex(index)) return true;
    sayf("Invalid Adapter Number: %u", static_cast<unsigned>(g_args.adapterNumber));
    g_run.cluStatus = CLU_INVALID_ADAPTER;
    return false;
}

// Waits for Enter. Input that ends first is no Enter: false after the
// message, and the command stops with 27 as the other prompts do.
bool waitForEnter() {
    emitText("\nHit RETURN or ENTER key to continue\n");
    int c;
    while ((c = fgetc(stdin)) != EOF) {
        if (c == '\n') return true;
    }
    say("Input ended before RETURN or ENTER");
    return false;
}

struct Line {
    uint32_t offset;
    uint32_t length;
};

// Splits the file into lines (each through its LF). False when a line is
// longer than the line buffer.
bool splitLines(const std::vector<uint8_t>& file, std::vector<Line>* lines) {
    uint32_t start = 0;
    for (uint32_t i = 0; i < file.size(); ++i) {
        if (file[i] != '\n' && i + 1 != file.size()) continue;
        uint32_t length = i + 1 - start;
        if (length > kLineBufferMax) return false;
        lines->push_back({start, length});
        start = i + 1;
    }
    return true;
}

bool readWholeFile(const char* name, std::vector<uint8_t>* out) {
    FILE* f = openCommandInput(name);
    if (f == nullptr) return false;
    uint8_t chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        out->insert(out->end(), chunk, chunk + n);
    bool bad = ferror(f) != 0;
    fclose(f);
    return !bad;
}

// One line into the mailbox: text from byte 32, each word byte-reversed.
void putLineText(MboxBuf* mb, const uint8_t* text, uint32_t length) {
    uint8_t* bytes = mboxBytes(mb) + kTextOffset;
    uint32_t sent = sentBytes(length);
    for (uint32_t i = 0; i < sent; ++i) {
        uint8_t b = i < length ? text[i] : 0;
        bytes[(i & ~3u) + (3 - (i & 3u))] = b;
    }
}

uint32_t readVitesse(int index, uint32_t address, uint32_t count, MboxBuf* mb) {
    mboxInit(mb, MBX_DOWN_LOAD);
    mb->w[1] = kVitesseSelect | kReadFlag;
    mb->w[2] = address;
    mb->w[3] = count;
    mb->w[4] = kReadDataOffset;
    return IssueMbox1(index, mb);
}

int32_t loadImage(int index) {
    std::vector<uint8_t> file;
    if (!readWholeFile(g_args.fileName, &file)) {
        say("ERROR: Can't open specified file");
        return CLU_FILE_OPEN;
    }
    if (!isCiovBoard(index)) {
        say("ERROR: Not an IBM CIOV board");
        return CLU_NOT_CIOV;
    }
    std::vector<Line> lines;
    bool fits = splitLines(file, &lines);
    // A full line ends the load early when it is short; only lines up to the
    // last one are sent, and each must fit the mailbox.
    size_t sendCount = lines.size();
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].length < kFullLine) {
            sendCount = i + 1;
            break;
        }
    }
    for (size_t i = 0; fits && i < sendCount; ++i)
        fits = kTextOffset + ((sentBytes(lines[i].length) + 3) & ~3u) <= mailboxBytes(index);
    if (sendCount == 0) {
        say("ERROR: Vitesse image file is empty");
        return CLU_INPUT_VALUE;
    }
    if (!fits) {
        say("ERROR: Vitesse image line too long");
        return CLU_INPUT_VALUE;
    }
    if (g_args.imageType == kPromptType && !waitForEnter()) return CLU_SYNTAX;
    MboxBuf mb;
    for (size_t i = 0; i < sendCount; ++i) {
        mboxInit(&mb, MBX_DOWN_LOAD);
        mb.w[1] = kVitesseSelect | kLoadFlags | (i + 1 == sendCount ? kLoadLast : 0);
        mb.w[2] = lines[i].offset;
        mb.w[3] = lines[i].length;
        mb.w[4] = kTextOffset;
        mb.w[7] = static_cast<uint32_t>(i & 1);
        putLineText(&mb, file.data() + lines[i].offset, lines[i].length);
        uint32_t st = IssueMbox1(index, &mb);
        if (st != 0) {
            sayf("DOWN_LOAD mailbox for Vitesse ERROR, status %x", st);
            return CLU_VITESSE_FAILED;
        }
    }
    uint32_t bootLoader = mb.w[5];
    uint32_t checksumErrors = mb.w[6] & 0xFF;
    if (checksumErrors != 0) {
        // The PHY refuses an image with bad lines and keeps the one it has.
        sayf("\nDownload of Vitesse FW image failed  \nBootloader Version = %x  \nChecksum Errors "
             "= %d",
             bootLoader, static_cast<int>(checksumErrors));
        return CLU_VITESSE_FAILED;
    }
    if (g_args.imageType == kPromptType && !waitForEnter()) return CLU_SYNTAX;
    TGX_ResetAdapter(static_cast<uint32_t>(index), 1);
    uint32_t st = readVitesse(index, 0, 2, &mb);
    if (st != 0) {
        sayf("Read Vitesse Version mailbox ERROR, status %x", st);
        return CLU_VITESSE_FAILED;
    }
    uint32_t version = mb.w[5];
    sayf("\nSuccessful download of Vitesse FW image  \nBootloader Version = %x  \nChecksum Errors "
         "= %d",
         bootLoader, static_cast<int>(checksumErrors));
    sayf("\nApplication Version just downloaded = %02x.%02x.%02x.%02x", (version >> 24) & 0xFF,
         (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);
    return CLU_OK;
}

} // namespace

void cmdLoadImage(int index, uint32_t) {
    if (!validAdapter(index)) return;
    g_run.cluStatus = loadImage(index);
}

void cmdReadVitesse(int index, uint32_t offset, uint32_t count) {
    if (!validAdapter(index)) return;
    if (!isCiovBoard(index)) {
        say("ERROR: Not an IBM CIOV board");
        g_run.cluStatus = CLU_NOT_CIOV;
        return;
    }
    if (count > mailboxBytes(index) - kReadDataOffset) {
        sayf("Count too large: at most %u bytes", mailboxBytes(index) - kReadDataOffset);
        g_run.cluStatus = CLU_INPUT_VALUE;
        return;
    }
    if (count == kPromptType && !waitForEnter()) {
        g_run.cluStatus = CLU_SYNTAX;
        return;
    }
    MboxBuf mb;
    uint32_t st = readVitesse(index, offset, count, &mb);
    if (st != 0) {
        sayf("Read Vitesse mailbox ERROR, status %x", st);
        g_run.cluStatus = CLU_VITESSE_FAILED;
        return;
    }
    say("\nSuccessful Vitesse Read\n");
    dumpHex(mboxBytes(mb) + kReadDataOffset, 0, count, false);
}
