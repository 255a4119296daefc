// Text written into the log window: any bytes, in pieces, as log lines and
// service texts arrive; the window stores, wraps, scrolls and paints them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QImage>

#include "eventlog/widgets/OutWnd.h"

namespace {

COutWnd* Window() {
  static COutWnd* window = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_output_window";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
    auto* created = new COutWnd;
    created->resize(300, 120);
    created->show();
    return created;
  }();
  return window;
}

}  // namespace

// Input: the first byte says where the text is cut into two pieces.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  COutWnd* window = Window();
  const std::size_t cut = 1 + (size > 1 ? data[0] % (size - 1) : 0);
  for (auto [from, to] : {std::pair{std::size_t{1}, cut}, std::pair{cut, size}}) {
    char* piece = static_cast<char*>(std::malloc(to - from + 1));
    if (to > from) std::memcpy(piece, data + from, to - from);
    piece[to - from] = '\0';
    window->AddText(piece);
  }
  QCoreApplication::processEvents();
  if (window->LineCount() > COutWnd::kDefaultMaxLines) std::abort();
  // Painting reads every visible line at its columns.
  (void)window->grab();
  if (window->LineCount() > 2000) window->Reset();
  return 0;
}
