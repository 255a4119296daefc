#include "platform/textcase.h"

#include <QString>
#include <QStringDecoder>

namespace {

bool DecodeUtf8(std::string_view text, QString* out) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  *out = decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  return !decoder.hasError();
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

int AsciiCompareNoCase(std::string_view a, std::string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto ca = static_cast<unsigned char>(AsciiLower(a[i]));
    const auto cb = static_cast<unsigned char>(AsciiLower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int Utf8CompareNoCase(std::string_view a, std::string_view b) {
  QString wa;
  QString wb;
  if (!DecodeUtf8(a, &wa) || !DecodeUtf8(b, &wb)) return AsciiCompareNoCase(a, b);
  const int result = QString::compare(wa, wb, Qt::CaseInsensitive);
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}
