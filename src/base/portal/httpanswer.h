#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// An HTTP/1.1 answer read from the bytes as they come: status line, headers, then the body by its length, in
// chunks, or to the end of the connection. No socket: the game server's client feeds it what arrives, and tests
// and the fuzz target feed it bytes directly. Whatever the server sends, it holds at most one line and the head's
// headers in memory, and the body only as far as the caller has room for it.
class HttpAnswerReader
{
public:
    // A line (status, header, chunk size, trailer) longer than this, without its line end, fails the answer.
    static constexpr qsizetype maxLineBytes = 8 * 1024;
    // All lines before the body (interim answers included) and the trailers together.
    static constexpr qsizetype maxHeadBytes = 64 * 1024;
    // Interim answers (1xx) before the real one; a server sending them without end is given up.
    static constexpr int maxInterimAnswers = 16;

    using Headers = QList<QPair<QByteArray, QByteArray>>;

    // Takes from bytes what it can now: the head whole, of the body at most room bytes, appended to body. Returns
    // how many bytes it took; what it leaves is for the next call, once the body has room again. Takes nothing
    // more once the answer is done or failed.
    qsizetype take(const QByteArray &bytes, qint64 room, QByteArray *body);
    // The connection ended: a body without a length ends with it; any other answer not done was cut short.
    void endOfInput();
    // How many bytes take() can use now with room for the body: 0 when it waits for room or has ended.
    qint64 wants(qint64 room) const;

    bool headReady() const { return m_headReady; } // status and headers of the final answer known
    bool isDone() const { return m_state == State::Done; }
    bool hasFailed() const { return m_state == State::Failed; }
    bool wasCut() const { return m_cut; } // failed because the connection ended too early
    QString failure() const { return m_failure; }

    int status() const { return m_status; }
    QByteArray reason() const { return m_reason; }
    const Headers &headers() const { return m_headers; }
    // The body's length as announced; -1 when chunked or running to the end of the connection.
    qint64 contentLength() const { return m_contentLength; }

private:
    enum class State
    {
        Status,
        Headers,
        Body, // up to m_left bytes, or to the end of the connection when m_left is negative
        ChunkSize,
        ChunkData,
        ChunkEnd,
        Trailers,
        Done,
        Failed
    };

    void handleLine(const QByteArray &line);
    void headDone();
    void fail(const QString &why);
    bool countHeadBytes(qsizetype bytes);

    State m_state = State::Status;
    QByteArray m_line; // the start of a line whose end has not come yet
    qsizetype m_headBytes = 0;
    int m_interim = 0;
    int m_status = 0;
    QByteArray m_reason;
    Headers m_headers;
    bool m_headReady = false;
    qint64 m_contentLength = -1;
    qint64 m_left = -1;
    bool m_cut = false;
    QString m_failure;
};
