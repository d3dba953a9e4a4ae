// Flash programming of the simulated adapter firmware: MBX_DOWN_LOAD (PRG
// program images into the flash load list) and MBX_LOAD_AREA (AIF images into
// a flash area).
//
// MBX_DOWN_LOAD: an erase (word 1 = 0x1A, word 3 size, words 4-5 program id)
// opens a download; load chunks (word 1 = 0x0A, bit 0 on the last one; word 3
// length, data from word 5) are appended to the staging object "down_load".
// At the last chunk the image must be exactly the erased size, its RotXor
// checksums (header words 1-11 and the whole file) must be 0, its program id
// must be the erased one and its signature word (sim/core/image_signature.h)
// must verify; on the secure family the key block must be
// signed (else 3851) and name the adapter's current KEK (else 3841). Only
// then is the program installed: the load list entry of that program id is
// replaced (or a new entry appended), the first bytes of the image are placed
// at its flash address (so the version reader finds its text), and a firmware
// program becomes the running firmware at the next adapter reset.
//
// MBX_LOAD_AREA: erase steps (word 1 = area<<24 | step<<16 | 0x18, step 1
// then 2; word 2 address, word 3 length) answer progress 1 with the next
// address until the length is covered, then 2. Load chunks (area<<24 |
// 3<<16 | 0x0A, last chunk 4<<16 | 0x0B; word 2 address) must lie inside the
// erased range; each answer gives the next address and progress 3 (4 after
// the last). Data is staged; at the last chunk the body as received must end
// with its signature word (sim/core/image_signature.h; else 3851 and nothing
// kept). The words that fall in adapter memory below 0x200 (the AWC version
// word at 0x1F0 among them) are kept aside and written there when the host
// next writes the wakeup parameters: the images of one download start
// together or not at all.
//
// Every refusal (no erase before a chunk, a chunk past the erased size, a
// failed check) leaves the load list, memory and versions as they were.
// Run-time keys: "dl_erase" (size,pid0,pid1 of the open download),
// "la_erase" (area,base,length,next of the open area load).
// Fleet keys: no_flash, dl_last_status, load_area_progress, load_area_next_skew,
// load_area_erase_sectors, secure, kek_id.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "interfaces/kek_table.h"
#include "platform/plat_fs.h"
#include "sim/core/image_signature.h"
#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

const char* const kDlStaging = "down_load";
const char* const kLaStaging = "load_area";
const char* const kLaStream = "load_area_stream"; // the body in the order received
constexpr uint32_t kStatusNoFlash = 241;
constexpr uint32_t kStatusSignature = 3851;
constexpr uint32_t kStatusAuthentication = 3841;
constexpr uint32_t kHeaderBytes = 48;
constexpr uint32_t kHeaderLongFlag = 0x8;
constexpr uint32_t kKeyBlockFlag = 0x10;
constexpr uint32_t kKeyBlockBack = 268;
constexpr uint32_t kKeyBlockSize = 264;
constexpr uint32_t kKeyIdOffset = 108;
constexpr uint32_t kKeyIdMax = 152;
constexpr uint32_t kImagePatchBytes = 1024; // image bytes placed in memory at install
constexpr uint32_t kEntryStride = 0x20;
constexpr uint32_t kFirstEntry = 0x1000;
constexpr uint32_t kImageStride = 0x10000;
constexpr uint32_t kMemoryWindow = 0x200; // LOAD_AREA data below this lands in memory
constexpr uint32_t kEraseSector = 0x10000;
constexpr uint32_t kMaxEntries = 256;

uint32_t rotl1(uint32_t v) {
    return (v << 1) | (v >> 31);
}
uint32_t rotxor(const uint8_t* bytes, size_t words) {
    uint32_t v = 0xAAAAAAAAu;
    for (size_t i = 0; i < words; ++i)
        v = rotl1(v) ^ fw_be32(bytes + 4 * i);
    return rotl1(v);
}

std::vector<uint64_t> parse_numbers(const std::string& text) {
    std::vector<uint64_t> out;
    const char* p = text.c_str();
    while (*p) {
        char* end = nullptr;
        unsigned long long v = strtoull(p, &end, 0);
        if (end == p) break;
        out.push_back(v);
        p = *end == ',' ? end + 1 : end;
    }
    return out;
}

bool is_secure(const Function& f) {
    return f.attrs.get("secure") == "1" || fw_device_id(f) == 0xF180;
}

// A forced status of the next last chunk ("dl_last_status": a list, one used
// per last chunk). Returns true when one was taken.
bool take_forced_status(Function& f, uint32_t* status) {
    std::vector<uint64_t> list = parse_numbers(f.attrs.get("dl_last_status"));
    if (list.empty()) return false;
    *status = (uint32_t)list[0];
    std::string rest;
    for (size_t i = 1; i < list.size(); ++i) {
        if (!rest.empty()) rest.push_back(',');
        rest.append(std::to_string(list[i]));
    }
    if (rest.empty())
        f.attrs.erase("dl_last_status");
    else
        f.attrs.set("dl_last_status", rest);
    return true;
}

// The staged bytes, read by committing the staging object to an object.
bool take_staged(FuncRef ref, const char* name, Bytes* out) {
    std::string obj = std::string(name) + "_done";
    if (staging_commit(ref, name, obj) != SIM_OK) return false;
    bool ok = object_get(ref, obj, out) == SIM_OK;
    object_delete(ref, obj);
    return ok;
}

// The version text of a program image, found as the adapter's version reader
// finds it: through the header flags (word 3), the link address (word 7) and
// the text pointer after the header.
std::string image_version(const Bytes& img, uint32_t type) {
    auto word = [&](uint64_t at) -> uint32_t {
        return at + 4 <= img.size() ? fw_be32(&img[at]) : 0;
    };
    uint32_t d = (word(12) & kHeaderLongFlag) ? 100 : kHeaderBytes;
    uint32_t p = word(type != 0 ? d + 8 : d + 4) & ~3u;
    uint32_t q = word(28);
    uint64_t text = (uint32_t)(p - q + d); // address arithmetic of the adapter
    std::string out;
    for (uint64_t i = text; i < img.size() && i < text + 24; ++i) {
        char c = (char)img[i];
        if (c == 0 || c == '\n') break;
        out += c;
    }
    return out;
}

// Checks of the secure family: a signed key block that names the current KEK.
uint32_t signature_status(const Function& f, const Bytes& img) {
    uint32_t flags = fw_be32(&img[12]);
    if ((flags & kKeyBlockFlag) == 0) return kStatusSignature;
    uint32_t w8 = fw_be32(&img[32]);
    if (w8 < kKeyBlockBack) return kStatusSignature;
    uint64_t at = (uint64_t)kHeaderBytes + (w8 - kKeyBlockBack);
    if (at + kKeyBlockSize > img.size() || fw_be32(&img[at]) == 0) return kStatusSignature;
    std::string id;
    for (uint32_t i = 0; i < kKeyIdMax && img[at + kKeyIdOffset + i] != 0; ++i)
        id += (char)img[at + kKeyIdOffset + i];
    std::string current = f.attrs.get("kek_id", kKekTable[0].id);
    return id == current ? 0 : kStatusAuthentication;
}

// Installs a checked program: replaces the load list entry of its program id
// or appends one, and places the image's first bytes at its flash address.
void install_program(Adapter& a, Function& f, const Bytes& img, uint32_t pid0, uint32_t pid1) {
    Memory m = fw_memory(f);
    uint32_t entry = fw_mem_read(m, MEM_LOAD_LIST_HEAD);
    uint32_t last = 0, target = 0, highestEntry = 0, highestImage = 0;
    std::set<uint32_t> seen;
    while (entry != MEM_LOAD_LIST_HEAD && entry != 0 && seen.size() < kMaxEntries &&
           seen.insert(entry).second) {
        uint32_t w4 = fw_mem_read(m, entry + 16);
        if (target == 0 && w4 == pid0 && fw_mem_read(m, entry + 20) == pid1) target = entry;
        if (entry > highestEntry) highestEntry = entry;
        uint32_t image = fw_mem_read(m, entry + 8);
        if (image > highestImage) highestImage = image;
        last = entry;
        entry = fw_mem_read(m, entry);
    }
    uint32_t image;
    if (target != 0) {
        image = fw_mem_read(m, target + 8);
    } else {
        target = highestEntry ? highestEntry + kEntryStride : kFirstEntry;
        uint32_t layout = (uint32_t)f.attrs.get_u("flash_layout", FLASH_LAYOUT_A);
        image = highestImage ? highestImage + kImageStride : layout;
        fw_mem_write(f, target, MEM_LOAD_LIST_HEAD);
        fw_mem_write(f, target + 4, 0);
        fw_mem_write(f, target + 8, image);
        fw_mem_write(f, target + 12, 0);
        fw_mem_write(f, target + 16, pid0);
        fw_mem_write(f, target + 20, pid1);
        fw_mem_write(f, last ? last : (uint32_t)MEM_LOAD_LIST_HEAD, target);
    }
    uint32_t base = image & ~3u;
    for (uint32_t i = 0; i + 4 <= img.size() && i < kImagePatchBytes; i += 4)
        fw_mem_write(f, base + i, fw_be32(&img[i]));
    uint32_t type = pid0 >> 24;
    // SLI firmware programs run after the next adapter reset.
    if (type == 6 || type == 7 || type == 11 || type == 14) {
        std::string version = image_version(img, type);
        if (!version.empty()) {
            a.attrs.set("fw_flash", version);
            a.attrs.set("fw_reset_pending", "1");
        }
    }
}

// The last chunk of a download: all checks, then the install.
bool finish_download(Adapter& a, Function& f, MboxCall& c, FuncRef ref, uint32_t size,
                     uint32_t pid0, uint32_t pid1) {
    f.attrs.erase("dl_erase");
    uint32_t forced = 0;
    if (take_forced_status(f, &forced) && forced != 0) {
        staging_drop(ref, kDlStaging);
        mbox_set_status(c, forced);
        return true;
    }
    Bytes img;
    if (!take_staged(ref, kDlStaging, &img) || img.size() != size || size < kHeaderBytes ||
        size % 4 != 0 || fw_be32(&img[0]) != size || rotxor(&img[4], 11) != 0 ||
        rotxor(img.data(), size / 4) != 0 || fw_be32(&img[4]) != pid0 || fw_be32(&img[8]) != pid1) {
        mbox_set_status(c, MBXS_ERROR);
        return true;
    }
    // The maker's signature word (before the checksum word) covers what the
    // checksums can miss. A failure is refused like a bad checksum: 3851 would
    // have the host delete the installed programs of this type and retry.
    if (sig_check_prg(img.data(), img.size()) != SIG_VALID) {
        mbox_set_status(c, MBXS_ERROR);
        return true;
    }
    if (is_secure(f)) {
        uint32_t st = signature_status(f, img);
        if (st != 0) {
            mbox_set_status(c, st);
            return true;
        }
    }
    install_program(a, f, img, pid0, pid1);
    return true;
}

} // namespace

bool mbx_down_load(Adapter& a, Function& f, MboxCall& c) {
    // 0x8C in word 1 bits 8-15 addresses the PHY firmware (mbox_fw_vitesse.cpp).
    if (((c.mb[1] >> 8) & 0xFF) == 0x8C) return mbx_vitesse(a, f, c);
    const uint32_t op = c.mb[1];
    char text[96];
    if (op == 0x1A)
        snprintf(text, sizeof text, "erase size=%u pid=0x%08X,0x%08X", c.mb[3], c.mb[4], c.mb[5]);
    else
        snprintf(text, sizeof text, "load%s len=%u", (op & 1) ? " last" : "", c.mb[3]);
    if (fw_begin(f, c, "DOWN_LOAD", text)) return false;
    FuncRef ref;
    if (!fw_ref(f, &ref)) {
        mbox_set_status(c, MBXS_ERROR);
        return false;
    }
    if (op == 0x1A) {
        if (f.attrs.get("no_flash") == "1") {
            mbox_set_status(c, kStatusNoFlash);
            return false;
        }
        staging_drop(ref, kDlStaging);
        char v[64];
        snprintf(v, sizeof v, "%u,%u,%u", c.mb[3], c.mb[4], c.mb[5]);
        f.attrs.set("dl_erase", v);
        return true;
    }
    if ((op & ~1u) != 0x0A) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    std::vector<uint64_t> erase = parse_numbers(f.attrs.get("dl_erase"));
    const uint32_t len = c.mb[3];
    if (erase.size() != 3 || len > fw_mailbox_data_room(c) || c.mb[4] != 20) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM); // no erase before the chunk, or a bad chunk
        return false;
    }
    const uint64_t size = erase[0];
    uint8_t bytes[256];
    for (uint32_t i = 0; i < (len + 3) / 4; ++i)
        fw_wr_be32(bytes + 4 * i, c.mb[5 + i]);
    uint64_t at = 0;
    if (staging_append(ref, kDlStaging, bytes, len, size, &at) != SIM_OK) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM); // past the erased size
        return false;
    }
    if ((op & 1) == 0) return false;
    return finish_download(a, f, c, ref, (uint32_t)size, (uint32_t)erase[1], (uint32_t)erase[2]);
}

namespace {

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> out;
    size_t p = 0;
    while (p < text.size()) {
        size_t comma = text.find(',', p);
        if (comma == std::string::npos) comma = text.size();
        if (comma > p) out.push_back(text.substr(p, comma - p));
        p = comma + 1;
    }
    return out;
}

// Images loaded into a flash area start only once the host writes the wakeup
// parameters (the switch): until then the words they put in adapter memory are
// kept aside as "la_pending" ("address=value,...") with "la_pending_pid", the
// host process that loaded them. A download that ends without its switch
// (failed, killed) leaves them aside; they are dropped at the next adapter
// reset or when another process begins a load.
void keep_pending(Function& f, uint64_t base, const Bytes& data) {
    const std::string pid = std::to_string(plat_pid());
    std::map<uint32_t, uint32_t> words;
    if (f.attrs.get("la_pending_pid") == pid)
        for (const std::string& item : split_list(f.attrs.get("la_pending"))) {
            size_t eq = item.find('=');
            if (eq != std::string::npos)
                words[(uint32_t)strtoul(item.c_str(), nullptr, 0)] =
                    (uint32_t)strtoul(item.c_str() + eq + 1, nullptr, 0);
        }
    for (uint64_t i = 0; i + 4 <= data.size(); i += 4) {
        uint64_t at = base + i;
        if (at >= kMemoryWindow) break;
        words[(uint32_t)at] = fw_be32(&data[i]);
    }
    std::string text;
    char item[32];
    for (const auto& [address, value] : words) {
        snprintf(item, sizeof item, "%s0x%X=0x%X", text.empty() ? "" : ",", address, value);
        text += item;
    }
    f.attrs.set("la_pending_pid", pid);
    f.attrs.set("la_pending", text);
}

void drop_foreign_pending(Function& f) {
    if (f.attrs.has("la_pending_pid") &&
        f.attrs.get("la_pending_pid") != std::to_string(plat_pid()))
        fw_drop_pending_images(f);
}

void answer_area(MboxCall& c, uint32_t progress, uint32_t next, const Function& f) {
    if (f.attrs.has("load_area_progress")) progress = (uint32_t)f.attrs.get_u("load_area_progress");
    c.mb[1] = (c.mb[1] & ~0xFF00u) | ((progress & 0xFF) << 8);
    c.mb[2] = next;
}

} // namespace

bool mbx_load_area(Adapter&, Function& f, MboxCall& c) {
    const uint32_t w1 = c.mb[1];
    const uint32_t area = w1 >> 24, step = (w1 >> 16) & 0xFF, op = w1 & 0xFF;
    char text[96];
    snprintf(text, sizeof text, "%s area=%u step=%u addr=0x%X len=%u",
             op == 0x18 ? "erase" : "load", area, step, c.mb[2], c.mb[3]);
    if (fw_begin(f, c, "LOAD_AREA", text)) return false;
    FuncRef ref;
    if (!fw_ref(f, &ref)) {
        mbox_set_status(c, MBXS_ERROR);
        return false;
    }
    std::vector<uint64_t> st = parse_numbers(f.attrs.get("la_erase"));
    if (op == 0x18 && (step == 1 || step == 2)) {
        if (f.attrs.get("no_flash") == "1") {
            mbox_set_status(c, kStatusNoFlash);
            return false;
        }
        uint64_t base = c.mb[2], length = c.mb[3], next = c.mb[2];
        if (step == 1) {
            staging_drop(ref, kLaStaging);
            staging_drop(ref, kLaStream);
            drop_foreign_pending(f);
        } else if (st.size() != 4 || st[0] != area) {
            mbox_set_status(c, SIM_MBXST_BAD_PARAM);
            return false;
        } else {
            base = st[1];
            length = st[2];
            next = st[3];
        }
        next += kEraseSector;
        if (next > base + length) next = base + length;
        // A flash whose next sector never erases: the address stops there.
        if (f.attrs.has("load_area_erase_sectors")) {
            uint64_t stuck = base + f.attrs.get_u("load_area_erase_sectors") * kEraseSector;
            if (next > stuck) next = stuck;
        }
        char v[96];
        snprintf(v, sizeof v, "%u,%llu,%llu,%llu", area, (unsigned long long)base,
                 (unsigned long long)length, (unsigned long long)next);
        f.attrs.set("la_erase", v);
        answer_area(c, next >= base + length ? 2 : 1, (uint32_t)next, f);
        return true;
    }
    const bool last = step == 4 && op == 0x0B;
    if (!(last || (step == 3 && op == 0x0A))) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    const uint64_t address = c.mb[2], len = c.mb[3];
    // The chunk must lie in the erased range of this area, erased completely.
    if (st.size() != 4 || st[0] != area || st[3] < st[1] + st[2] || address < st[1] ||
        address + len > st[1] + st[2] || len > fw_mailbox_data_room(c) || c.mb[4] != 20) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    uint8_t bytes[256];
    for (uint32_t i = 0; i < (len + 3) / 4; ++i)
        fw_wr_be32(bytes + 4 * i, c.mb[5 + i]);
    uint64_t streamAt = 0;
    if (len && (staging_write(ref, kLaStaging, address - st[1], bytes, len) != SIM_OK ||
                staging_append(ref, kLaStream, bytes, len, st[2], &streamAt) != SIM_OK)) {
        mbox_set_status(c, MBXS_ERROR);
        return false;
    }
    if (!last) {
        // A faulty adapter may answer a next address off by a few bytes.
        uint64_t skew = f.attrs.get_u("load_area_next_skew", 0);
        answer_area(c, 3, (uint32_t)(address + len + skew), f);
        return false;
    }
    f.attrs.erase("la_erase");
    uint32_t forced = 0;
    if (take_forced_status(f, &forced) && forced != 0) {
        staging_drop(ref, kLaStaging);
        staging_drop(ref, kLaStream);
        mbox_set_status(c, forced);
        return true;
    }
    // The signature word ends the body as received; a cut or altered image
    // fails it and nothing of it is kept.
    Bytes stream;
    const bool signedOk =
        staging_read(ref, kLaStream, &stream) == SIM_OK &&
        sig_check_aif(area, (uint32_t)st[1], stream.data(), stream.size()) == SIG_VALID;
    staging_drop(ref, kLaStream);
    if (!signedOk) {
        staging_drop(ref, kLaStaging);
        mbox_set_status(c, kStatusSignature);
        return true;
    }
    Bytes data;
    if (take_staged(ref, kLaStaging, &data)) keep_pending(f, st[1], data);
    answer_area(c, 4, (uint32_t)(address + len), f);
    return true;
}

bool fw_switch_pending_images(Function& f) {
    if (!f.attrs.has("la_pending_pid")) return false;
    if (f.attrs.get("la_pending_pid") == std::to_string(plat_pid())) {
        for (const std::string& item : split_list(f.attrs.get("la_pending"))) {
            size_t eq = item.find('=');
            if (eq == std::string::npos) continue;
            fw_mem_write(f, (uint32_t)strtoul(item.c_str(), nullptr, 0),
                         (uint32_t)strtoul(item.c_str() + eq + 1, nullptr, 0));
        }
    }
    fw_drop_pending_images(f);
    return true;
}

bool fw_drop_pending_images(Function& f) {
    if (!f.attrs.has("la_pending_pid") && !f.attrs.has("la_pending")) return false;
    f.attrs.erase("la_pending_pid");
    f.attrs.erase("la_pending");
    return true;
}

} // namespace hbasim
