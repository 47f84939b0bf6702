#ifndef BUILDSTAMP_H
#define BUILDSTAMP_H

#include <QtCore/QString>

namespace BuildStamp {

// The build stamp from the compiler's date ("May 11 2023", a one-digit day padded with a
// space) and time ("14:39:47"), as an ISO 8601 date-time.
QString fromCompiler(const QString &date, const QString &time);

} // namespace BuildStamp

#endif // BUILDSTAMP_H
