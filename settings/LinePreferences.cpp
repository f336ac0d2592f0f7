#include "settings/LinePreferences.h"

#include "settings/Preferences.h"

namespace LinePreferences {

QString EchoWord(const Preferences &preferences) { return preferences.Text(EchoKey, EchoDelivered); }

int ModeIndex(const Preferences &preferences, int tableMode) {
  return tableMode == RtuModeIndex && preferences.Text(FramingKey, "") == TcpFraming ? TcpModeIndex
                                                                                     : tableMode;
}

} // namespace LinePreferences
