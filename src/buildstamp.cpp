#include "buildstamp.h"

#include <QtCore/QDateTime>
#include <QtCore/QLocale>
#include <QtCore/QStringList>

namespace {

bool isAsciiNumber(const QString &text)
{
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).unicode() < '0' || text.at(i).unicode() > '9')
            return false;
    }
    return !text.isEmpty();
}

// The compiler's stamps, as "May 11 2023 14:39:47", read without the locale's date parser,
// which looks the local time zone up over and over and made a good part of loading the
// plugin. Invalid for anything else, and for a local time this terminal's clock skips: those
// are the parser's to judge.
QDateTime compilerStamp(const QString &stamp)
{
    static const char *const Months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QStringList parts = stamp.split(QLatin1Char(' '));
    if (parts.size() != 4)
        return QDateTime();
    int month = 0;
    for (int i = 0; i < 12 && !month; ++i) {
        if (parts.at(0) == QLatin1String(Months[i]))
            month = i + 1;
    }
    const QString &day = parts.at(1);
    const QString &year = parts.at(2);
    const QString &clock = parts.at(3);
    if (!month || day.size() > 2 || !isAsciiNumber(day) || year.size() != 4
        || !isAsciiNumber(year) || clock.size() != 8 || clock.at(2) != QLatin1Char(':')
        || clock.at(5) != QLatin1Char(':') || !isAsciiNumber(clock.left(2))
        || !isAsciiNumber(clock.mid(3, 2)) || !isAsciiNumber(clock.mid(6, 2)))
        return QDateTime();
    const QDate date(year.toInt(), month, day.toInt());
    const QTime time(clock.left(2).toInt(), clock.mid(3, 2).toInt(), clock.mid(6, 2).toInt());
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    const QDateTime stamped(date, time);
    if (!stamped.isValid() || stamped.date() != date || stamped.time() != time)
        return QDateTime();
    return stamped;
}

} // namespace

QString BuildStamp::fromCompiler(const QString &date, const QString &time)
{
    const QString stamp = QStringLiteral("%1 %2").arg(date, time).simplified();
    const QDateTime stamped = compilerStamp(stamp);
    if (stamped.isValid())
        return stamped.toString(Qt::ISODate);
    return QLocale(QStringLiteral("en"))
        .toDateTime(stamp, QStringLiteral("MMM d yyyy hh:mm:ss"))
        .toString(Qt::ISODate);
}
