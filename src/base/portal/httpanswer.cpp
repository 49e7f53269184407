#include "base/portal/httpanswer.h"

namespace {

// A number written only with digits of base (no sign, blank or prefix, which the protocol never allows), or -1.
// Longer numbers than any real length are refused rather than left to overflow.
qint64 plainNumber(const QByteArray &text, int base)
{
    if (text.isEmpty() || text.size() > (base == 16 ? 15 : 18))
        return -1;
    for (const char c : text) {
        const bool digit = c >= '0' && c <= '9';
        const bool hex = base == 16 && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
        if (!digit && !hex)
            return -1;
    }
    return text.toLongLong(nullptr, base);
}

} // namespace

qsizetype HttpAnswerReader::take(const QByteArray &bytes, qint64 room, QByteArray *body)
{
    qsizetype pos = 0;
    while (pos < bytes.size() && m_state != State::Done && m_state != State::Failed) {
        if (m_state == State::Body || m_state == State::ChunkData) {
            qint64 n = qMin<qint64>(room, bytes.size() - pos);
            if (m_left >= 0)
                n = qMin(n, m_left);
            if (n <= 0)
                break; // no room: the rest waits
            if (n == bytes.size())
                body->append(bytes); // shares the bytes when the body is empty
            else
                body->append(bytes.constData() + pos, n);
            pos += n;
            room -= n;
            if (m_left > 0 && (m_left -= n) == 0)
                m_state = m_state == State::Body ? State::Done : State::ChunkEnd;
            continue;
        }
        const qsizetype end = bytes.indexOf('\n', pos);
        const qsizetype upto = end < 0 ? bytes.size() : end + 1;
        m_line.append(bytes.constData() + pos, upto - pos);
        pos = upto;
        // Without its line end (LF, or CR LF; a CR may wait for its LF). Cut into two, an overlong line would be
        // read as two headers, or as a chunk size and data.
        const qsizetype ending = (end >= 0 ? 1 : 0) + (m_line.endsWith(end >= 0 ? "\r\n" : "\r") ? 1 : 0);
        if (m_line.size() - ending > maxLineBytes) {
            fail(QStringLiteral("a line of the answer is longer than %1 bytes").arg(maxLineBytes));
            break;
        }
        if (end < 0)
            break;
        const qsizetype raw = m_line.size();
        const QByteArray line = m_line.chopped(ending);
        m_line.clear();
        const bool head = m_state == State::Status || m_state == State::Headers || m_state == State::Trailers;
        if (head && !countHeadBytes(raw))
            break;
        handleLine(line);
    }
    return pos;
}

void HttpAnswerReader::endOfInput()
{
    if (m_state == State::Done || m_state == State::Failed)
        return;
    if ((m_state == State::Body && m_left < 0) || m_state == State::Trailers) {
        m_state = State::Done; // the body ran to the end of the connection, or only trailers were missing
        return;
    }
    m_cut = true;
    fail(QStringLiteral("Connection closed"));
}

qint64 HttpAnswerReader::wants(qint64 room) const
{
    switch (m_state) {
    case State::Done:
    case State::Failed:
        return 0;
    case State::Body:
    case State::ChunkData:
        return qMax<qint64>(0, m_left < 0 ? room : qMin(room, m_left));
    default:
        return maxLineBytes + 2; // a whole line at a time, with its line end
    }
}

bool HttpAnswerReader::countHeadBytes(qsizetype bytes)
{
    m_headBytes += bytes;
    if (m_headBytes > maxHeadBytes)
        fail(QStringLiteral("the answer's headers are longer than %1 bytes").arg(maxHeadBytes));
    return m_state != State::Failed;
}

void HttpAnswerReader::handleLine(const QByteArray &untrimmed)
{
    const QByteArray line = untrimmed.trimmed();
    switch (m_state) {
    case State::Status: {
        const QList<QByteArray> parts = line.split(' ');
        bool ok = false;
        const int status = parts.value(1).toInt(&ok);
        if (!line.startsWith("HTTP/1.") || !ok || status < 100 || status > 999)
            return fail(QStringLiteral("not an HTTP answer"));
        // Each interim answer is short, but a server may send them without end and never come to the answer.
        if (status < 200 && ++m_interim > maxInterimAnswers)
            return fail(QStringLiteral("more than %1 interim answers").arg(maxInterimAnswers));
        m_status = status;
        m_reason = parts.mid(2).join(' ');
        m_state = State::Headers;
        return;
    }
    case State::Headers:
        if (!line.isEmpty()) {
            const int colon = line.indexOf(':');
            if (colon > 0)
                m_headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
        } else if (m_status < 200) {
            m_headers.clear(); // an interim answer: the real one follows
            m_state = State::Status;
        } else {
            headDone();
        }
        return;
    case State::ChunkSize: {
        const qsizetype extensions = line.indexOf(';');
        const qint64 size = plainNumber((extensions < 0 ? line : line.left(extensions)).trimmed(), 16);
        if (size < 0)
            return fail(QStringLiteral("a broken chunk"));
        m_left = size;
        m_state = size == 0 ? State::Trailers : State::ChunkData;
        return;
    }
    case State::ChunkEnd:
        // Anything between a chunk's data and its line end means the size was wrong: what follows is not the body.
        if (!untrimmed.isEmpty())
            return fail(QStringLiteral("a chunk is longer than its size"));
        m_state = State::ChunkSize;
        return;
    case State::Trailers:
        if (line.isEmpty())
            m_state = State::Done;
        return;
    default:
        return;
    }
}

void HttpAnswerReader::headDone()
{
    bool chunked = false;
    qint64 length = -1;
    for (const auto &[name, value] : std::as_const(m_headers)) {
        if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0 && value.toLower().contains("chunked")) {
            chunked = true;
        } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            // Read as 0, a length that is no number would make any answer a whole, empty one. The same length
            // repeated (in one header or several) is still one length.
            for (const QByteArray &part : value.split(',')) {
                const qint64 n = plainNumber(part.trimmed(), 10);
                if (n < 0)
                    return fail(
                        QStringLiteral("the answer's length is not a number: %1").arg(QString::fromLatin1(value)));
                if (length >= 0 && n != length)
                    return fail(QStringLiteral("the answer gives two lengths"));
                length = n;
            }
        }
    }
    m_headReady = true;
    // These two never have a body, whatever length they name (a 304's is the length of what did not change).
    const bool noBody = m_status == 204 || m_status == 304;
    m_contentLength = noBody ? 0 : chunked ? -1 : length;
    m_left = m_contentLength;
    m_state = m_contentLength == 0 ? State::Done : chunked ? State::ChunkSize : State::Body;
}

void HttpAnswerReader::fail(const QString &why)
{
    m_state = State::Failed;
    m_failure = why;
    m_line.clear();
}
