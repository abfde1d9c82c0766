#pragma once
#include <QString>

// The program's four-part version as "major.minor.patch.build", or empty if it cannot be read.
QString ProgramVersionText();
