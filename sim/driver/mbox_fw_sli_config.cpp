// MBX_SLI_CONFIG, subsystem 1: the adapter's named objects (0xAB read or size
// query, 0xAC write, 0xAE delete) and the firmware versions (0x23).
//
// Objects live in the simulator's object store (names with '/' turned into
// '-'); writes go to a staging object that becomes the object when the last
// piece is committed. "/prg" takes a whole .GRP file: its header must match the
// function's device and the maker's signature must verify over the whole file
// (sim/core/image_signature.h; missing: 0x17/0x57, invalid: 0x17/0x56); the
// version text of the header becomes the version on flash. "/vpd/fc_pf.vpd" is built from the
// function's VPD (140-byte header, VPD, 4 bytes) until one is written.
// Objects under "/driver/" belong to the whole adapter: every function reads
// and writes the same one (the driver's authentication copy keeps one slice
// per PCI function in it).
// Fleet keys: prg_change_status (change_status after a firmware write),
// obj_write_accept and obj_read_limit (most bytes taken or returned per piece).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sim/core/image_signature.h"
#include "sim/driver/mbox_fw.h"

namespace hbasim {

namespace {

constexpr uint32_t kBrevinFc = 0xE200;
constexpr uint32_t kBrevinFc2 = 0xE208;
constexpr uint32_t kBrevin32g = 0xE300;
constexpr uint32_t kBrevinFcoe = 0xE260;
constexpr uint32_t kBrevinFcoe2 = 0xE268;
constexpr uint32_t kPrgHeaderKeep = 48; // words 0-2, version text, signature marker
constexpr uint8_t kStatusInvalidImage = 0x02;

std::string store_name(const std::string& name) {
    std::string s;
    for (size_t i = name[0] == '/' ? 1 : 0; i < name.size(); ++i) {
        char ch = name[i];
        s += ch == '/' ? '-' : (isalnum((unsigned char)ch) || ch == '.' || ch == '_' ? ch : '_');
    }
    return s.empty() ? "_" : s;
}

void respond(MboxCall& c, uint8_t status, uint8_t additional) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    sub[SUB_STATUS] = status;
    sub[SUB_ADDL_STATUS] = additional;
    uint32_t request = fw_rd32(sub + SUB_REQUEST_LENGTH);
    fw_wr32(sub + SUB_RESPONSE_LENGTH, request);
    fw_wr32(sub + SUB_ACTUAL_LENGTH, std::min<uint32_t>(request, 16));
    if (status != 0) mbox_set_status(c, MBXS_ERROR);
}

// Where the object of this name is stored: with the function, or with the
// adapter's first function for the adapter-wide "/driver/" objects.
bool object_ref(const Function& f, const std::string& name, FuncRef* out) {
    if (!fw_ref(f, out)) return false;
    if (name.compare(0, 8, "/driver/") == 0) out->func = 0;
    return true;
}

// The object's bytes (when data is set) and size; false when it does not exist.
bool find_object(const Adapter& a, const Function& f, const std::string& name, Bytes* data,
                 uint64_t* size) {
    FuncRef ref;
    if (object_ref(f, name, &ref) && object_size(ref, store_name(name), size) == SIM_OK)
        return data == nullptr || object_get(ref, store_name(name), data) == SIM_OK;
    if (name == OBJ_FC_VPD && f.attrs.get("has_vpd") != "0") {
        Bytes obj(OBJ_VPD_HEADER, 0);
        memcpy(obj.data(), "VPDOBJ", 6);
        Bytes vpd = fw_vpd_bytes(a, f);
        obj.insert(obj.end(), vpd.begin(), vpd.end());
        obj.insert(obj.end(), OBJ_VPD_TRAILER, 0);
        *size = obj.size();
        if (data) *data = std::move(obj);
        return true;
    }
    return false;
}

void read_object(const Adapter& a, const Function& f, MboxCall& c, const std::string& name) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    uint32_t desired = fw_rd32(sub + SUB_LENGTH) & SUB_LENGTH_MASK;
    uint32_t offset = fw_rd32(sub + SUB_OFFSET);
    Bytes data;
    uint64_t size = 0;
    if (!find_object(a, f, name, desired ? &data : nullptr, &size)) {
        respond(c, SLI_STATUS_FAILED, SLI_ADDL_NO_OBJECT);
        return;
    }
    if (desired == 0) {
        fw_wr32(sub + SUB_LENGTH, (uint32_t)std::min<uint64_t>(size, SUB_LENGTH_MASK));
        fw_wr32(sub + SUB_OFFSET, 0);
    } else {
        uint64_t left = offset < size ? size - offset : 0;
        uint32_t room = c.data ? c.dataLen : 0;
        uint32_t n = (uint32_t)std::min<uint64_t>({desired, left, room});
        if (f.attrs.has("obj_read_limit"))
            n = std::min<uint32_t>(n, (uint32_t)f.attrs.get_u("obj_read_limit"));
        if (n) memcpy(c.data, data.data() + offset, n);
        c.dataOut = n;
        fw_wr32(sub + SUB_LENGTH, n);
        fw_wr32(sub + SUB_OFFSET, (uint64_t)offset + n >= size ? SUB_READ_EOF : 0);
    }
    respond(c, 0, 0);
}

bool prg_matches_device(const Function& f, const uint8_t* header) {
    uint32_t magic = fw_be32(header + 4);
    uint32_t id = fw_be32(header + 8) >> 16;
    uint32_t dev = fw_device_id(f);
    if (dev == kBrevin32g) return magic == GRP_MAGIC_BREVIN_32G && id == GRP_ID_BREVIN_32G;
    if (dev == kBrevinFc || dev == kBrevinFc2 || dev == kBrevinFcoe || dev == kBrevinFcoe2)
        return magic == GRP_MAGIC_BREVIN_FC && id == GRP_ID_BREVIN_FC;
    return false;
}

bool hex_decode(const std::string& hex, uint8_t* out, size_t n) {
    if (hex.size() != 2 * n) return false;
    for (size_t i = 0; i < n; ++i) {
        char pair[3] = {hex[2 * i], hex[2 * i + 1], 0};
        out[i] = (uint8_t)strtoul(pair, nullptr, 16);
    }
    return true;
}

std::string hex_encode(const uint8_t* p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

// The last piece of "/prg": check the kept header, then commit or drop.
// Returns the change_status, or -1 after a refusal (already answered).
int finish_firmware(Adapter& a, Function& f, MboxCall& c, const FuncRef& ref,
                    const std::string& store, bool commit) {
    uint8_t header[kPrgHeaderKeep];
    bool have = hex_decode(f.attrs.get("prg_header"), header, sizeof header);
    f.attrs.erase("prg_header");
    if (!have || !prg_matches_device(f, header)) {
        staging_drop(ref, store);
        respond(c, kStatusInvalidImage, 0);
        return -1;
    }
    // The signature covers the whole file: a cut or altered image fails it.
    Bytes image;
    SigVerdict sig = staging_read(ref, store, &image) == SIM_OK
                         ? sig_check_grp(image.data(), image.size())
                         : SIG_MISSING;
    if (sig != SIG_VALID) {
        staging_drop(ref, store);
        respond(c, SLI_STATUS_SIGNATURE,
                sig == SIG_INVALID ? SLI_ADDL_BAD_SIGNATURE : SLI_ADDL_NO_SIGNATURE);
        return -1;
    }
    if (!commit) {
        staging_drop(ref, store);
        return 0;
    }
    if (staging_commit(ref, store, store) != SIM_OK) {
        respond(c, kStatusInvalidImage, 0);
        return -1;
    }
    char version[GRP_VERSION_SIZE + 1] = {};
    memcpy(version, header + GRP_VERSION_OFFSET, GRP_VERSION_SIZE);
    a.attrs.set("fw_flash", version);
    return (int)(f.attrs.get_u("prg_change_status", CHANGE_RESET) & 0xFF);
}

bool write_object(Adapter& a, Function& f, MboxCall& c, const std::string& name) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    uint32_t word = fw_rd32(sub + SUB_LENGTH);
    uint32_t desired = word & SUB_LENGTH_MASK;
    bool last = (word & SUB_WRITE_LAST) != 0;
    bool commit = (word & SUB_WRITE_NO_COMMIT) == 0;
    uint32_t offset = fw_rd32(sub + SUB_OFFSET);
    FuncRef ref;
    if (!object_ref(f, name, &ref)) {
        respond(c, kStatusInvalidImage, 0);
        return false;
    }
    std::string store = store_name(name);
    bool firmware = name == OBJ_FIRMWARE;
    uint32_t accept = std::min(desired, c.data ? c.dataLen : 0u);
    if (f.attrs.has("obj_write_accept"))
        accept = std::min<uint32_t>(accept, (uint32_t)f.attrs.get_u("obj_write_accept"));
    bool changed = false;
    if (offset == 0) {
        staging_drop(ref, store);
        if (firmware) {
            uint8_t header[kPrgHeaderKeep] = {};
            memcpy(header, c.data, std::min<uint32_t>(accept, kPrgHeaderKeep));
            f.attrs.set("prg_header", hex_encode(header, sizeof header));
            changed = true;
        }
    }
    if (accept && staging_write(ref, store, offset, c.data, accept) != SIM_OK) {
        respond(c, kStatusInvalidImage, 0);
        return changed;
    }
    fw_wr32(sub + SUB_LENGTH, accept);
    fw_wr32(sub + SUB_OFFSET, 0);
    if (last && accept == desired) {
        int change = 0;
        if (firmware) {
            change = finish_firmware(a, f, c, ref, store, commit);
            changed = true;
            if (change < 0) return changed;
        } else if (commit) {
            staging_commit(ref, store, store);
        } else {
            staging_drop(ref, store);
        }
        fw_wr32(sub + SUB_OFFSET, (uint32_t)change & 0xFF);
    }
    respond(c, 0, 0);
    return changed;
}

// 0xAE: removes a stored object; one that is not stored answers "no object".
bool delete_object(const Function& f, MboxCall& c, const std::string& name) {
    FuncRef ref;
    uint64_t size = 0;
    if (!object_ref(f, name, &ref) || object_size(ref, store_name(name), &size) != SIM_OK) {
        respond(c, SLI_STATUS_FAILED, SLI_ADDL_NO_OBJECT);
        return false;
    }
    if (object_delete(ref, store_name(name)) != SIM_OK) {
        respond(c, SLI_STATUS_FAILED, 0);
        return false;
    }
    respond(c, 0, 0);
    return true;
}

void fw_versions(const Adapter& a, MboxCall& c) {
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    std::string running = a.attrs.get("fw_active");
    std::string flash = a.attrs.has("fw_flash") ? a.attrs.get("fw_flash") : running;
    memset(sub + SUB_FW_RUNNING, 0, 2 * SUB_FW_TEXT_SIZE);
    memcpy(sub + SUB_FW_RUNNING, running.data(),
           std::min<size_t>(running.size(), SUB_FW_TEXT_SIZE));
    memcpy(sub + SUB_FW_FLASH, flash.data(), std::min<size_t>(flash.size(), SUB_FW_TEXT_SIZE));
    respond(c, 0, 0);
}

} // namespace

// The controller queries (boot code state, additional attributes) live in
// mbox_fw_cntl.cpp; true when the request was one of them.
bool fw_sli_config_cntl(Adapter& a, Function& f, MboxCall& c);
// The FFV request lives in mbox_fw_ffv.cpp; true when the request was one
// (*changed: the adapter's FFV was written).
bool fw_sli_config_ffv(Adapter& a, Function& f, MboxCall& c, bool* changed);
// The factory-defaults request lives in mbox_fw_factory.cpp.
bool fw_sli_config_factory(Adapter& a, Function& f, MboxCall& c, bool* changed);

bool mbx_sli_config(Adapter& a, Function& f, MboxCall& c) {
    if (fw_sli_config_cntl(a, f, c)) return false;
    bool ffvChanged = false;
    if (fw_sli_config_ffv(a, f, c, &ffvChanged)) return ffvChanged;
    bool factoryChanged = false;
    if (fw_sli_config_factory(a, f, c, &factoryChanged)) return factoryChanged;
    uint8_t* sub = fw_bytes(c) + SLI_SUB_OFFSET;
    uint8_t op = sub[SUB_OPCODE];
    const char* nameField = reinterpret_cast<const char*>(sub + SUB_NAME);
    const void* nul = memchr(nameField, 0, SUB_NAME_SIZE);
    std::string name = nul ? std::string(nameField) : std::string();
    uint32_t word = fw_rd32(sub + SUB_LENGTH);
    char text[200];
    if (op == SLI_OP_GET_FW_VERSION)
        snprintf(text, sizeof text, "op=0x23");
    else
        snprintf(text, sizeof text, "op=0x%02X obj=%s off=%u len=%u%s%s", op, name.c_str(),
                 fw_rd32(sub + SUB_OFFSET), word & SUB_LENGTH_MASK,
                 op == SLI_OP_WRITE_OBJECT && (word & SUB_WRITE_LAST) ? " last" : "",
                 op == SLI_OP_WRITE_OBJECT && (word & SUB_WRITE_NO_COMMIT) ? " nocommit" : "");
    if (fw_begin(f, c, "SLI_CONFIG", text)) return false;
    if (!(c.mb[1] & SLI_CONFIG_EMBEDDED) || sub[SUB_SUBSYSTEM] != SLI_SUBSYSTEM_COMMON) {
        mbox_set_status(c, SIM_MBXST_BAD_PARAM);
        return false;
    }
    switch (op) {
    case SLI_OP_GET_FW_VERSION:
        fw_versions(a, c);
        return false;
    case SLI_OP_READ_OBJECT:
    case SLI_OP_WRITE_OBJECT:
    case SLI_OP_DELETE_OBJECT:
        if (name.empty() || name.size() > OBJ_NAME_MAX) {
            respond(c, SLI_STATUS_FAILED, SLI_ADDL_NO_OBJECT);
            return false;
        }
        if (op == SLI_OP_READ_OBJECT) {
            read_object(a, f, c, name);
            return false;
        }
        if (op == SLI_OP_DELETE_OBJECT) return delete_object(f, c, name);
        return write_object(a, f, c, name);
    default:
        mbox_set_status(c, SIM_MBXST_INVALID_CMD);
        return false;
    }
}

} // namespace hbasim
