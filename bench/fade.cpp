// One full fade (86 steps) of a 129 x 33 button, its WM_TIMER messages sent
// directly instead of waiting 15 ms each, against the same number of plain
// BitBlt copies of the face onto the window.
#include "bench/bench_util.h"
#include "bench/skin_bench_util.h"

int main() {
  constexpr int kFades = 50;
  bench::SkinnedButton b;
  const double fading = bench::Best(
      3, [] {},
      [&] {
        for (int f = 0; f < kFades; ++f) {
          SendMessageW(b.button, WM_MOUSELEAVE, 0, 0);  // a fade from 0: 86 steps
          for (int step = 0; step < 86; ++step) SendMessageW(b.button, WM_TIMER, 1, 0);
        }
      });
  const double copying = bench::Best(
      3, [] {},
      [&] {
        for (int f = 0; f < kFades; ++f) {
          for (int step = 0; step < 86; ++step) {
            HDC dc = GetWindowDC(b.button);
            BitBlt(dc, 0, 0, 129, 33, b.Face(0), 0, 0, SRCCOPY);
            ReleaseDC(b.button, dc);
          }
        }
      });
  std::printf("one fade: %.2f ms of work over its 1,290 ms\n", fading / kFades * 1e3);
  bench::Report("86-step fade x 50", fading, "86 BitBlt copies x 50", copying);
  return 0;
}
