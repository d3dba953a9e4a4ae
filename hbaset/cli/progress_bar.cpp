// The download progress bar on standard error (progress_bar.h).
#include "hbaset/cli/progress_bar.h"

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "platform/plat_fs.h"

namespace {

constexpr int kBarWidth = 30;
constexpr size_t kLabelWidth = 28;

struct BarState {
    int enabled = -1; // -1: not decided yet
    bool drawn = false;
    int shown = -1;
    char label[kLabelWidth + 1] = "";
};
BarState g_bar;

bool barOn() {
    if (g_bar.enabled < 0) g_bar.enabled = plat_stderr_is_terminal() ? 1 : 0;
    return g_bar.enabled == 1;
}

void draw(int value) {
    if (value < 0) value = 0;
    if (value > 100) value = 100;
    char bar[kBarWidth + 1];
    const int full = value * kBarWidth / 100;
    for (int i = 0; i < kBarWidth; ++i)
        bar[i] = i < full ? '#' : '-';
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%-*s [%s] %3d%%", static_cast<int>(kLabelWidth), g_bar.label, bar,
                 value);
    std::fflush(stderr);
    g_bar.drawn = true;
    g_bar.shown = value;
}

} // namespace

void progressBarEnable(bool on) {
    g_bar = BarState{};
    g_bar.enabled = on ? 1 : 0;
}

void progressBarStage(const char* name) {
    if (!barOn()) return;
    copyBounded(g_bar.label, sizeof g_bar.label, name != nullptr ? name : "");
    draw(0);
}

void progressBarPercent(int value) {
    if (!barOn() || value == g_bar.shown) return;
    draw(value);
}

void progressBarDone() {
    if (!barOn() || !g_bar.drawn) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    g_bar.drawn = false;
    g_bar.shown = -1;
}
