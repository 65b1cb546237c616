#include "export/linetext.h"

#include <QTextCodec>

#include <climits>

namespace linetext {

QString decode(const char *p, qsizetype size)
{
    const void *nul = std::memchr(p, 0, size_t(size));
    const int n = int(qMin<qsizetype>(nul ? static_cast<const char *>(nul) - p : size, INT_MAX));
    static QTextCodec *const kUtf8 = QTextCodec::codecForMib(106);
    QTextCodec::ConverterState state;
    const QString text = kUtf8->toUnicode(p, n, &state);
    if (state.invalidChars == 0 && state.remainingChars == 0)
        return text;
    return QString::fromLatin1(p, n);
}

} // namespace linetext
