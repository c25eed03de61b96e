#include "valuetext.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace qb {

namespace {

const QString kIsoDate = QStringLiteral("yyyy-MM-dd");
const QString kIsoDateTime = QStringLiteral("yyyy-MM-dd HH:mm:ss");

QString longTimeFormat() {
    return QLocale().timeFormat(QLocale::LongFormat);
}

} // namespace

QString shortDateFormat() {
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    format.replace(twoDigitYear, QStringLiteral("yyyy"));
    return format;
}

QString dateValueText(const QString& stored) {
    if (stored.isEmpty())
        return stored;
    const QDateTime withTime = QDateTime::fromString(stored, kIsoDateTime);
    if (withTime.isValid())
        return QLocale().toString(withTime.date(), shortDateFormat()) + QLatin1Char(' ') +
               QLocale().toString(withTime.time(), longTimeFormat());
    const QDate date = QDate::fromString(stored, kIsoDate);
    // A value written by another program in another form is shown as it is.
    return date.isValid() ? QLocale().toString(date, shortDateFormat()) : stored;
}

std::optional<QString> parseDateText(const QString& typed) {
    const QString text = typed.trimmed();
    const QLocale locale;
    for (const QString& format : {shortDateFormat(), kIsoDate}) {
        const QDate date = locale.toDate(text, format);
        if (date.isValid())
            return date.toString(kIsoDate);
    }
    const QString localDateTime = shortDateFormat() + QLatin1Char(' ') + longTimeFormat();
    for (const QString& format : {localDateTime, kIsoDateTime}) {
        const QDateTime dateTime = locale.toDateTime(text, format);
        if (dateTime.isValid())
            return dateTime.toString(kIsoDateTime);
    }
    return std::nullopt;
}

} // namespace qb
