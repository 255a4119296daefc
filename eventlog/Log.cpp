#include "eventlog/Log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

std::mutex g_csLog;
CMessageTarget* g_pLogWnd = nullptr;
std::atomic<bool> g_bLogLineStart{true};
std::atomic<bool> g_bConnectLogLineStart{true};

namespace {

constexpr std::size_t kFirstFormatBuffer = 2048;
constexpr std::size_t kStampBuffer = 128;
constexpr char kMainStamp[] = "%y/%m/%d %H:%M:%S ";
constexpr char kConnectStamp[] = "%H:%M:%S ";

std::time_t SystemTime() { return std::time(nullptr); }

std::atomic<LogTimeSource> g_timeSource{&SystemTime};

// Ends a va_list on every way out, exceptions included.
class VaListGuard {
 public:
  explicit VaListGuard(va_list& args) : m_args(args) {}
  ~VaListGuard() { va_end(m_args); }
  VaListGuard(const VaListGuard&) = delete;
  VaListGuard& operator=(const VaListGuard&) = delete;

 private:
  va_list& m_args;
};

// Formats into a 2,048-character buffer, doubling it until the text fits.
__attribute__((format(printf, 1, 0))) std::string FormatPiece(const char* format, va_list args) {
  if (!format || !*format) return {};
  std::vector<char> buffer(kFirstFormatBuffer);
  for (;;) {
    va_list attempt;
    va_copy(attempt, args);
    const int length = std::vsnprintf(buffer.data(), buffer.size(), format, attempt);
    va_end(attempt);
    // A negative result is a conversion error, not a short buffer: growing
    // the buffer would never end, so the piece is empty instead.
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(length));
    buffer.resize(buffer.size() * 2);
  }
}

// The current time in UTC rendered with `pattern`; empty when the time is
// unknown or cannot be rendered.
std::string Stamp(const char* pattern) {
  const std::time_t now = g_timeSource.load()();
  if (now == static_cast<std::time_t>(-1)) return {};
  std::tm parts{};
  if (!gmtime_r(&now, &parts)) return {};
  char buffer[kStampBuffer];
  const std::size_t length = std::strftime(buffer, sizeof buffer, pattern, &parts);
  return std::string(buffer, length);
}

// Steps shared by both destinations, outside g_csLog: format, stamp a new
// line, and let the flag record whether the piece ended the line.
__attribute__((format(printf, 3, 0))) std::string BuildPiece(std::atomic<bool>& lineStart, const char* stampPattern,
                                                             const char* format, va_list args) {
  std::string piece = FormatPiece(format, args);
  if (lineStart.load()) piece.insert(0, Stamp(stampPattern));
  lineStart.store(!piece.empty() && piece.back() == '\n');
  return piece;
}

// The heap copy that travels with WM_OUTWND_ADDTEXT; released with free().
char* HeapCopy(const std::string& piece) {
  auto* copy = static_cast<char*>(std::malloc(piece.size() + 1));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, piece.c_str(), piece.size() + 1);
  return copy;
}

}  // namespace

void SetLogTimeSource(LogTimeSource source) { g_timeSource.store(source ? source : &SystemTime); }

void LogPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string piece;
  {
    VaListGuard guard(args);
    piece = BuildPiece(g_bLogLineStart, kMainStamp, format, args);
  }

  std::lock_guard<std::mutex> lock(g_csLog);
  if (!g_pLogWnd) return;
  const HWND hWnd = g_pLogWnd->GetSafeHwnd();
  if (!hWnd) return;
  char* copy = HeapCopy(piece);
  if (!PostMessage(hWnd, WM_OUTWND_ADDTEXT, reinterpret_cast<WPARAM>(copy), 0)) std::free(copy);
}

void ConnectLogPrintf(CMessageTarget* pDialogLogWnd, const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string piece;
  {
    VaListGuard guard(args);
    piece = BuildPiece(g_bConnectLogLineStart, kConnectStamp, format, args);
  }

  HWND hWnd = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_csLog);
    if (pDialogLogWnd) hWnd = pDialogLogWnd->GetSafeHwnd();
  }
  if (!hWnd) return;
  // Sent after releasing g_csLog, which the window's thread may itself be waiting for.
  char* copy = HeapCopy(piece);
  LRESULT result = 0;
  if (!SendMessageDelivered(hWnd, WM_OUTWND_ADDTEXT, reinterpret_cast<WPARAM>(copy), 0, &result)) std::free(copy);
}

void RegisterLogWindow(CMessageTarget* pWnd) {
  std::lock_guard<std::mutex> lock(g_csLog);
  if (!g_pLogWnd) g_pLogWnd = pWnd;
}

void UnregisterLogWindow(CMessageTarget* pWnd) {
  std::lock_guard<std::mutex> lock(g_csLog);
  if (pWnd && g_pLogWnd == pWnd) g_pLogWnd = nullptr;
}
