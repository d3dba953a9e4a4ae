// listrev: the revision words of an FC entry's read-revision answer. SLI-4
// entries show the hardware words and the service processor and ULP
// kernels; the others the hardware words of their image family, the running
// and loaded firmware, and the FC-PH versions. Labels are padded to 38
// characters; every line goes through the message line.
#include <cstdarg>
#include <cstdio>

#include "hbaset/cli/adapter_table.h"
#include "hbaset/cli/commands.h"
#include "hbaset/cli/identify.h"
#include "hbaset/cli/inventory.h"
#include "hbaset/cli/message.h"
#include "hbaset/cli/run_state.h"
#include "hbaset/fcmaint/image_family.h"
#include "hbaset/fcmaint/mailbox.h"
#include "hbaset/fcmaint/nvparms.h"

namespace {

constexpr uint32_t kRevisionValid = 1u << 30; // word 1: the firmware words are valid
constexpr uint32_t kSli3 = 1u << 26;          // word 1: SLI-3 firmware and feature word
constexpr size_t kKernelTextSize = 160;
constexpr size_t kNameSize = REV_FW_NAME_SIZE + 1;

// Image families whose revision answer has one hardware word (" HW:" and
// " SM FW:" only). A new family of that kind is one more entry.
const uint32_t kSingleHwFamilies[] = {
    0xE131, 0xF011, 0xF015, 0xF095, 0xF098, 0xF0A5, 0xF0D1, 0xF0D5, 0xF0E1, 0xF0E5,
    0xF0F5, 0xF0F6, 0xF0F7, 0xF100, 0xF180, 0xF800, 0xF802, 0xF900, 0xF980, 0xF98D,
    0xFA00, 0xFB00, 0xFD00, 0xFD11, 0xFD12, 0xFE00, 0xFE05, 0xFE11, 0xFE12,
};

void line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void line(const char* format, ...) {
    char text[MESSAGE_LINE_SIZE];
    va_list ap;
    va_start(ap, format);
    vsnprintf(text, sizeof text, format, ap);
    va_end(ap);
    setMessageLine("%s", text);
    emitLine();
}

const char* fcPhVersion(uint32_t code) {
    switch (code) {
    case 0:
        return "None";
    case 6:
        return "4.0";
    case 7:
        return "4.1";
    case 8:
        return "4.2";
    case 9:
        return "4.3";
    default:
        return "UNKNOWN";
    }
}

const char* programTypeText(uint32_t type) {
    switch (type) {
    case 2:
        return " Init Load ";
    case 6:
    case 7:
    case 11:
    case 14:
        return " Overlay ";
    default:
        return " ";
    }
}

// The model name, the program type and the version of a program word.
void kernelText(int i, uint32_t word, char* out, size_t size) {
    static const char kLetters[] = {'n', 'a', 'b', 'x'};
    char model[MODEL_NAME_MAX + 1];
    identify(i, model, sizeof model);
    uint32_t letter = (word >> 4) & 0x3;
    uint32_t level = word & 0xF;
    int n = snprintf(out, size, "%s%s%u.%u%u", model, programTypeText(word >> 24),
                     (word >> 12) & 0xF, (word >> 8) & 0xF, (word >> 6) & 0x3);
    if (n < 0 || static_cast<size_t>(n) >= size || (letter == 3 && level == 0)) return;
    snprintf(out + n, size - static_cast<size_t>(n), "%c%u", kLetters[letter], level);
}

// The 16-byte firmware name at offset of the answer.
void nameAt(const MboxBuf& mb, uint32_t offset, bool wordReversed, char* out) {
    revisionFirmwareName(mboxBytes(mb) + offset - REV_FW_NAME_OFFSET, wordReversed, out, kNameSize);
}

// "%d.%d%d%c%d" of an operational or diagnostic firmware word.
void firmwareRevText(uint32_t word, char* out, size_t size) {
    snprintf(out, size, "%u.%u%u%c%u", word >> 24, (word >> 20) & 0xF, (word >> 16) & 0xF,
             static_cast<char>((word >> 8) & 0xFF), word & 0xFF);
}

void fcPhLines(uint32_t word6, const char* lowestLabel) {
    line("FC-PH Version Supported:");
    line(" Highest FC-PH Version Supported = %s", fcPhVersion((word6 >> 8) & 0xFF));
    line("%s%s", lowestLabel, fcPhVersion(word6 & 0xFF));
}

void listSli4(int i) {
    MboxBuf mb;
    line("Chipset Rev:");
    if (ReadRev4(i, &mb) != 0) {
        line("Read Rev fails");
        g_run.cluStatus = CLU_REVISION_READ;
        return;
    }
    char kernel[kKernelTextSize];
    char name[kNameSize];
    line(" 1st HW:                              %08lX", static_cast<unsigned long>(mb.w[2]));
    line(" 2nd HW:                              %08lX", static_cast<unsigned long>(mb.w[3]));
    line("Service Processor:                    ");
    line(" Kernel ID:                           %08lX", static_cast<unsigned long>(mb.w[8]));
    kernelText(i, mb.w[8], kernel, sizeof kernel);
    line(" Kernel Rev:                          %s", kernel);
    nameAt(mb, 36, false, name);
    line(" Service Processor FW Name:           %s", name);
    line("ULP:                                  ");
    line(" Kernel ID:                           %08lX", static_cast<unsigned long>(mb.w[13]));
    kernelText(i, mb.w[13], kernel, sizeof kernel);
    line(" Kernel Rev:                          %s", kernel);
    nameAt(mb, 56, false, name);
    line(" ULP FW Name:                         %s", name);
    fcPhLines(mb.w[6], " Lowest FC-PH Version Supported  = ");
}

bool singleHwWord(int i) {
    uint32_t family = ImageFamilyCode(i);
    for (uint32_t f : kSingleHwFamilies) {
        if (f == family) return true;
    }
    return false;
}

const char* currentFirmwareLine(uint32_t kind) {
    switch (kind) {
    case 0:
        return " Current FW:                 None (Warm Start)";
    case 2:
        return " Current FW:                        Initial FW";
    case 6:
        return " Current FW:                     SLI-1 Overlay";
    case 7:
        return " Current FW:                     SLI-2 Overlay";
    case 11:
    case 14:
        return " Current FW:                     SLI-3 Overlay";
    default:
        return " Current FW:                           Unknown";
    }
}

// A loaded program: its label, kernel text and name.
void programLine(int i, const char* label, uint32_t word, const MboxBuf& mb, uint32_t offset) {
    char kernel[kKernelTextSize];
    char name[kNameSize];
    kernelText(i, word, kernel, sizeof kernel);
    nameAt(mb, offset, true, name);
    line("%s%s (%s)", label, kernel, name);
}

void listLoadedFirmware(int i, const MboxBuf& mb) {
    bool sli3 = (mb.w[1] & kSli3) != 0;
    char kernel[kKernelTextSize];
    line("%s", currentFirmwareLine(mb.w[4] >> 24));
    line(" Kernel Rev:                          %08lX", static_cast<unsigned long>(mb.w[7]));
    kernelText(i, mb.w[7], kernel, sizeof kernel);
    line(" Kernel: %37s", kernel);
    programLine(i, " Init FW: ", mb.w[8], mb, 36);
    programLine(i, sli3 ? " SLI-2: " : " SLI-1: ", mb.w[13], mb, 56);
    programLine(i, sli3 ? " SLI-3: " : " SLI-2: ", mb.w[18], mb, 76);
}

void listRunningFirmware(const MboxBuf& mb) {
    char text[48];
    line("FW Rev:");
    firmwareRevText(mb.w[4], text, sizeof text);
    line(" Operational FW Rev: 0x%lX (%s)", static_cast<unsigned long>(mb.w[4]), text);
    if (mb.w[7] == 0)
        snprintf(text, sizeof text, "1.0");
    else
        firmwareRevText(mb.w[7], text, sizeof text);
    line(" Diagnostic FW Rev: 0x%lX (%s)", static_cast<unsigned long>(mb.w[7]), text);
}

void listClassic(int i) {
    MboxBuf mb;
    line("Chipset Rev:");
    if (ReadRev(i, &mb) != 0) {
        line("Read Rev fails");
        g_run.cluStatus = CLU_REVISION_READ;
        return;
    }
    if (singleHwWord(i)) {
        line(" HW:                                  %08lX", static_cast<unsigned long>(mb.w[2]));
        line(" SM FW:                               %08lX", static_cast<unsigned long>(mb.w[4]));
    } else {
        line(" BIU:                                 %08lX", static_cast<unsigned long>(mb.w[2]));
        line(" SM:                                  %08lX", static_cast<unsigned long>(mb.w[3]));
        line(" SM FW:                               %08lX", static_cast<unsigned long>(mb.w[4]));
        line(" ENDEC:                               %08lX", static_cast<unsigned long>(mb.w[5]));
    }
    line("FW Rev:");
    if (mb.w[1] & kRevisionValid)
        listLoadedFirmware(i, mb);
    else
        listRunningFirmware(mb);
    fcPhLines(mb.w[6], " Lowest FC-PH Version Supported = ");
    if (mb.w[1] & kSli3)
        line(" Feature Availability = %08lx", static_cast<unsigned long>(mb.w[23]));
}

} // namespace

void cmdListRev(int index) {
    g_run.cluStatus = CLU_OK;
    if (isSli4(index))
        listSli4(index);
    else
        listClassic(index);
}
