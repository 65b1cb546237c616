#include "view/gototarget.h"

#include "capture/capturerow.h"

GoToTarget GoToTarget::parse(const QString &text, bool transactions)
{
    QString typed = text.trimmed();
    GoToTarget target;
    const bool prefixed =
        transactions && (typed.startsWith(QLatin1Char('r'), Qt::CaseInsensitive) ||
                         typed.startsWith(QStringLiteral("行")));
    if (prefixed)
        typed = typed.mid(1).trimmed();
    const bool row = prefixed || !transactions;
    bool isNumber = false;
    const qint64 number = typed.toLongLong(&isNumber);
    if (isNumber) {
        // 序号 counts from 1, row numbers from 0.
        if (number >= (row ? 0 : 1)) {
            target.kind = row ? Row : Transaction;
            target.value = row ? number : number - 1;
        }
        return target;
    }
    const QByteArray utf8 = typed.toUtf8();
    if (!prefixed && // a row number is a number
        CaptureRow::timestampFromText(std::string_view(utf8.constData(), size_t(utf8.size())),
                                      &target.value))
        target.kind = Time;
    return target;
}
