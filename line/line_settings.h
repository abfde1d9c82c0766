#pragma once
// The station's settings file, ~/.config/vorlaine/station.ini: `line=CONNINFO` names the line's
// database. The password never goes there nor on the command line; libpq finds it in ~/.pgpass or
// the environment.
#include <string>

// "$XDG_CONFIG_HOME/vorlaine/station.ini", else "~/.config/vorlaine/station.ini".
std::string StationSettingsPath();

// The value of the first `line=` outside any section or in [station] (the name matched without
// regard to case, blanks around it ignored); empty when there is none. False, with the reason,
// when the file exists but cannot be read or the value holds a password.
bool ReadLineSetting(const std::string& path, std::string* conninfo, std::string* error);
