// item_list_bench: what the item list costs as its rows grow: resetting to new rows (every text measured),
// repainting the whole client, and one scroll step followed by its repaint, at 100,000 rows against 100 rows,
// in the layout of several columns and in one long column. Not a test; run it to follow the cost over time:
//
//     wine build/item_list_bench.exe [rows...]      # default: 100 100000
//
// Prints milliseconds per step (best of five rounds; repaint and scroll averaged over 50 of each) and each
// figure's ratio to the first row count's. The host is a fake with generated texts and no icons; painting
// goes into a memory bitmap through WM_PRINTCLIENT, so nothing needs to be on screen.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/bench/bench_support.h"
#include "ui/item_list_control.h"

namespace {

class bench_host final : public list_control_host {
public:
    uint32_t count = 0;
    bool one_column = false;

    void set_icon_size(int, int) override {}
    std::wstring item_text(uint32_t row) override {
        return L"Album " + std::to_wstring(row) + L" - Artist " + std::to_wstring(row / 12);
    }
    uint32_t item_count() override { return count; }
    HICON item_icon(uint32_t) override { return nullptr; }
    void activate() override {}
    void selection_changed() override {}
    bool single_column() override { return one_column; }
    bool has_side_panel() override { return false; }
    void draw_side_panel(const RECT&, const RECT&, int, HDC) override {}
    COLORREF color(int role) override { return role == 2 ? RGB(255, 255, 255) : role == 3 ? RGB(160, 190, 230) : 0; }
};

struct figures {
    double reset_ms, repaint_ms, scroll_ms;
};

constexpr int k_width = 800, k_height = 600, k_repeats = 50;

figures measure(uint32_t rows, bool one_column) {
    bench_host host;
    host.count = rows;
    host.one_column = one_column;
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, k_width, k_height, nullptr, nullptr, nullptr,
                                  nullptr);
    figures out = {};
    {
        item_list_control list(&host);
        list.create(parent, RECT{0, 0, k_width, k_height}, 1);
        list.set_selection({0, 2, 5, rows / 2}, true);
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, k_width, k_height);
        ReleaseDC(nullptr, screen);
        HGDIOBJ previous = SelectObject(dc, bitmap);
        HWND window = list.window();

        out.reset_ms = best_ms([&] { list.reset(); });
        list.set_selection({0, 2, 5, rows / 2}, true);
        out.repaint_ms = best_ms([&] {
                             for (int i = 0; i < k_repeats; ++i)
                                 SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
                         }) /
                         k_repeats;
        // One line further each time (back to the start at the end), then the whole client painted again.
        const UINT bar = one_column ? WM_VSCROLL : WM_HSCROLL;
        out.scroll_ms = best_ms([&] {
                            SendMessageW(window, bar, SB_TOP, 0);
                            for (int i = 0; i < k_repeats; ++i) {
                                SendMessageW(window, bar, SB_LINEDOWN, 0);
                                SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
                            }
                        }) /
                        k_repeats;
        SelectObject(dc, previous);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    DestroyWindow(parent);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<uint32_t> counts;
    for (int i = 1; i < argc; ++i) counts.push_back(static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10)));
    if (counts.empty()) counts = {100, 100000};
    for (uint32_t c : counts)
        if (c == 0) {
            std::fprintf(stderr, "usage: item_list_bench [rows, at least 1]...\n");
            return 2;
        }
    std::printf("item list in a %d x %d client; ms per step (ratio to %u rows)\n", k_width, k_height, counts[0]);
    for (bool one_column : {false, true}) {
        std::printf("%s\n", one_column ? "one column:" : "columns:");
        std::printf("  %9s %12s %12s %12s\n", "rows", "reset", "repaint", "scroll step");
        figures base = {};
        for (size_t i = 0; i < counts.size(); ++i) {
            figures f = measure(counts[i], one_column);
            if (i == 0) base = f;
            auto ratio = [](double v, double b) { return b > 0 ? v / b : 0.0; };
            std::printf("  %9u %7.3f (%4.1fx) %7.3f (%4.1fx) %7.3f (%4.1fx)\n", counts[i], f.reset_ms,
                        ratio(f.reset_ms, base.reset_ms), f.repaint_ms, ratio(f.repaint_ms, base.repaint_ms),
                        f.scroll_ms, ratio(f.scroll_ms, base.scroll_ms));
        }
    }
    return 0;
}
