// The form model holds byte strings, one byte one character; on screen every
// byte shows as itself, so the conversion both ways is Latin-1.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace velimo::gui {

inline QString ToQt(std::string_view bytes) {
  return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// Characters beyond Latin-1 cannot be held by the model; they arrive as "?".
inline std::string FromQt(const QString& text) {
  const QByteArray bytes = text.toLatin1();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Captions of buttons, check boxes and menu items: an "&" stands for itself,
// not for a keyboard mnemonic.
inline QString ToQtCaption(std::string_view bytes) {
  QString s = ToQt(bytes);
  s.replace(QLatin1Char('&'), QLatin1String("&&"));
  return s;
}

// A menu caption with its keyboard mnemonic: the letter at `mnemonic` (an
// index into bytes, -1 for none) marked with "&".
inline QString ToQtMenuCaption(std::string_view bytes, int mnemonic) {
  QString s;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (static_cast<int>(i) == mnemonic) s += QLatin1Char('&');
    s += QChar(static_cast<unsigned char>(bytes[i]));
    if (bytes[i] == '&') s += QLatin1Char('&');
  }
  return s;
}

}  // namespace velimo::gui
