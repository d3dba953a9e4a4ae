// The simulated controller's "UpgradeFlashROM": its checks in order (busy,
// open, format, generation and ASIC revision, forced codes) and what it
// leaves on flash.
#include "interfaces/nexa.h"
#include "tests/cna_download/cna_fixture.h"

namespace {

using cnatest::makeUfi;

class SimUpgrade : public ::testing::Test {
  protected:
    void SetUp() override {
        // Corevane0: CV3 P2 (17), 1: CV3 (12), 2: Tarnel (18), 3: CV2.
        state_.init("adapter P2 cv3 upgrade_forced_status = 0\nfunction nic revision = 17\n"
                    "adapter CV3 cv3\nfunction nic revision = 12\n"
                    "adapter TN tarnel\nfunction nic revision = 18\n"
                    "adapter CV2 cv2\nfunction nic\n");
        ASSERT_EQ(NEXA_init(), NEXA_OK);
    }
    void TearDown() override { NEXA_exit(); }

    // Runs the action on Corevane<ctrl>; returns its status, checked against
    // the last status.
    int upgrade(int ctrl, const std::string& path) {
        int node = 0, action = 0;
        std::string name = "Corevane" + std::to_string(ctrl);
        EXPECT_EQ(NEXA_get_node_tag(NEXA_ROOT_TAG, name.c_str(), &node, NEXA_KIND_NODE), 0);
        EXPECT_EQ(NEXA_get_node_tag(node, "UpgradeFlashROM", &action, NEXA_KIND_ACTION), 0);
        char params[NEXA_ACTION_PARAMS * NEXA_ACTION_PARAM_SIZE] = {};
        snprintf(params, NEXA_ACTION_PARAM_SIZE, "%s", path.c_str());
        char out[NEXA_ACTION_RESULT_SIZE];
        int rc = NEXA_do_action(node, action, params, out);
        int code = -1;
        char text[NEXA_STATUS_TEXT_SIZE];
        EXPECT_EQ(NEXA_get_last_status(&code, text), 0);
        EXPECT_EQ(code, rc);
        return rc;
    }
    static std::string flash(int adapter) {
        std::string v;
        hbasim::read_adapter(adapter,
                             [&](const hbasim::Adapter& a) { v = a.attrs.get("fw_flash"); });
        return v;
    }
    static void set(int adapter, const char* key, const char* value) {
        hbasim::update_adapter(adapter, [&](hbasim::Adapter& a) {
            a.attrs.set(key, value);
            return true;
        });
    }

    hbatest::TempState state_;
};

TEST_F(SimUpgrade, ChecksInOrder) {
    struct Case {
        const char* what;
        int ctrl;
        std::vector<std::string> image; // empty: a file that does not exist
        int code;
    } cases[] = {
        {"missing file", 0, {}, 39},
        {"under 96 bytes", 1, {"--variant", "tiny"}, 40},
        {"length not the size, wrong generation", 1, {"--gen", "4", "--variant", "long"}, 40},
        {"build character outside 1-4", 1, {"--build", "5 1.2.3.4"}, 40},
        {"generation of another family", 1, {"--gen", "4"}, 162},
        {"cv2 build 1", 3, {"--gen", "2", "--build", "1 10.7.1.1"}, 55},
        {"plain cv3 any asic", 1, {"--asic", "0"}, 55},
        {"p2 asic 16", 0, {"--asic", "16"}, 162},
        {"p2 asic 17", 0, {"--asic", "17"}, 55},
        {"tarnel asic below revision", 2, {"--gen", "4", "--asic", "17"}, 162},
        {"tarnel asic at revision", 2, {"--gen", "4", "--asic", "18"}, 55},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string before = flash(c.ctrl);
        std::string path = c.image.empty()
                               ? state_.path("absent.ufi")
                               : makeUfi(state_, "i" + std::to_string(n++) + ".ufi", c.image);
        EXPECT_EQ(upgrade(c.ctrl, path), c.code);
        if (c.code != 55)
            EXPECT_EQ(flash(c.ctrl), before);
        else
            EXPECT_NE(flash(c.ctrl), before);
    }
}

TEST_F(SimUpgrade, InjectedAndForcedCodes) {
    std::string good = makeUfi(state_, "g.ufi", {"--version", "11.4.600.1"});
    std::string wrong = makeUfi(state_, "w.ufi", {"--gen", "4"});
    // Busy comes before anything is read.
    hbasim::Fault busy;
    busy.source = "nexa";
    busy.match = "do_action:UpgradeFlashROM";
    busy.action = "rc=173";
    busy.remaining = 1;
    ASSERT_EQ(hbasim::fault_add(busy), hbasim::SIM_OK);
    EXPECT_EQ(upgrade(1, state_.path("absent.ufi")), 173);
    // Forced codes come after the image checks and leave the flash alone.
    for (const char* forced : {"235", "318", "336", "337"}) {
        set(1, "upgrade_forced_status", forced);
        EXPECT_EQ(upgrade(1, wrong), 162);
        EXPECT_EQ(upgrade(1, good), atoi(forced));
        EXPECT_EQ(flash(1), "11.4.204.20");
    }
    set(1, "upgrade_forced_status", "0");
    set(1, "upgrade_status", "0");
    EXPECT_EQ(upgrade(1, good), 0);
    EXPECT_EQ(flash(1), "11.4.600.1");
}

} // namespace
