#include "bulkmessages.h"

#include "platform/codepage.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "vorbex/modpdu.h"

#include <QDateTime>
#include <QRandomGenerator>

#include <algorithm>
#include <vector>

using platform::TrimBlanks;

namespace {

// Files between two calls of the progress callback.
constexpr qsizetype ProgressEvery = 32;

const QString Bulk = QStringLiteral("[Bulk]");

QString WithoutCarriageReturns(const QString &text)
{
    return QString(text).remove(u'\r');
}

// The typed text as written into a file: without "^", line feeds as "|".
QString WrittenText(const QString &text)
{
    return WithoutCarriageReturns(text).remove(u'^').replace(u'\n', u'|');
}

} // namespace

QString CleanPhonenumber(QStringView text)
{
    QString number;
    for (const QChar c : text) {
        if ((c >= u'0' && c <= u'9') || c == u'+')
            number.append(c);
    }
    return number;
}

QString BulkNumber(QStringView imported)
{
    const QString number = CleanPhonenumber(imported);
    if (number.size() == 10 && number.front() != u'0' && !number.contains(u'+'))
        return u'0' + number;
    return number;
}

QString TrimmedMessage(const QString &typed)
{
    return TrimBlanks(WithoutCarriageReturns(typed));
}

QString BulkText(const QString &typed, const QString &name)
{
    return WrittenText(WithoutCarriageReturns(typed).replace(NamePlaceholder.toString(), name));
}

bool FitsOneSms(const QString &writtenText)
{
    return modPDU::OneSmsCoding(modPDU::TextAsSent(writtenText)) != modPDU::SmsCoding::TooLong;
}

MessageCount CountMessage(const QString &typed)
{
    const QString written = WrittenText(typed);
    return {WithoutCarriageReturns(typed).size(), modPDU::OneSmsLimit(modPDU::TextAsSent(written)), FitsOneSms(written)};
}

bool HasOnlyCodePageCharacters(QStringView text)
{
    return platform::codepage::canEncode(text);
}

QString MessageRefusal(const QString &typed)
{
    const QString written = WrittenText(TrimmedMessage(typed));
    if (TrimBlanks(written).isEmpty())
        return QStringLiteral("message_is_empty");
    if (!FitsOneSms(written))
        return QStringLiteral("message_is_too_long");
    if (!HasOnlyCodePageCharacters(written))
        return QStringLiteral("message_has_unsupported_characters");
    return QString();
}

PreparedBulk PrepareBulkLines(const QString &typed, const QList<sheets::BulkRow> &rows)
{
    PreparedBulk prepared;
    prepared.lines.reserve(rows.size());
    for (qsizetype row = 0; row < rows.size(); ++row) {
        const QString number = BulkNumber(rows[row].number);
        const QString text = BulkText(typed, rows[row].name);
        QString refusal;
        if (number.size() > clsSMSsvc::MaxNumber)
            refusal = QStringLiteral("phonenumber_is_too_long");
        else if (!HasOnlyCodePageCharacters(text))
            refusal = QStringLiteral("message_has_unsupported_characters");
        else if (!FitsOneSms(text))
            refusal = QStringLiteral("message_is_too_long");
        if (!refusal.isEmpty()) {
            prepared.lines.clear();
            prepared.refusedRow = row;
            prepared.refusalKey = refusal;
            return prepared;
        }
        prepared.lines.append(SmsRecordLine({Bulk, number, MessageDateText(QDateTime::currentDateTime()), text}));
    }
    return prepared;
}

AsideQueueFile WriteUnsentFile(const QString &programFolder, const QString &line)
{
    return WriteQueueFileAside(QueueFolder(programFolder, UnsentFolder), UnsentFileContent(line));
}

BulkQueueOutcome QueueBulkLines(const QString &programFolder, const QStringList &lines, QRandomGenerator &random,
                                const std::function<void()> &progress)
{
    BulkQueueOutcome outcome;
    const auto failed = [&outcome](qsizetype line, const std::exception &e) {
        outcome.failedLine = line;
        const auto *error = dynamic_cast<const platform::Error *>(&e);
        outcome.errorNumber = error ? error->number() : 0;
        outcome.error = platform::describe(e);
        return outcome;
    };
    const auto step = [&progress](qsizetype done) {
        if (progress && done % ProgressEvery == 0)
            progress();
    };

    // Files that are not placed are deleted when `aside` ends.
    std::vector<AsideQueueFile> aside;
    aside.reserve(static_cast<size_t>(lines.size()));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        try {
            aside.push_back(WriteUnsentFile(programFolder, lines[i]));
        } catch (const std::exception &e) {
            return failed(i, e);
        }
        step(i + 1);
    }
    const std::function<QString()> names = UnsentFileNames(programFolder, random, 8);
    for (size_t i = 0; i < aside.size(); ++i) {
        try {
            PlaceQueueFile(aside[i], names);
        } catch (const std::exception &e) {
            return failed(static_cast<qsizetype>(i), e);
        }
        ++outcome.queued;
        step(outcome.queued);
    }
    return outcome;
}
