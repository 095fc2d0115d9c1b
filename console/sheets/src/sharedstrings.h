#pragma once

#include <QByteArrayView>
#include <QString>

#include <vector>

// The shared-string table of a BIFF8 workbook: the SST record and the
// CONTINUE records after it. A string may run across any number of them;
// each CONTINUE that goes on with a string's characters begins with a fresh
// option byte, so the characters may switch between 8-bit and UTF-16 there,
// and its rich-text runs and phonetic block may cross a boundary too.
namespace sheets::biff {

// `pieces` are the data of the SST record and of each CONTINUE record after
// it, in order. Reads every string the table declares and keeps the texts
// of those at `wanted` (indices sorted, each once), returned in that order.
// Raises SheetError when the table is damaged: a string runs past its last
// record, a UTF-16 character is split, the table holds fewer strings than
// it declares, or a wanted index lies beyond them.
std::vector<QString> ReadSharedStrings(const std::vector<QByteArrayView> &pieces, const std::vector<quint32> &wanted);

} // namespace sheets::biff
