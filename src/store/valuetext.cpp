#include "valuetext.h"

#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>

namespace qb {

namespace {

const QString kIsoDate = QStringLiteral("yyyy-MM-dd");
const QString kIsoDateTime = QStringLiteral("yyyy-MM-dd HH:mm:ss");

bool isLowControl(QChar c) {
    return c.unicode() <= 32;
}

// Stored times carry no zone, so none is shown: the locale's long time would add one ("UTC",
// "CST") that differs between machines and cannot be typed back.
const QString kTimeFormat = QStringLiteral("HH:mm:ss");

} // namespace

QString shortDateFormat() {
    // Built once per locale: the grid, the export and the panel show many dates in a row.
    static QString cachedLocale;
    static QString cachedFormat;
    const QLocale locale;
    if (locale.name() != cachedLocale || cachedFormat.isEmpty()) {
        static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
        cachedFormat = locale.dateFormat(QLocale::ShortFormat);
        cachedFormat.replace(twoDigitYear, QStringLiteral("yyyy"));
        cachedLocale = locale.name();
    }
    return cachedFormat;
}

QString dateValueText(const QString& stored) {
    // Stored dates are ISO text; reading them as local date-times would consult the time zone
    // for every value, which makes big walks slow.
    const QDate date = QDate::fromString(QStringView(stored).left(10), Qt::ISODate);
    if (!date.isValid())
        return stored; // written by another program in another form: shown as it is
    const QString shown = QLocale().toString(date, shortDateFormat());
    if (stored.size() == 10)
        return shown;
    const QTime time = QTime::fromString(QStringView(stored).mid(11), Qt::ISODate);
    if (stored.size() != 19 || stored[10] != QLatin1Char(' ') || !time.isValid())
        return stored;
    return shown + QLatin1Char(' ') + time.toString(kTimeFormat);
}

std::optional<QString> parseDateText(const QString& typed) {
    const QString text = typed.trimmed();
    const QLocale locale;
    for (const QString& format : {shortDateFormat(), kIsoDate}) {
        const QDate date = locale.toDate(text, format);
        if (date.isValid())
            return date.toString(kIsoDate);
    }
    const QString localDateTime = shortDateFormat() + QLatin1Char(' ') + kTimeFormat;
    for (const QString& format : {localDateTime, kIsoDateTime}) {
        const QDateTime dateTime = locale.toDateTime(text, format);
        if (dateTime.isValid())
            return dateTime.toString(kIsoDateTime);
    }
    return std::nullopt;
}

QString trimmedValue(const QString& valueText) {
    qsizetype begin = 0;
    qsizetype end = valueText.size();
    while (begin < end && isLowControl(valueText[begin]))
        ++begin;
    while (end > begin && isLowControl(valueText[end - 1]))
        --end;
    return begin == 0 && end == valueText.size() ? valueText : valueText.mid(begin, end - begin);
}

} // namespace qb
