// langbuild SOURCE TARGET: turns a language source (UTF-8 text, one
// "key=value" a line) into the language file the programs read: UTF-16
// little-endian with a byte-order mark and CR LF line ends. A key given twice
// fails the build, since the programs' loader stops at a repeated key.
#include "common/language.h"

#include <QFile>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdio>

namespace {

int Fail(const QString &text)
{
    std::fprintf(stderr, "langbuild: %s\n", text.toLocal8Bit().constData());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3)
        return Fail(QStringLiteral("usage: langbuild SOURCE TARGET"));
    const QString sourcePath = QFile::decodeName(argv[1]);
    const QString targetPath = QFile::decodeName(argv[2]);

    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("cannot read %1: %2").arg(sourcePath, source.errorString()));
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(source.readAll());
    if (decoder.hasError())
        return Fail(QStringLiteral("%1 is not UTF-8 text").arg(sourcePath));
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    QStringList lines = text.split(QLatin1Char('\n'));
    if (text.endsWith(QLatin1Char('\n')))
        lines.removeLast();
    QSet<QString> keys;
    QString key;
    QString value;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString &line = lines[i];
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (!common::CutLanguageLine(line, key, value))
            continue;
        if (keys.contains(key))
            return Fail(QStringLiteral("%1:%2: the key \"%3\" is given twice").arg(sourcePath).arg(i + 1).arg(key));
        keys.insert(key);
    }

    QStringEncoder encoder(QStringEncoder::Utf16LE, QStringEncoder::Flag::WriteBom);
    QSaveFile target(targetPath);
    if (!target.open(QIODevice::WriteOnly) || target.write(encoder(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))) < 0
        || !target.commit())
        return Fail(QStringLiteral("cannot write %1: %2").arg(targetPath, target.errorString()));
    return 0;
}
