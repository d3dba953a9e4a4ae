// Registry store files: the input is the "#key" file of one key; the key is
// opened, its values enumerated and read as a program would.
#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/plat_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dir = fuzz::private_dir() + "/registry/hklm/fuzzkey";
    static bool made = [&] {
        mkdir((fuzz::private_dir() + "/registry").c_str(), 0755);
        mkdir((fuzz::private_dir() + "/registry/hklm").c_str(), 0755);
        mkdir(dir.c_str(), 0755);
        return true;
    }();
    (void)made;
    fuzz::write_input("registry/hklm/fuzzkey/#key", data, size);
    PlatRegKey key = nullptr;
    if (plat_reg_open_key(PLAT_HKLM, "FuzzKey", &key) != PLAT_REG_OK) return 0;
    for (uint32_t i = 0; i < 64; ++i) {
        char name[256];
        uint8_t value[512];
        uint32_t nameSize = sizeof name, type = 0, dataSize = sizeof value;
        int32_t rc = plat_reg_enum_value(key, i, name, &nameSize, &type, value, &dataSize);
        if (rc == PLAT_REG_NO_MORE_ITEMS || rc == PLAT_REG_ERROR) break;
        if (rc != PLAT_REG_OK) continue;
        dataSize = sizeof value;
        plat_reg_query_value(key, name, &type, value, &dataSize);
    }
    uint32_t type = 0, dataSize = 0;
    plat_reg_query_value(key, "", &type, nullptr, &dataSize);
    plat_reg_close_key(key);
    return 0;
}
