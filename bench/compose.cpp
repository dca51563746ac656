// Composes the four faces of a 129 x 33 button many times and, in the same
// run, makes four plain BitBlt copies of a 129 x 33 face as many times.
#include "bench/bench_util.h"
#include "bench/skin_bench_util.h"
#include "skin/button_faces.h"

int main() {
  constexpr int kRounds = 2000;
  bench::SkinnedButton b;
  HDC target = CreateCompatibleDC(b.Face(0));
  HBITMAP bitmap = CreateCompatibleBitmap(b.Face(0), 129, 33);
  HGDIOBJ old = SelectObject(target, bitmap);

  const double composing = bench::Best(
      3, [] {},
      [&] {
        for (int i = 0; i < kRounds; ++i) ComposeButtonFaces(b.button);
      });
  const double copying = bench::Best(
      3, [] {},
      [&] {
        for (int i = 0; i < kRounds; ++i)
          for (int s = 0; s < 4; ++s) BitBlt(target, 0, 0, 129, 33, b.Face(s), 0, 0, SRCCOPY);
      });
  std::printf("one composition: %.1f us\n", composing / kRounds * 1e6);
  bench::Report("compose 4 faces x 2,000", composing, "4 BitBlt copies x 2,000", copying);

  SelectObject(target, old);
  DeleteObject(bitmap);
  DeleteDC(target);
  return 0;
}
