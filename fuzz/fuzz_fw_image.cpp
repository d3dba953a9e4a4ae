// FC firmware image files read before anything is sent to an adapter: the PRG
// and AIF headers with their RotXor checksums, the .GRP header check, the boot
// ROM's PCI data structure, and the file-name rules that pick the path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/sli_cfg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    const std::string path = fuzz::write_input("image.bin", data, size);
    FILE* f = fopen(path.c_str(), "rb");
    if (f == nullptr) abort();
    const int64_t total = fileSize(f);
    if (total != (int64_t)size) abort();

    PrgHeader prg;
    if (readWordsAt(f, 0, prg.w, PRG_HEADER_WORDS) == 0) {
        prgHeaderChecksum(prg);
        uint32_t sum = 0;
        // The whole-file checksum over the size the header claims, as far as
        // the file reaches.
        uint64_t words = prgSize(prg) / 4;
        if (words * 4 <= size) RotXorChecksumFile(f, 0, words, &sum);
    }
    AifHeader aif;
    if (readWordsAt(f, 0, aif.w, AIF_HEADER_WORDS) == 0) {
        uint64_t body = aifBodyLength(aif);
        uint32_t sum = 0;
        if (body + AIF_OVERHEAD <= size) RotXorChecksumFile(f, 0, (body + AIF_OVERHEAD) / 4, &sum);
    }
    uint8_t pci[PCI_DATA_SIZE];
    ReadBootImagePciHeader(f, 0, pci);
    fclose(f);

    FFS_VerifyFirmware(path.c_str(), GRP_KIND_BREVIN_FC);
    FFS_VerifyFirmware(path.c_str(), GRP_KIND_BREVIN_32G);

    // The first bytes as a file name: extension kind and the bare .aif rule.
    std::string name(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    name = name.c_str();
    fileKindOf(fileExtension(name.c_str()));
    isBareAifName(name.c_str());
    return 0;
}
