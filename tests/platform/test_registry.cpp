// The file-backed registry: names, values, enumeration, sharing, corruption and faults.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/platform/child.h"
#include "tests/support/support.h"

using plattest::in_child;

namespace {

class Registry : public ::testing::Test {
  protected:
    hbatest::TempState state;

    PlatRegKey create(const char* path) {
        PlatRegKey k = nullptr;
        EXPECT_EQ(plat_reg_create_key(PLAT_HKLM, path, &k), PLAT_REG_OK) << path;
        return k;
    }
    static void set_dword(PlatRegKey k, const char* name, uint32_t v) {
        ASSERT_EQ(plat_reg_set_value(k, name, PLAT_REG_DWORD, &v, 4), PLAT_REG_OK);
    }
    static int32_t get_dword(PlatRegKey k, const char* name, uint32_t* v) {
        uint32_t size = 4, type = 0;
        int32_t rc = plat_reg_query_value(k, name, &type, v, &size);
        if (rc == PLAT_REG_OK && (type != PLAT_REG_DWORD || size != 4)) return -1;
        return rc;
    }
    static std::vector<std::string> subkeys(PlatRegKey k) {
        std::vector<std::string> out;
        char name[256];
        for (uint32_t i = 0;; ++i) {
            uint32_t size = sizeof name;
            int32_t rc = plat_reg_enum_key(k, i, name, &size);
            if (rc != PLAT_REG_OK) {
                EXPECT_EQ(rc, PLAT_REG_NO_MORE_ITEMS);
                break;
            }
            EXPECT_EQ(size, strlen(name));
            out.push_back(name);
        }
        return out;
    }
};

TEST_F(Registry, KeyAndValueNamesIgnoreCase) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Driver");
    set_dword(k, "LinkSpeed", 8);
    plat_reg_close_key(k);

    struct {
        const char* path;
        const char* value;
    } cases[] = {
        {"SOFTWARE\\Tsv\\Driver", "LinkSpeed"},
        {"software\\tsv\\driver", "linkspeed"},
        {"SoFtWaRe\\TSV\\DRIVER\\", "LINKSPEED"},
        {"\\SOFTWARE\\\\Tsv\\Driver", "lInKsPeEd"},
    };
    for (const auto& c : cases) {
        PlatRegKey o = nullptr;
        ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, c.path, &o), PLAT_REG_OK) << c.path;
        uint32_t v = 0;
        EXPECT_EQ(get_dword(o, c.value, &v), PLAT_REG_OK) << c.path;
        EXPECT_EQ(v, 8u);
        plat_reg_close_key(o);
    }
    // Setting through another spelling replaces the value and keeps its first name.
    ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\TSV\\driver", &k), PLAT_REG_OK);
    set_dword(k, "LINKSPEED", 16);
    char name[64];
    uint32_t nameSize = sizeof name;
    EXPECT_EQ(plat_reg_enum_value(k, 0, name, &nameSize, nullptr, nullptr, nullptr), PLAT_REG_OK);
    EXPECT_STREQ(name, "LinkSpeed");
    nameSize = sizeof name;
    EXPECT_EQ(plat_reg_enum_value(k, 1, name, &nameSize, nullptr, nullptr, nullptr),
              PLAT_REG_NO_MORE_ITEMS);
    uint32_t v = 0;
    EXPECT_EQ(get_dword(k, "linkspeed", &v), PLAT_REG_OK);
    EXPECT_EQ(v, 16u);
    plat_reg_close_key(k);
}

TEST_F(Registry, QueryDistinguishesMoreDataFromNotFound) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Q");
    const uint8_t blob[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    ASSERT_EQ(plat_reg_set_value(k, "Blob", PLAT_REG_BINARY, blob, sizeof blob), PLAT_REG_OK);
    ASSERT_EQ(plat_reg_set_value(k, "Empty", PLAT_REG_BINARY, nullptr, 0), PLAT_REG_OK);

    struct {
        const char* name;
        bool withBuffer;
        uint32_t bufSize;
        int32_t rc;
        uint32_t sizeOut;
    } cases[] = {
        {"Blob", true, 10, PLAT_REG_OK, 10},          {"Blob", true, 64, PLAT_REG_OK, 10},
        {"Blob", true, 9, PLAT_REG_MORE_DATA, 10},    {"Blob", true, 0, PLAT_REG_MORE_DATA, 10},
        {"Blob", false, 0, PLAT_REG_OK, 10}, // size request
        {"Empty", true, 0, PLAT_REG_OK, 0},           {"Missing", true, 64, PLAT_REG_NOT_FOUND, 64},
        {"Missing", false, 0, PLAT_REG_NOT_FOUND, 0},
    };
    for (const auto& c : cases) {
        uint8_t buf[64];
        memset(buf, 0xEE, sizeof buf);
        uint32_t size = c.bufSize, type = 0;
        int32_t rc = plat_reg_query_value(k, c.name, &type, c.withBuffer ? buf : nullptr, &size);
        EXPECT_EQ(rc, c.rc) << c.name << " buf " << c.bufSize;
        EXPECT_EQ(size, c.sizeOut) << c.name << " buf " << c.bufSize;
        if (rc == PLAT_REG_OK && c.withBuffer && size) {
            EXPECT_EQ(memcmp(buf, blob, size), 0);
        }
        if (rc == PLAT_REG_MORE_DATA) {
            EXPECT_EQ(buf[0], 0xEE) << "buffer must stay untouched";
        }
    }
    PlatRegKey none = nullptr;
    EXPECT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Nope", &none), PLAT_REG_NOT_FOUND);
    EXPECT_EQ(none, nullptr);
    plat_reg_close_key(k);
}

TEST_F(Registry, StringsAreStoredTerminated) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\S");
    struct {
        uint32_t type;
        std::string in;
        std::string stored;
    } cases[] = {
        {PLAT_REG_SZ, std::string("abc", 3), std::string("abc\0", 4)},
        {PLAT_REG_SZ, std::string("abc\0", 4), std::string("abc\0", 4)},
        {PLAT_REG_SZ, std::string(), std::string("\0", 1)},
        {PLAT_REG_MULTI_SZ, std::string("a\0b", 3), std::string("a\0b\0\0", 5)},
        {PLAT_REG_MULTI_SZ, std::string("a\0b\0", 4), std::string("a\0b\0\0", 5)},
        {PLAT_REG_MULTI_SZ, std::string("a\0\0", 3), std::string("a\0\0", 3)},
        {PLAT_REG_BINARY, std::string("ab", 2), std::string("ab", 2)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(plat_reg_set_value(k, "V", c.type, c.in.data(), (uint32_t)c.in.size()),
                  PLAT_REG_OK);
        char buf[16];
        uint32_t size = sizeof buf, type = 0;
        ASSERT_EQ(plat_reg_query_value(k, "v", &type, buf, &size), PLAT_REG_OK);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(std::string(buf, size), c.stored);
    }
    plat_reg_close_key(k);
}

TEST_F(Registry, EnumerationKeepsOriginalNames) {
    PlatRegKey root = create("SYSTEM\\Services");
    for (const char* n : {"Zeta", "alpha", "Mid\\Child", "BETA"}) {
        PlatRegKey s = nullptr;
        ASSERT_EQ(plat_reg_create_subkey(root, n, &s), PLAT_REG_OK);
        plat_reg_close_key(s);
    }
    EXPECT_EQ(subkeys(root), (std::vector<std::string>{"alpha", "BETA", "Mid", "Zeta"}));

    char small[3];
    uint32_t size = sizeof small;
    EXPECT_EQ(plat_reg_enum_key(root, 0, small, &size), PLAT_REG_MORE_DATA);
    EXPECT_EQ(size, 6u); // "alpha" and its terminator

    // Values come back in the order they were first set, with type and data.
    const char* names[] = {"Second", "First", "Third"};
    for (uint32_t i = 0; i < 3; ++i)
        set_dword(root, names[i], 100 + i);
    set_dword(root, "FIRST", 7); // replaced in place
    for (uint32_t i = 0; i < 3; ++i) {
        char name[32];
        uint32_t nameSize = sizeof name, type = 0, v = 0, vs = 4;
        ASSERT_EQ(plat_reg_enum_value(root, i, name, &nameSize, &type, &v, &vs), PLAT_REG_OK);
        EXPECT_STREQ(name, names[i]);
        EXPECT_EQ(nameSize, strlen(names[i]));
        EXPECT_EQ(type, (uint32_t)PLAT_REG_DWORD);
        EXPECT_EQ(v, i == 1 ? 7u : 100 + i);
    }
    char name[32];
    uint32_t nameSize = sizeof name, dataSize = 2;
    uint8_t data[2];
    EXPECT_EQ(plat_reg_enum_value(root, 0, name, &nameSize, nullptr, data, &dataSize),
              PLAT_REG_MORE_DATA);
    EXPECT_EQ(dataSize, 4u);
    nameSize = sizeof name;
    EXPECT_EQ(plat_reg_enum_value(root, 3, name, &nameSize, nullptr, nullptr, nullptr),
              PLAT_REG_NO_MORE_ITEMS);
    plat_reg_close_key(root);
}

TEST_F(Registry, DeleteKeyValueAndTree) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Tree\\A\\B");
    set_dword(k, "X", 1);
    EXPECT_EQ(plat_reg_delete_value(k, "x"), PLAT_REG_OK);
    EXPECT_EQ(plat_reg_delete_value(k, "x"), PLAT_REG_NOT_FOUND);
    plat_reg_close_key(k);

    struct {
        const char* path;
        bool tree;
        int32_t rc;
    } steps[] = {
        {"SOFTWARE\\Tsv\\Tree\\A", false, PLAT_REG_ACCESS_DENIED}, // has a subkey
        {"SOFTWARE\\Tsv\\Tree\\a\\b", false, PLAT_REG_OK},
        {"SOFTWARE\\Tsv\\Tree\\A\\B", false, PLAT_REG_NOT_FOUND},
        {"SOFTWARE\\Tsv\\Nope", true, PLAT_REG_NOT_FOUND},
        {"", true, PLAT_REG_INVALID}, // the root itself
        {"SOFTWARE\\TSV\\tree", true, PLAT_REG_OK},
    };
    for (const auto& s : steps)
        EXPECT_EQ(s.tree ? plat_reg_delete_tree(PLAT_HKLM, s.path)
                         : plat_reg_delete_key(PLAT_HKLM, s.path),
                  s.rc)
            << s.path;
    PlatRegKey gone = nullptr;
    EXPECT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Tree", &gone), PLAT_REG_NOT_FOUND);
    ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv", &k), PLAT_REG_OK);
    EXPECT_TRUE(subkeys(k).empty());
    plat_reg_close_key(k);
}

TEST_F(Registry, HandleToDeletedKeyDoesNotRecreateIt) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Gone");
    set_dword(k, "X", 1);
    ASSERT_EQ(plat_reg_delete_tree(PLAT_HKLM, "SOFTWARE\\Tsv\\Gone"), PLAT_REG_OK);
    uint32_t v = 0;
    EXPECT_EQ(get_dword(k, "X", &v), PLAT_REG_NOT_FOUND);
    EXPECT_EQ(plat_reg_set_value(k, "X", PLAT_REG_DWORD, &v, 4), PLAT_REG_NOT_FOUND);
    plat_reg_close_key(k);
    EXPECT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Gone", &k), PLAT_REG_NOT_FOUND);
}

TEST_F(Registry, ChangesAreSeenByOtherProcesses) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Shared");
    set_dword(k, "FromParent", 11);
    // The child sees the parent's value and writes its own.
    int rc = in_child([] {
        PlatRegKey c = nullptr;
        if (plat_reg_open_key(PLAT_HKLM, "software\\tsv\\shared", &c) != PLAT_REG_OK) return 1;
        uint32_t v = 0, size = 4;
        if (plat_reg_query_value(c, "FromParent", nullptr, &v, &size) != PLAT_REG_OK || v != 11)
            return 2;
        v = 22;
        if (plat_reg_set_value(c, "FromChild", PLAT_REG_DWORD, &v, 4) != PLAT_REG_OK) return 3;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    uint32_t v = 0;
    EXPECT_EQ(get_dword(k, "FromChild", &v), PLAT_REG_OK);
    EXPECT_EQ(v, 22u);
    plat_reg_close_key(k);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Busy");
    plat_reg_close_key(k);
    const int kPerWriter = 150;
    auto writer = [](char tag) {
        return [tag] {
            PlatRegKey c = nullptr;
            if (plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Busy", &c) != PLAT_REG_OK) return 1;
            for (uint32_t i = 0; i < kPerWriter; ++i) {
                char name[16];
                snprintf(name, sizeof name, "%c%u", tag, i);
                if (plat_reg_set_value(c, name, PLAT_REG_DWORD, &i, 4) != PLAT_REG_OK) return 2;
            }
            plat_reg_close_key(c);
            return 0;
        };
    };
    pid_t a = plattest::start_child(writer('a'));
    pid_t b = plattest::start_child(writer('b'));
    EXPECT_EQ(plattest::wait_child(a), 0);
    EXPECT_EQ(plattest::wait_child(b), 0);
    ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Busy", &k), PLAT_REG_OK);
    for (char tag : {'a', 'b'})
        for (uint32_t i = 0; i < kPerWriter; ++i) {
            char name[16];
            snprintf(name, sizeof name, "%c%u", tag, (unsigned)i);
            uint32_t v = 0;
            ASSERT_EQ(get_dword(k, name, &v), PLAT_REG_OK) << name;
            EXPECT_EQ(v, i);
        }
    plat_reg_close_key(k);
}

TEST_F(Registry, CorruptStoreGivesErrorNotCrash) {
    PlatRegKey k = create("SOFTWARE\\Bad");
    set_dword(k, "Good", 1);
    const std::string file = state.path("registry/hklm/software/bad/#key");
    const std::string good = hbatest::read_file(file);
    ASSERT_FALSE(good.empty());
    const std::string cases[] = {
        "",                                              // empty
        "garbage that is not a key record",              // wrong magic
        good.substr(0, good.size() - 2),                 // cut short
        good + "x",                                      // trailing bytes
        good.substr(0, 4) + "\xff\xff" + good.substr(6), // name length past the end
    };
    for (const auto& bad : cases) {
        hbatest::write_file(file, bad);
        uint32_t v = 0;
        EXPECT_EQ(get_dword(k, "Good", &v), PLAT_REG_ERROR);
        EXPECT_EQ(plat_reg_set_value(k, "New", PLAT_REG_DWORD, &v, 4), PLAT_REG_ERROR);
        char name[32];
        uint32_t ns = sizeof name;
        EXPECT_EQ(plat_reg_enum_value(k, 0, name, &ns, nullptr, nullptr, nullptr), PLAT_REG_ERROR);
        PlatRegKey parent = nullptr;
        ASSERT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE", &parent), PLAT_REG_OK);
        ns = sizeof name;
        EXPECT_EQ(plat_reg_enum_key(parent, 0, name, &ns), PLAT_REG_ERROR);
        plat_reg_close_key(parent);
        // A failed write leaves the damaged file for inspection, unchanged.
        EXPECT_EQ(hbatest::read_file(file), bad);
    }
    plat_reg_close_key(k);
}

TEST_F(Registry, DenySwitchRefusesChangesButNotReads) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Deny");
    set_dword(k, "V", 5);
    plat_reg_close_key(k);
    auto check_denied = [] {
        PlatRegKey c = nullptr;
        if (plat_reg_create_key(PLAT_HKLM, "SOFTWARE\\Tsv\\New", &c) != PLAT_REG_ACCESS_DENIED)
            return 1;
        if (plat_reg_create_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Deny", &c) != PLAT_REG_ACCESS_DENIED)
            return 2;
        if (plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Deny", &c) != PLAT_REG_OK) return 3;
        uint32_t v = 0, size = 4;
        if (plat_reg_query_value(c, "V", nullptr, &v, &size) != PLAT_REG_OK || v != 5) return 4;
        if (plat_reg_set_value(c, "V", PLAT_REG_DWORD, &v, 4) != PLAT_REG_ACCESS_DENIED) return 5;
        if (plat_reg_delete_tree(PLAT_HKLM, "SOFTWARE\\Tsv") != PLAT_REG_ACCESS_DENIED) return 6;
        plat_reg_close_key(c);
        return 0;
    };
    EXPECT_EQ(in_child([&] {
                  setenv("HBASIM_REG_DENY", "1", 1);
                  return check_denied();
              }),
              0);
    EXPECT_EQ(in_child([&] {
                  plat_reg_set_deny_create(true);
                  return check_denied();
              }),
              0);
    // Neither switch leaked into this process; HBASIM_REG_DENY=0 does not deny.
    setenv("HBASIM_REG_DENY", "0", 1);
    EXPECT_EQ(plat_reg_create_key(PLAT_HKLM, "SOFTWARE\\Tsv\\New", &k), PLAT_REG_OK);
    unsetenv("HBASIM_REG_DENY");
    plat_reg_close_key(k);
}

// A store whose file system is full or read-only says so: its changes fail
// with their own statuses (never ACCESS_DENIED, the status of missing
// rights), reads keep working, and no half-made key is left.
TEST_F(Registry, FullOrReadOnlyStoreIsNotMissingRights) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Disk");
    set_dword(k, "V", 5);
    const struct {
        int err;
        int32_t status;
    } cases[] = {{ENOSPC, PLAT_REG_DISK_FULL}, {EROFS, PLAT_REG_WRITE_PROTECT}};
    for (const auto& c : cases) {
        plat_set_state_error(c.err);
        PlatRegKey n = nullptr;
        EXPECT_EQ(plat_reg_create_key(PLAT_HKLM, "SOFTWARE\\Tsv\\New", &n), c.status);
        uint32_t v = 6;
        EXPECT_EQ(plat_reg_set_value(k, "V", PLAT_REG_DWORD, &v, 4), c.status);
        EXPECT_EQ(get_dword(k, "V", &v), PLAT_REG_OK);
        EXPECT_EQ(v, 5u);
        plat_set_state_error(0);
        EXPECT_EQ(plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\New", &n), PLAT_REG_NOT_FOUND);
    }
    plat_reg_close_key(k);
}

TEST_F(Registry, InjectedFailuresMatchOperationPathAndCount) {
    PlatRegKey k = create("SOFTWARE\\Tsv\\Inj");
    set_dword(k, "V", 1);
    struct Case {
        const char* op;
        const char* path;
        int count;
        const char* callOp; // the call made
        int32_t expect[3];  // results of three calls in a row
    } cases[] = {
        {"query", "tsv\\INJ", 2, "query", {31, 31, PLAT_REG_OK}},
        {"query", "Other", 1, "query", {PLAT_REG_OK, PLAT_REG_OK, PLAT_REG_OK}},
        {"set", "", 1, "query", {PLAT_REG_OK, PLAT_REG_OK, PLAT_REG_OK}},
        {"set", "", 1, "set", {31, PLAT_REG_OK, PLAT_REG_OK}},
        {"", "Inj", -1, "open", {31, 31, 31}},
        {"create", "", 1, "create", {31, PLAT_REG_OK, PLAT_REG_OK}},
        {"enum", "", 1, "enum", {31, PLAT_REG_OK, PLAT_REG_OK}},
    };
    for (const auto& c : cases) {
        plat_reg_inject_failure(nullptr, nullptr, 0, 0);
        plat_reg_inject_failure(c.op, c.path, 31, c.count);
        for (int i = 0; i < 3; ++i) {
            int32_t rc = -1;
            uint32_t v = 0, size = 4;
            char name[32];
            PlatRegKey o = nullptr;
            std::string op = c.callOp;
            if (op == "query") rc = plat_reg_query_value(k, "V", nullptr, &v, &size);
            if (op == "set") rc = plat_reg_set_value(k, "V", PLAT_REG_DWORD, &v, 4);
            if (op == "open") rc = plat_reg_open_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Inj", &o);
            if (op == "create") rc = plat_reg_create_key(PLAT_HKLM, "SOFTWARE\\Tsv\\Inj", &o);
            if (op == "enum")
                rc = plat_reg_enum_value(k, 0, name, &(size = sizeof name), nullptr, nullptr,
                                         nullptr);
            plat_reg_close_key(o);
            EXPECT_EQ(rc, c.expect[i]) << c.op << " " << c.path << " call " << i;
        }
    }
    plat_reg_inject_failure(nullptr, nullptr, 0, 0);
    uint32_t v = 0;
    EXPECT_EQ(get_dword(k, "V", &v), PLAT_REG_OK);
    plat_reg_close_key(k);
}

} // namespace
