// Helpers for the NEXA tests: path lookups, property reads, actions, and a
// probe that runs this test program again as a fresh process.
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "interfaces/nexa.h"
#include "tests/support/support.h"

namespace nxt {

// Looks up "A/B/C" node by node from the root ("" is the root).
inline int node(const std::string& path, int* tag) {
    int t = NEXA_ROOT_TAG;
    size_t p = 0;
    while (p < path.size()) {
        size_t e = path.find('/', p);
        if (e == std::string::npos) e = path.size();
        std::string part = path.substr(p, e - p);
        int rc = NEXA_get_node_tag(t, part.c_str(), &t, NEXA_KIND_NODE);
        if (rc != NEXA_OK) return rc;
        p = e + 1;
    }
    *tag = t;
    return NEXA_OK;
}

inline int member(const std::string& path, const char* name, int kind, int* nodeTag, int* tag) {
    int rc = node(path, nodeTag);
    return rc != NEXA_OK ? rc : NEXA_get_node_tag(*nodeTag, name, tag, kind);
}

inline int read(const std::string& path, const char* prop, std::string* out) {
    int n = 0, p = 0;
    int rc = member(path, prop, NEXA_KIND_PROPERTY, &n, &p);
    if (rc != NEXA_OK) return rc;
    char buf[NEXA_VALUE_SIZE];
    rc = NEXA_get_property_val(n, p, buf, sizeof buf);
    if (rc == NEXA_OK) *out = buf;
    return rc;
}

inline std::string value(const std::string& path, const char* prop) {
    std::string v;
    int rc = read(path, prop, &v);
    EXPECT_EQ(rc, NEXA_OK) << path << " " << prop;
    return v;
}

inline int write(const std::string& path, const char* prop, const std::string& v) {
    int n = 0, p = 0;
    int rc = member(path, prop, NEXA_KIND_PROPERTY, &n, &p);
    return rc != NEXA_OK ? rc : NEXA_set_property_val(n, p, v.c_str(), (int)v.size());
}

struct Status {
    int code = -1;
    std::string text;
};

inline Status last_status() {
    Status s;
    char text[NEXA_STATUS_TEXT_SIZE];
    EXPECT_EQ(NEXA_get_last_status(&s.code, text), NEXA_OK);
    s.text = text;
    return s;
}

// Runs an action with up to six parameters; returns do_action's status.
inline int act(const std::string& path, const char* action, const std::vector<std::string>& params,
               Status* st = nullptr) {
    int n = 0, a = 0;
    int rc = member(path, action, NEXA_KIND_ACTION, &n, &a);
    if (rc != NEXA_OK) return rc;
    std::vector<char> block(NEXA_ACTION_PARAMS * NEXA_ACTION_PARAM_SIZE, 0);
    for (size_t k = 0; k < params.size() && k < NEXA_ACTION_PARAMS; ++k)
        memcpy(&block[k * NEXA_ACTION_PARAM_SIZE], params[k].data(),
               std::min(params[k].size(), (size_t)NEXA_ACTION_PARAM_SIZE - 1));
    std::vector<char> out(16388, 0);
    rc = NEXA_do_action(n, a, block.data(), out.data());
    if (st) *st = last_status();
    return rc;
}

inline std::string self_exe() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, (size_t)n) : std::string();
}

// Runs the probe test of this program in a new process with NEXA_PROBE set;
// returns the text between "PROBE[" and "]PROBE" in its output.
inline std::string probe(const std::string& what) {
    hbatest::RunResult r = hbatest::run(
        self_exe(), {"--gtest_filter=NexaProbe.DISABLED_Run", "--gtest_also_run_disabled_tests"},
        {{"NEXA_PROBE", what}});
    size_t b = r.out.find("PROBE[");
    size_t e = r.out.find("]PROBE");
    if (b == std::string::npos || e == std::string::npos || e < b) {
        ADD_FAILURE() << "probe failed: " << r.out << r.err;
        return "";
    }
    return r.out.substr(b + 6, e - b - 6);
}

// Default fleet: a CV3 adapter (two FCoE, two NIC functions) and a Tarnel
// adapter (two iSCSI, two NIC functions) are the two converged adapters.
class NexaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state_.init();
        ASSERT_EQ(NEXA_init(), NEXA_OK);
    }
    void TearDown() override { NEXA_exit(); }
    // Replaces the machine while NEXA is open.
    void use_fleet(const std::string& fleet) { state_.init(fleet); }
    hbatest::TempState state_;
};

} // namespace nxt
