// FC firmware image files as the download reads them, once, into memory: the
// PRG and AIF headers with their RotXor checksums, the key block of signed
// programs, the .GRP header check, the boot ROM's PCI data, the file-name
// rules that pick the path, and the simulated adapters' signature checks of
// .GRP files and AIF bodies.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "hbaset/fcmaint/fw_image.h"
#include "hbaset/fcmaint/image_check.h"
#include "hbaset/fcmaint/image_file.h"
#include "hbaset/fcmaint/sli_cfg.h"
#include "sim/core/image_signature.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    // Through the file reader the download uses, then over the copy it made.
    const std::string path = fuzz::write_input("image.bin", data, size);
    ImageFile file;
    if (loadImageFile(path.c_str(), &file) != IMAGE_LOADED || file.bytes.size() != size) abort();
    const ImageView image = file.view();

    PrgHeader prg;
    if (readWordsAt(image, 0, prg.w, PRG_HEADER_WORDS) == 0) {
        prgHeaderChecksum(prg);
        uint32_t sum = 0;
        // The whole-file checksum over the size the header claims; a claim past
        // the end must be refused, never read.
        bool inside = prgSize(prg) / 4 <= size / 4;
        if (RotXorChecksumRange(image, 0, prgSize(prg) / 4, &sum) != inside) abort();
        char id[KEK_ID_BUFFER];
        uint32_t length = 0;
        bool isSigned = false;
        if (prg.w[8] >= KEK_PRG_BLOCK_BACK &&
            ReadKekIdFromPRG(image, PRG_HEADER_SIZE + (prg.w[8] - KEK_PRG_BLOCK_BACK), id,
                             sizeof id, &length, &isSigned) == 0 &&
            (length >= KEK_ID_BUFFER || id[length] != '\0'))
            abort();
    }
    AifHeader aif;
    if (readWordsAt(image, 0, aif.w, AIF_HEADER_WORDS) == 0) {
        uint64_t body = aifBodyLength(aif);
        uint32_t sum = 0;
        RotXorChecksumRange(image, 0, (body + AIF_OVERHEAD) / 4, &sum);
        if (body + AIF_HEADER_SIZE <= size)
            hbasim::sig_check_aif(aifArea(aif), aifBase(aif), data + AIF_HEADER_SIZE,
                                  static_cast<size_t>(body));
    }
    uint8_t pci[PCI_DATA_SIZE];
    ReadBootImagePciHeader(image, 0, pci);
    ReadBootImagePciHeader(image, PRG_HEADER_SIZE, pci);

    FFS_VerifyFirmwareImage(image, GRP_KIND_BREVIN_FC);
    FFS_VerifyFirmwareImage(image, GRP_KIND_BREVIN_32G);
    hbasim::sig_check_grp(data, size);
    hbasim::sig_check_ufi(data, size);

    // The first bytes as a file name: extension kind and the bare .aif rule.
    std::string name(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    name = name.c_str();
    fileKindOf(fileExtension(name.c_str()));
    isBareAifName(name.c_str());
    return 0;
}
