#ifndef ZIPLISTING_H
#define ZIPLISTING_H

#include "dovetalk_global.h"
#include "hzip.h"

#include <QString>
#include <QVector>

/// Reads the console output of `7z l` and appends one record per file member to
/// `list`, with `varPath` copied into each record. Member lines are the lines
/// between the first two dashed lines; lines may end in LF or CR LF. Columns:
/// 0-18 date and time, 20 attribute ("D" marks a directory, which is skipped),
/// 25-37 size (the largest qint64 when it holds no size), 53 onward the path.
/// Output without the dashed lines yields nothing;
/// output cut off before the closing dashed line yields the complete lines it holds.
DOVETALK_EXPORT void parseSevenZipListing(const QString& output, const QString& varPath,
                                          QVector<FILE_IN_VAR>& list);

#endif // ZIPLISTING_H
