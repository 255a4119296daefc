#include "platform/widetext.h"

#include <QString>
#include <QStringDecoder>
#include <algorithm>

namespace {

// UTF-8 of UTF-16 text. Qt's encoder writes '?' for an unpaired surrogate;
// the replacement character says more, so such surrogates become U+FFFD
// first.
std::string ToUtf8(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!text[i].isSurrogate()) continue;
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
      ++i;
    else
      text[i] = QChar::ReplacementCharacter;
  }
  return text.toStdString();
}

}  // namespace

// Qt's decoder replaces each malformed UTF-8 sequence with U+FFFD.

void AppendUtf8(std::string& out, char32_t codePoint) {
  const QByteArray bytes = QString::fromUcs4(&codePoint, 1).toUtf8();
  out.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

std::size_t WideLength(const WCHAR* text) { return text ? std::char_traits<char16_t>::length(text) : 0; }

// The QChar constructor takes the units as they are: fromUtf16 would read a
// leading U+FEFF or U+FFFE as a byte-order mark.
std::string WideToUtf8(const WCHAR* text) {
  return ToUtf8(QString(reinterpret_cast<const QChar*>(text), static_cast<qsizetype>(WideLength(text))));
}

std::string WideToUtf8(const std::u16string& text) {
  return ToUtf8(QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size())));
}

std::u16string Utf8ToWide(const std::string& text) {
  // A leading U+FEFF is text here, not a byte-order mark to drop; an
  // incomplete sequence at the end is malformed, not kept for more input.
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
  const QString wide = decoder(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  return wide.toStdU16String();
}

void CopyWide(WCHAR* dest, std::size_t capacity, const std::u16string& text) {
  const std::size_t n = std::min(text.size(), capacity - 1);
  std::copy_n(text.data(), n, dest);
  dest[n] = 0;
}
