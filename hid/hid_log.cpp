#include "hid_log.h"

Q_LOGGING_CATEGORY(lcHid, "vorlaine.hid", QtInfoMsg)
