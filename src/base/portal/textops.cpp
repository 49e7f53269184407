#include "base/portal/textops.h"

#include <QStringDecoder>

namespace {

// The longest file name Linux file systems accept, in bytes.
constexpr int maxFileNameBytes = 255;

int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

std::optional<QString> decode(const QString &x, bool *error)
{
    if (error)
        *error = false;
    if (x.isEmpty())
        return std::nullopt;

    // Stateless, so that each group decodes as the one character it stands for and a stray lead byte cannot
    // swallow the next group.
    QStringDecoder gbk("GBK", QStringDecoder::Flag::Stateless);
    QString result;
    result.reserve(x.size() / 4 + 1);
    for (qsizetype i = 0; i < x.size(); i += 4) {
        uint code = 0;
        const qsizetype end = qMin(i + 4, x.size());
        for (qsizetype j = i; j < end; ++j) {
            const int digit = hexDigit(x.at(j));
            if (digit < 0) {
                if (error)
                    *error = true;
                return std::nullopt;
            }
            code = code << 4 | uint(digit);
        }
        QByteArray bytes;
        if (code > 0xFF)
            bytes.append(char(code >> 8));
        bytes.append(char(code & 0xFF));
        const QString character = gbk.decode(bytes);
        result += character.isEmpty() ? QString(QChar::ReplacementCharacter) : character;
    }
    return result;
}

QString BytesToBstr(const std::optional<QByteArray> &body)
{
    if (!body || body->isEmpty())
        return QString();
    QStringDecoder gbk("GBK");
    return gbk.decode(*body);
}

QString get_last_segment(const QString &text, const QString &separator)
{
    if (separator.isEmpty())
        return QString();
    // From the last character: with no start given, a lone NUL separator also matches the terminating NUL.
    const qsizetype at = text.lastIndexOf(separator, -1);
    if (at < 0)
        return QString();
    return text.mid(at + separator.size());
}

bool isSafeFileName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    if (name.toUtf8().size() > maxFileNameBytes)
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}
