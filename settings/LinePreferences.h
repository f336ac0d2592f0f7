#pragma once

#include <QString>

class Preferences;

// Line choices that com_pro.dbf has no field for, as preferences.ini keeps
// them for the window and the command-line program alike.
namespace LinePreferences {

const QString EchoKey = QStringLiteral("Line/Echo");
const QString EchoDelivered = QStringLiteral("off");
// The mode field of com_pro.dbf holds ASCII (0) or RTU (1), as every reader
// of the table knows it; Modbus TCP is kept here, with RTU in the table, the
// mode whose bytes it shares.
const QString FramingKey = QStringLiteral("Line/Framing");
const QString TcpFraming = QStringLiteral("tcp");
constexpr int RtuModeIndex = 1;
constexpr int TcpModeIndex = 2;

// The stored echo word ("off", "on", "detect"), as delivered when missing.
QString EchoWord(const Preferences &preferences);
// The mode index (0 ASCII, 1 RTU, 2 TCP) from the table's `tableMode`.
int ModeIndex(const Preferences &preferences, int tableMode);

} // namespace LinePreferences
