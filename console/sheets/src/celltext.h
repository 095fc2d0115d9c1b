#pragma once

#include <QString>

// How the two readers turn cell values into text, so that .xls and .xlsx
// give the same text for the same cell.
namespace sheets::celltext {

// What a number format shows of a number.
enum class NumberKind { Number, Date, Time, DateTime };

// Kind of the built-in format `id` or, for a custom one, of its format code.
NumberKind ClassifyNumberFormat(int id, QStringView formatCode);

// Whole numbers as plain digits (5321234567), others with up to 15
// significant digits.
QString NumberText(double value);

// A serial date (days since the workbook's epoch, the fraction the time of
// day) shown as `kind`; falls back to NumberText when it names no date.
QString SerialText(double serial, NumberKind kind, bool date1904);

// Dates as dd/mm/yyyy, times as hh:nn:ss, both with a blank between: with
// "/" and ":" such a text never passes for a phone number.
QString DateTimeText(int year, int month, int day, int hour, int minute, int second, NumberKind kind);

QString BooleanText(bool value);

// Refuses a cell text over the cap.
void CheckCellLength(qsizetype length);

} // namespace sheets::celltext
