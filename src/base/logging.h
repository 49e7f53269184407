#pragma once

#include <QLoggingCategory>

// One category per subsystem, so that QT_LOGGING_RULES can quiet or raise each one ("quillabrix.portal.debug=true").
// Every failure that the user sees, or that silently changes what happens, is logged once with its reason.
Q_DECLARE_LOGGING_CATEGORY(lcPortal)  // quillabrix.portal: server requests, answers, downloads
Q_DECLARE_LOGGING_CATEGORY(lcLibrary) // quillabrix.library: the game store and its files
Q_DECLARE_LOGGING_CATEGORY(lcPlayer)  // quillabrix.player: the Flash player and its pages
Q_DECLARE_LOGGING_CATEGORY(lcShell)   // quillabrix.shell: start-up, windows, closing
