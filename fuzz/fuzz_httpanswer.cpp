// The game server's client reads answers with HttpAnswerReader as the bytes come, in pieces of any size, and takes
// the body only as fast as the program makes room for it. Whatever the server sends, the outcome is the one the
// whole answer read at once gives, the reader keeps to its bounds, and a body sent well comes back unchanged.
//
// Input: the first byte chooses the pieces the answer comes in (low four bits n: 2^n bytes) and the room for
// the body (high four bits: 1 to 16 times 7 bytes); the rest is the answer as sent. When the rest starts "B:",
// what follows is a body instead, sent chunked (in chunks the first byte sizes) and with a length.

#include "base/portal/httpanswer.h"
#include "fuzzsupport.h"

namespace {

struct Read
{
    bool done = false;
    bool failed = false;
    bool cut = false;
    QString failure;
    bool headReady = false;
    int status = 0;
    QByteArray reason;
    HttpAnswerReader::Headers headers;
    qint64 contentLength = -1;
    QByteArray body;

    bool operator==(const Read &o) const
    {
        return done == o.done && failed == o.failed && cut == o.cut && failure == o.failure &&
               headReady == o.headReady && status == o.status && reason == o.reason && headers == o.headers &&
               contentLength == o.contentLength && body == o.body;
    }
};

QString account(const Read &r)
{
    return QStringLiteral("done %1 failed %2 (%3) status %4 headers %5 length %6 body %7 bytes")
        .arg(r.done)
        .arg(r.failed)
        .arg(r.failure)
        .arg(r.status)
        .arg(r.headers.size())
        .arg(r.contentLength)
        .arg(r.body.size());
}

// Reads answer as it would come: piece bytes at a time, the body taken into at most room bytes before the
// program takes it away, the connection ending after the last piece.
Read readAnswer(const QByteArray &answer, qsizetype piece, qint64 room)
{
    HttpAnswerReader reader;
    Read out;
    qsizetype arrived = 0, taken = 0;
    do {
        arrived = qMin(answer.size(), arrived + piece);
        for (;;) {
            const qint64 want = qMin<qint64>(reader.wants(room), arrived - taken);
            if (want <= 0)
                break;
            QByteArray held;
            const qsizetype took =
                reader.take(QByteArray::fromRawData(answer.constData() + taken, qsizetype(want)), room, &held);
            FUZZ_CHECK(took > 0 && took <= want, QStringLiteral("took %1 of %2").arg(took).arg(want));
            FUZZ_CHECK(held.size() <= room, QStringLiteral("body beyond its room"));
            taken += took;
            out.body += held;
        }
    } while (arrived < answer.size());
    reader.endOfInput();
    FUZZ_CHECK(reader.isDone() != reader.hasFailed(), QStringLiteral("neither done nor failed at the end"));
    out.done = reader.isDone();
    out.failed = reader.hasFailed();
    out.cut = reader.wasCut();
    out.failure = reader.failure();
    out.headReady = reader.headReady();
    out.status = reader.status();
    out.reason = reader.reason();
    out.headers = reader.headers();
    out.contentLength = reader.contentLength();
    return out;
}

void checkBounds(const Read &r, const QByteArray &answer)
{
    FUZZ_CHECK(!r.failed || !r.failure.isEmpty(), QStringLiteral("failed without a reason"));
    FUZZ_CHECK(!r.failed || r.body.isEmpty() || r.headReady, QStringLiteral("a body before the head"));
    FUZZ_CHECK(r.body.size() <= answer.size(), account(r));
    if (!r.headReady)
        return;
    // Interim answers are never taken for the answer.
    FUZZ_CHECK(r.status >= 200 && r.status <= 999, account(r));
    qsizetype headBytes = 0;
    for (const auto &[name, value] : r.headers) {
        FUZZ_CHECK(name.size() + value.size() < HttpAnswerReader::maxLineBytes, account(r));
        FUZZ_CHECK(!name.contains('\n') && !value.contains('\n'), account(r));
        headBytes += name.size() + value.size();
    }
    FUZZ_CHECK(headBytes <= HttpAnswerReader::maxHeadBytes, account(r));
    if (r.done && r.contentLength >= 0)
        FUZZ_CHECK(r.body.size() == r.contentLength, account(r));
}

// The body sent chunked, in chunks sized from seed; with junk, one byte more after the first chunk's data.
QByteArray chunked(const QByteArray &body, unsigned seed, bool junk)
{
    QByteArray out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (qsizetype at = 0, n = 0; at < body.size(); at += n) {
        n = qMin<qsizetype>(body.size() - at, 1 + (seed = seed * 1103515245u + 12345u) % 9);
        out += QByteArray::number(n, 16) + (n % 2 ? ";x=1" : "") + "\r\n" + body.mid(at, n);
        out += junk && at == 0 ? "!\r\n" : "\r\n";
    }
    return out + "0\r\nTrailer: t\r\n\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype piece = qsizetype(1) << (data[0] & 0x0f);
    const qint64 room = 7 * (1 + (data[0] >> 4));
    const QByteArray rest = fuzz::bytes(data + 1, size - 1);

    if (rest.startsWith("B:")) {
        const QByteArray body = rest.mid(2);
        const QByteArray withLength =
            "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        for (const QByteArray &answer : {chunked(body, data[0], false), withLength}) {
            const Read r = readAnswer(answer, piece, room);
            FUZZ_CHECK(r.done && r.body == body, account(r));
        }
        if (!body.isEmpty()) {
            const Read r = readAnswer(chunked(body, data[0], true), piece, room);
            FUZZ_CHECK(r.failed, QStringLiteral("a chunk longer than its size was taken: ") + account(r));
        }
        return 0;
    }

    const Read whole = readAnswer(rest, rest.size() + 1, rest.size() + 1);
    checkBounds(whole, rest);
    const Read pieces = readAnswer(rest, piece, room);
    FUZZ_CHECK(pieces == whole,
               account(pieces) + QStringLiteral(" in pieces, ") + account(whole) + QStringLiteral(" whole"));
    return 0;
}
