#include "base/logging.h"

#include <QRegularExpression>

Q_LOGGING_CATEGORY(lcPortal, "quillabrix.portal", QtInfoMsg)
Q_LOGGING_CATEGORY(lcLibrary, "quillabrix.library", QtInfoMsg)
Q_LOGGING_CATEGORY(lcPlayer, "quillabrix.player", QtInfoMsg)
Q_LOGGING_CATEGORY(lcShell, "quillabrix.shell", QtInfoMsg)

QString loggableUrl(const QUrl &url)
{
    // An invalid URL prints as nothing, and its error text quotes the user information.
    return url.isValid() ? url.toString(QUrl::RemoveUserInfo) : QStringLiteral("(an invalid URL)");
}

QString loggableUrl(const QString &text)
{
    // Whatever lies between "scheme://" and the last "@" before the host's end is user information, a password
    // that holds "@" included.
    static const QRegularExpression userInfo(QStringLiteral("([A-Za-z][A-Za-z0-9+.\\-]*://)[^/?#\\s]*@"));
    QString out = text;
    return out.replace(userInfo, QStringLiteral("\\1"));
}
