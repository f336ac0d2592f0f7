#include "cli/NetworkText.h"

QString NetworkText(const QString &text, int most) {
  QString shown;
  for (const QChar c : text.left(most)) {
    const char16_t code = c.unicode();
    if (c == '\\')
      shown += QStringLiteral("\\\\");
    else if (code == '\n')
      shown += QStringLiteral("\\n");
    else if (code == '\r')
      shown += QStringLiteral("\\r");
    else if (code == '\t')
      shown += QStringLiteral("\\t");
    else if (code < 0x20 || code == 0x7f || (code >= 0x80 && code < 0xa0) || code == 0x2028 || code == 0x2029)
      shown += QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    else
      shown += c;
  }
  if (text.size() > most)
    shown += QStringLiteral("...");
  return shown;
}

QString NetworkText(const QByteArray &bytes, int most) {
  // Only the head is decoded: a message of megabytes is quoted by its start.
  const QByteArray head = bytes.left(static_cast<qsizetype>(most) * 4);
  const QString text = QString::fromUtf8(head);
  const bool cut = head.size() < bytes.size() && text.size() <= most;
  return NetworkText(text, most) + (cut ? QStringLiteral("...") : QString());
}
