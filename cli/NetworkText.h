#pragma once

#include <QByteArray>
#include <QString>

// Text that came from the network, made safe to print and to quote: control
// characters (a newline that would forge a log line, an ESC that would clear
// the terminal) as \n, \x1b and the like, and no more than `most` characters
// (then "..." follows).
QString NetworkText(const QString &text, int most = 40);
QString NetworkText(const QByteArray &bytes, int most = 40);
