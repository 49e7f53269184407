#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every message with its category while it lives, and passes each on to the handler before it (so
// Qt Test still sees them). One at a time.
class LogCapture
{
public:
    LogCapture() : m_previous(qInstallMessageHandler(&LogCapture::handle)) { s_current = this; }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_current = nullptr;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // The texts of the warnings logged in category ("quillabrix.portal").
    QStringList warnings(const QString &category) const
    {
        QMutexLocker lock(&m_mutex);
        QStringList out;
        for (const Line &line : m_lines) {
            if (line.type == QtWarningMsg && line.category == category)
                out << line.text;
        }
        return out;
    }

private:
    struct Line
    {
        QtMsgType type;
        QString category;
        QString text;
    };

    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
    {
        if (LogCapture *self = s_current) {
            {
                QMutexLocker lock(&self->m_mutex);
                self->m_lines.append({type, QString::fromLatin1(context.category), text});
            }
            if (self->m_previous)
                self->m_previous(type, context, text);
        }
    }

    static inline LogCapture *s_current = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QList<Line> m_lines;
};
