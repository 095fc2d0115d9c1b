#pragma once

#include <QString>
#include <QTime>

// The service's bulk sending window, "HH:mm,HH:mm". Reads the two times of
// `text` into `start` and `end`; a time may also be written "8:00" or
// "08:00:00". False (and both untouched) unless the text is exactly two
// times joined by ",".
bool ReadTimeInterval(const QString &text, QTime &start, QTime &end);

// The two times as the service reads them: "HH:mm,HH:mm".
QString TimeIntervalText(const QTime &start, const QTime &end);
