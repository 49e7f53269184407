#include "base/logging.h"

Q_LOGGING_CATEGORY(lcPortal, "quillabrix.portal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLibrary, "quillabrix.library", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlayer, "quillabrix.player", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShell, "quillabrix.shell", QtInfoMsg)
