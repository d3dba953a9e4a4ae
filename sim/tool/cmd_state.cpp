// hbasim init, show, reboot, check and fleet: the machine as a whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/core/sim_model.h"
#include "sim/tool/tool.h"

namespace hbasim_tool {

using namespace hbasim;

// Reads a fleet file: a regular file of at most kFleetFileMax bytes. False
// with *why set otherwise.
static bool read_text(const std::string& path, std::string* out, std::string* why) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        *why = strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        *why = "not a regular file";
        return false;
    }
    out->clear();
    char buf[8192];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) *why = strerror(errno);
        if (n <= 0) {
            close(fd);
            return n == 0;
        }
        if (out->size() + (size_t)n > kFleetFileMax) {
            close(fd);
            *why = "larger than " + std::to_string(kFleetFileMax / 1024) + " KiB";
            return false;
        }
        out->append(buf, (size_t)n);
    }
}

static int fleet_error(const std::string& file, const FleetError& e) {
    return fail(EXIT_FAIL, file + ":" + std::to_string(e.line) + ": " + e.message);
}

int cmd_init(const Args& a) {
    std::string file;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] == "--fleet" && i + 1 < a.size())
            file = a[++i];
        else if (a[i] == "--fleet")
            return fail(EXIT_USAGE, "init: --fleet needs a file name");
        else
            return fail(EXIT_USAGE, "init: unexpected argument '" + a[i] + "'");
    }
    std::string text = default_fleet_text(), why;
    if (!file.empty() && !read_text(file, &text, &why))
        return fail(EXIT_FAIL, "init: cannot read fleet file '" + file + "': " + why);
    FleetError err;
    int rc = init_state(text, &err);
    if (rc == SIM_ERR_FLEET) return fleet_error(file.empty() ? "default fleet" : file, err);
    if (rc) return fail(EXIT_FAIL, "init: " + last_error());
    Machine m;
    read_machine(&m);
    printf("Initialised %s: %zu adapters from %s\n", state_dir().c_str(), m.adapters.size(),
           file.empty() ? "the default fleet" : file.c_str());
    return EXIT_OK;
}

// Reads every adapter of the state; prints one line per damaged file on
// standard error. Returns the number of damaged files, -1 when the state
// cannot be read at all.
static int read_state(const char* cmd, Machine* m) {
    std::vector<std::string> damaged;
    if (check_machine(m, &damaged) != SIM_OK) {
        fail(EXIT_FAIL, std::string(cmd) + ": " + last_error());
        return -1;
    }
    for (const std::string& d : damaged)
        fail(EXIT_FAIL, std::string(cmd) + ": " + d);
    return (int)damaged.size();
}

int cmd_check(const Args& a) {
    if (a.empty()) { // the state directory
        Machine m;
        int bad = read_state("check", &m);
        if (bad < 0) return EXIT_FAIL;
        if (bad > 0) {
            printf("%s: %d damaged adapter file(s), %zu adapters readable\n", state_dir().c_str(),
                   bad, m.adapters.size());
            return EXIT_FAIL;
        }
        printf("%s: %zu adapters, state is sound\n", state_dir().c_str(), m.adapters.size());
        return EXIT_OK;
    }
    if (a.size() != 1) return fail(EXIT_USAGE, "check: expected at most one fleet file");
    std::string text, why;
    if (!read_text(a[0], &text, &why))
        return fail(EXIT_FAIL, "check: cannot read '" + a[0] + "': " + why);
    Machine m;
    FleetError err;
    if (parse_fleet(text, &m, &err) != SIM_OK) return fleet_error(a[0], err);
    printf("%s: %zu adapters, fleet is valid\n", a[0].c_str(), m.adapters.size());
    return EXIT_OK;
}

int cmd_fleet(const Args& a) {
    if (!a.empty()) return fail(EXIT_USAGE, "fleet: no arguments expected");
    fputs(default_fleet_text(), stdout);
    return EXIT_OK;
}

int cmd_schema(const Args& a) {
    if (!a.empty()) return fail(EXIT_USAGE, "schema: no arguments expected");
    static const char* kTypes[] = {"text", "number", "yes/no", "WWN", "MAC", "hex bytes", "choice"};
    printf("Adapter kinds (function kinds they may carry):\n");
    for (size_t i = 0; i < kAdapterKindCount; ++i)
        printf("  %-8s %s%s\n", kAdapterKinds[i].kind, kAdapterKinds[i].functionKinds,
               kAdapterKinds[i].converged ? " (listed by NEXA)" : "");
    printf("\nKeys: scope, kinds, type, default (* derived, - none), help\n");
    for (size_t i = 0; i < kFleetSchemaCount; ++i) {
        const FleetKeyDef& d = kFleetSchema[i];
        const char* type = d.type >= 0 && d.type <= FT_CHOICE ? kTypes[d.type] : "?";
        printf("  %-22s %-8s %-14s %-9s %-12s %s", d.key, d.scope, d.kinds, type,
               d.def ? (*d.def ? d.def : "\"\"") : "-", d.help);
        if (d.choices) printf(" [%s]", d.choices);
        printf("\n");
    }
    return EXIT_OK;
}

int cmd_reboot(const Args& a) {
    if (!a.empty()) return fail(EXIT_USAGE, "reboot: no arguments expected");
    if (reboot_machine() != SIM_OK) return fail(EXIT_FAIL, "reboot: " + last_error());
    printf("Machine rebooted\n");
    return EXIT_OK;
}

static constexpr size_t kShowBlobMax = 4096;

static void show_function(const Adapter& a, size_t fi, bool verbose) {
    const Function& f = a.funcs[fi];
    printf("  fn %zu  %-5s", fi, f.kind.c_str());
    printf("  pci %04llx:%02llx:%02llx.%llx", (unsigned long long)a.attrs.get_u("pci_segment"),
           (unsigned long long)a.attrs.get_u("pci_bus"),
           (unsigned long long)f.attrs.get_u("pci_device"),
           (unsigned long long)f.attrs.get_u("pci_function"));
    printf("  id %04llX:%04llX", (unsigned long long)a.attrs.get_u("vendor_id"),
           (unsigned long long)f.attrs.get_u("device_id"));
    printf("  port %s", f.attrs.get("port").c_str());
    if (func_driver_visible(f)) {
        printf("  Scsi%d%s", func_scsi_port(f),
               f.attrs.get("mgmt_device") == "1" ? "" : " (no mgmt)");
        printf("  WWPN %s  WWNN %s", f.attrs.get("wwpn").c_str(), f.attrs.get("wwnn").c_str());
        printf("  sli %s  driver %s", f.attrs.get("sli_mode").c_str(),
               f.attrs.get("driver_name").c_str());
    } else {
        printf("  MAC %s", f.attrs.get("mac").c_str());
    }
    printf("  link %s\n", f.attrs.get("link").c_str());
    if (verbose) {
        for (const auto& [k, v] : f.attrs.kv)
            printf("      %s = %s\n", k.c_str(), v.c_str());
        // Regions and memory pages in hex, so that two states can be compared
        // as text; larger blobs by their size.
        for (const auto& [k, v] : f.blobs) {
            if (v.size() > kShowBlobMax) {
                printf("      [%s: %zu bytes]\n", k.c_str(), v.size());
                continue;
            }
            printf("      [%s] =", k.c_str());
            for (size_t i = 0; i < v.size(); ++i)
                printf("%s%02X", i % 4 == 0 ? " " : "", v[i]);
            printf("\n");
        }
    }
}

int cmd_show(const Args& a) {
    bool verbose = false;
    for (const std::string& s : a) {
        if (s == "-v" || s == "--verbose")
            verbose = true;
        else
            return fail(EXIT_USAGE, "show: unexpected argument '" + s + "'");
    }
    Machine m;
    int bad = read_state("show", &m);
    if (bad < 0) return EXIT_FAIL;
    printf("State directory: %s\n", state_dir().c_str());
    printf("%zu adapters\n", m.adapters.size());
    for (size_t ai = 0; ai < m.adapters.size(); ++ai) {
        const Adapter& ad = m.adapters[ai];
        printf("\nAdapter %zu  %s  (%s)  model %s  serial %s\n", ai, ad.name.c_str(),
               ad.kind.c_str(), ad.attrs.get("model").c_str(), ad.attrs.get("serial").c_str());
        printf("  firmware active %s, on flash %s\n", ad.attrs.get("fw_active").c_str(),
               ad.attrs.get("fw_flash").c_str());
        if (verbose) {
            for (const auto& [k, v] : ad.attrs.kv)
                printf("    %s = %s\n", k.c_str(), v.c_str());
            for (const auto& [k, v] : ad.blobs)
                printf("    [%s: %zu bytes]\n", k.c_str(), v.size());
        }
        for (size_t fi = 0; fi < ad.funcs.size(); ++fi)
            show_function(ad, fi, verbose);
    }
    return bad ? EXIT_FAIL : EXIT_OK;
}

} // namespace hbasim_tool
