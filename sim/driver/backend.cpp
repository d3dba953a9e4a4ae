// The simulated adapter driver as a driver backend: device paths, envelope
// checks, journal and fault injection, and dispatch through kDrvHandlers.
//
// Devices: "\\.\Scsi<n>:" for every FC/FCoE function with SCSI port n, and
// "\\.\TsvRma<n>" for those whose management device exists. IOCTL_SCSI_MINIPORT
// carries an envelope (on the SCSI device only); any other code is a
// management code. A malformed envelope fails the device call and nothing in
// the buffer is written.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "interfaces/tgx_ioctl.h"
#include "platform/plat_backend.h"
#include "platform/plat_device.h"
#include "sim/driver/sim_driver.h"
#include "sim/driver/wmi_sim.h"

namespace hbasim {
namespace {

struct SimDevice {
    int port;
    bool mgmt;
};

// Parses "\\.\Scsi<n>:" or "\\.\TsvRma<n>" with n a decimal 0-255.
bool parse_path(const char* path, int* port, bool* mgmt) {
    static const char kScsi[] = "\\\\.\\Scsi";
    static const char kMgmt[] = "\\\\.\\TsvRma";
    const char* p;
    if (strncmp(path, kScsi, sizeof kScsi - 1) == 0) {
        p = path + sizeof kScsi - 1;
        *mgmt = false;
    } else if (strncmp(path, kMgmt, sizeof kMgmt - 1) == 0) {
        p = path + sizeof kMgmt - 1;
        *mgmt = true;
    } else {
        return false;
    }
    int n = 0, digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 4) {
        n = n * 10 + (*p++ - '0');
        ++digits;
    }
    if (digits == 0 || (digits > 1 && p[-digits] == '0') || n > 255) return false;
    *port = n;
    if (*mgmt) return *p == '\0';
    return p[0] == ':' && p[1] == '\0';
}

// The control codes that carry a virtual port index in bits 20-27; on every
// other code those bits must be zero.
const uint32_t kVpiCodes[] = {
    TGX_IOCTL_INQUIRE_SCSIID,      TGX_IOCTL_INQUIRE_NODELIST,   TGX_IOCTL_SET_LUNOAS,
    TGX_IOCTL_INQUIRE_LUNLIST_OAS, TGX_IOCTL_FCP_TARGET_MAPPING, TGX_IOCTL_SD_DATA_COLLECTION,
    TGX_IOCTL_SD_GET_DATA,
};

bool takes_vpi(uint32_t code) {
    for (uint32_t c : kVpiCodes)
        if (c == code) return true;
    return false;
}

const DrvHandlerEntry* find_row(uint32_t code, bool envelope) {
    for (size_t i = 0; i < kDrvHandlerCount; ++i) {
        const DrvHandlerEntry& e = kDrvHandlers[i];
        if (e.code == code && (e.signature != nullptr) == envelope) return &e;
    }
    return nullptr;
}

bool report_state_error_once() {
    static bool said = false;
    if (!said) fprintf(stderr, "hbasim driver: %s\n", last_error().c_str());
    said = true;
    return false;
}

// Resolves the function behind a device; false when the state has no such
// device any more or cannot be read. The devices of an adapter whose state
// file is damaged are absent (the file is named once on standard error); the
// other adapters are served.
bool resolve(int port, bool mgmt, FuncRef* ref) {
    if (ensure_state() != SIM_OK) return report_state_error_once();
    if (!find_scsi_port(port, ref)) return false;
    bool hasMgmt = false;
    int rc = read_adapter(ref->adapter, [&](const Adapter& a) {
        if (ref->func >= 0 && ref->func < (int)a.funcs.size())
            hasMgmt = a.funcs[(size_t)ref->func].attrs.get("mgmt_device") == "1";
    });
    if (rc == SIM_ERR_CORRUPT) return report_damaged_once("hbasim driver");
    if (rc != SIM_OK) return report_state_error_once();
    return !mgmt || hasMgmt;
}

uint32_t sim_open(const char* path, void** dev) {
    ReadScope scope;
    int port;
    bool mgmt;
    FuncRef ref;
    if (!path || !dev || !parse_path(path, &port, &mgmt) || !resolve(port, mgmt, &ref))
        return PLAT_ERR_NOT_FOUND;
    *dev = new SimDevice{port, mgmt};
    return PLAT_ERR_NONE;
}

void sim_close(void* dev) {
    delete static_cast<SimDevice*>(dev);
}

// Journals the request and returns err (0 = answered).
uint32_t finish(const DrvRequest& r, const char* name, uint32_t err, const char* note) {
    char line[256];
    int n = snprintf(line, sizeof line, "%s%d 0x%08X %s vpi=%u size=%u", r.mgmt ? "TsvRma" : "Scsi",
                     r.port, r.code, name, r.vpi, r.size);
    size_t used = n > 0 ? ((size_t)n < sizeof line ? (size_t)n : sizeof line - 1) : 0;
    if (err)
        n = snprintf(line + used, sizeof line - used, " -> FAIL %u", err);
    else
        n = snprintf(line + used, sizeof line - used, " -> rc=%u", r.returnCode);
    used += n > 0 ? ((size_t)n < sizeof line - used ? (size_t)n : sizeof line - used - 1) : 0;
    if (note)
        snprintf(line + used, sizeof line - used, " (%s)", note);
    else if (!r.fault.empty())
        snprintf(line + used, sizeof line - used, " fault=%s", r.fault.c_str());
    journal("drv", line);
    return err;
}

// Applies the backend's own fault actions. Returns true when the request is
// settled by the fault (err set, or ReturnCode forced).
bool apply_fault(DrvRequest& r, const DrvHandlerEntry* row, uint32_t* err) {
    char code[16];
    snprintf(code, sizeof code, "0x%08X", r.code);
    std::string match = std::string(code) + "|" + (row ? row->name : "UNKNOWN");
    std::string action = fault_check("drv", match, r.port);
    if (action.empty()) return false;
    r.fault = action;
    if (action == "fail") {
        *err = PLAT_ERR_GEN_FAILURE;
        return true;
    }
    if (action.rfind("rc=", 0) == 0) {
        r.returnCode = (uint32_t)strtoul(action.c_str() + 3, nullptr, 0);
        if (r.returnCode != 0) drv_refuse_mailbox(r, SIM_MBXST_DRIVER_ERROR);
        *err = 0;
        return true;
    }
    return false;
}

uint32_t sim_control(void* devp, uint32_t code, void* in, uint32_t inSize, void* out,
                     uint32_t outSize, uint32_t* returned) {
    if (returned) *returned = 0;
    ReadScope scope; // one check of the state files per request
    SimDevice* dev = static_cast<SimDevice*>(devp);
    if (!dev) return PLAT_ERR_INVALID_HANDLE;
    DrvRequest r;
    r.port = dev->port;
    r.mgmt = dev->mgmt;
    if (!resolve(dev->port, dev->mgmt, &r.ref)) {
        r.code = code;
        return finish(r, "NO_DEVICE", PLAT_ERR_GEN_FAILURE, "device gone");
    }

    if (code != IOCTL_SCSI_MINIPORT) {
        // Management code: plain buffers, no envelope.
        r.code = code;
        r.in = static_cast<const uint8_t*>(in);
        r.inSize = in ? inSize : 0;
        r.env = static_cast<uint8_t*>(out);
        r.size = out ? outSize : 0;
        r.payload = r.env;
        r.payloadSize = r.size;
        const DrvHandlerEntry* row = find_row(code, false);
        if (!row) return finish(r, "UNKNOWN", PLAT_ERR_INVALID_PARAM, "unknown management code");
        if (r.size < row->minSize) return finish(r, row->name, PLAT_ERR_BAD_LENGTH, "short buffer");
        uint32_t err = 0;
        if (!apply_fault(r, row, &err)) {
            err = row->fn(r);
            if (!err && returned) *returned = r.returned <= r.size ? r.returned : r.size;
        } else if (!err && r.returnCode != 0) {
            // A forced ReturnCode: the management command carries it in its
            // envelope; the other management codes have none and refuse.
            if (code == TGX_IOCTL_MGMT_SEND_CMD && r.size >= TGX_ENV_HEADER_LENGTH)
                drv_wr32(r.env + TGX_ENV_OFF_RETURNCODE, r.returnCode);
            else
                err = PLAT_ERR_GEN_FAILURE;
        }
        return finish(r, row->name, err, nullptr);
    }

    // Envelope request: one buffer answered in place.
    uint8_t* buf = static_cast<uint8_t*>(out ? out : in);
    uint32_t size = out ? outSize : inSize;
    r.env = buf;
    r.size = size;
    if (dev->mgmt)
        return finish(r, "ENVELOPE", PLAT_ERR_INVALID_PARAM, "envelope on the management device");
    if (!in || !out || inSize != outSize)
        return finish(r, "ENVELOPE", PLAT_ERR_BAD_LENGTH, "input and output sizes differ");
    if (in != out) memmove(out, in, inSize);
    if (size < TGX_ENV_HEADER_LENGTH)
        return finish(r, "ENVELOPE", PLAT_ERR_BAD_LENGTH, "shorter than the header");
    uint32_t raw = drv_rd32(buf + TGX_ENV_OFF_CONTROLCODE);
    r.code = raw & ~0x0FF00000u;
    r.vpi = (raw >> 20) & 0xFF;
    if (drv_rd32(buf + TGX_ENV_OFF_HEADERLENGTH) != TGX_ENV_HEADER_LENGTH)
        return finish(r, "ENVELOPE", PLAT_ERR_INVALID_PARAM, "HeaderLength is not 28");
    if (drv_rd32(buf + TGX_ENV_OFF_LENGTH) != size - TGX_ENV_HEADER_LENGTH)
        return finish(r, "ENVELOPE", PLAT_ERR_BAD_LENGTH, "Length is not size - 28");
    const DrvHandlerEntry* row = find_row(r.code, true);
    if (!row) return finish(r, "UNKNOWN", PLAT_ERR_INVALID_PARAM, "unknown control code");
    if (r.vpi != 0 && !takes_vpi(r.code))
        return finish(r, row->name, PLAT_ERR_INVALID_PARAM, "virtual port index not taken");
    char sig[8] = {0};
    memcpy(sig, row->signature, strnlen(row->signature, sizeof sig));
    if (memcmp(buf + TGX_ENV_OFF_SIGNATURE, sig, sizeof sig) != 0)
        return finish(r, row->name, PLAT_ERR_INVALID_PARAM, "wrong signature");
    if (size < row->minSize) return finish(r, row->name, PLAT_ERR_BAD_LENGTH, "short buffer");
    r.payload = buf + TGX_ENV_HEADER_LENGTH;
    r.payloadSize = size - TGX_ENV_HEADER_LENGTH;
    uint32_t err = 0;
    if (!apply_fault(r, row, &err)) err = row->fn(r);
    if (!err) {
        drv_wr32(buf + TGX_ENV_OFF_RETURNCODE, r.returnCode);
        if (returned) *returned = size;
    }
    return finish(r, row->name, err, nullptr);
}

// Overlapped requests: the receive post (0x800001C0) stays pending until a CT
// request or a cancel completes it (req_ct.cpp); every other code completes
// at once as in sim_control.
uint32_t sim_submit(void* devp, uint32_t code, void* in, uint32_t inSize, void* out,
                    uint32_t outSize, uint32_t* returned, void** op) {
    if (op) *op = nullptr;
    if (code != TGX_IOCTL_MGMT_POST_RECEIVE || !op)
        return sim_control(devp, code, in, inSize, out, outSize, returned);
    if (returned) *returned = 0;
    ReadScope scope;
    SimDevice* dev = static_cast<SimDevice*>(devp);
    if (!dev) return PLAT_ERR_INVALID_HANDLE;
    DrvRequest r;
    r.port = dev->port;
    r.mgmt = dev->mgmt;
    r.code = code;
    r.in = static_cast<const uint8_t*>(in);
    r.inSize = in ? inSize : 0;
    r.env = static_cast<uint8_t*>(out);
    r.size = out ? outSize : 0;
    r.payload = r.env;
    r.payloadSize = r.size;
    const DrvHandlerEntry* row = find_row(code, false);
    if (!resolve(dev->port, dev->mgmt, &r.ref))
        return finish(r, "NO_DEVICE", PLAT_ERR_GEN_FAILURE, "device gone");
    uint32_t err = 0;
    if (apply_fault(r, row, &err)) return finish(r, row->name, err ? err : PLAT_ERR_GEN_FAILURE, nullptr);
    err = ct_post_receive(r, op);
    if (err != PLAT_ERR_IO_PENDING) return finish(r, row->name, err, nullptr);
    finish(r, row->name, 0, "pending");
    return PLAT_ERR_IO_PENDING;
}

// The machine's writer locks live in its state folder, beside the rest of the
// machine, so every machine (every HBASIM_DIR) has locks of its own.
size_t sim_lock_dir(char* buf, size_t size) {
    std::string dir = state_dir();
    if (dir.empty() || !buf || dir.size() + sizeof "/locks" > size) {
        if (buf && size) buf[0] = '\0';
        return 0;
    }
    dir += "/locks";
    memcpy(buf, dir.c_str(), dir.size() + 1);
    return dir.size();
}

const HbaDriverBackend kBackend = {HBA_DRIVER_BACKEND_VERSION,
                                   sim_open,
                                   sim_control,
                                   sim_close,
                                   sim_submit,
                                   ct_wait,
                                   ct_cancel,
                                   &kWmiProvider,
                                   sim_lock_dir};

} // namespace
} // namespace hbasim

extern "C" __attribute__((visibility("default"))) const HbaDriverBackend* hba_driver_backend() {
    return &hbasim::kBackend;
}
