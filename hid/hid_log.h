#pragma once
#include <QLoggingCategory>

// HID read errors; off by default, enable with QT_LOGGING_RULES="vorlaine.hid.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcHid)
