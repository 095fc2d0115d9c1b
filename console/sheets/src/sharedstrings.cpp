#include "sharedstrings.h"

#include "celltext.h"
#include "sheets/sheetreader.h"

#include <QtEndian>

namespace sheets::biff {

namespace {

[[noreturn]] void Damaged(const char *what)
{
    throw SheetError(QStringLiteral("the .xls shared-string table is damaged: ") + QString::fromLatin1(what));
}

// Reads the table's bytes across its records.
class TableCursor {
public:
    explicit TableCursor(const std::vector<QByteArrayView> &pieces) : m_pieces(pieces)
    {
        if (m_pieces.empty() || m_pieces.front().size() < 8)
            Damaged("the table is too short");
    }

    quint32 DeclaredStrings() const { return qFromLittleEndian<quint32>(m_pieces.front().data() + 4); }

    // Fixed fields pass from one record to the next as they stand.
    quint8 Byte()
    {
        while (Left() == 0)
            NextPiece();
        return quint8(Piece()[m_at++]);
    }

    quint16 U16()
    {
        const quint16 low = Byte();
        return quint16(low | Byte() << 8);
    }

    quint32 U32()
    {
        const quint32 low = U16();
        return low | quint32(U16()) << 16;
    }

    void Skip(qint64 bytes)
    {
        while (bytes > 0) {
            if (Left() == 0)
                NextPiece();
            const qint64 step = qMin<qint64>(bytes, Left());
            m_at += step;
            bytes -= step;
        }
    }

    // `count` characters, 16-bit ones when `wide`; appended to `text` when
    // it is given. A record that goes on with them begins with its own
    // option byte, whose lowest bit says their width from there on.
    void Characters(qsizetype count, bool wide, QString *text)
    {
        while (count > 0) {
            if (Left() == 0) {
                NextPiece();
                wide = quint8(Piece()[m_at++]) & 0x01;
            }
            const qsizetype width = wide ? 2 : 1;
            const qsizetype take = qMin(count, Left() / width);
            if (take == 0)
                Damaged("a UTF-16 character is split between two records");
            if (text) {
                const char *from = Piece().data() + m_at;
                if (wide)
                    text->append(QStringView(reinterpret_cast<const char16_t *>(from), take).toString());
                else
                    text->append(QLatin1StringView(from, take));
            }
            m_at += take * width;
            count -= take;
        }
    }

private:
    QByteArrayView Piece() const { return m_pieces[m_piece]; }
    qsizetype Left() const { return Piece().size() - m_at; }

    void NextPiece()
    {
        if (++m_piece >= m_pieces.size())
            Damaged("a string runs past the table's last record");
        if (Piece().isEmpty())
            Damaged("a continuation record is empty");
        m_at = 0;
    }

    const std::vector<QByteArrayView> &m_pieces;
    size_t m_piece = 0;
    qsizetype m_at = 8;  // after the total and the unique count
};

} // namespace

std::vector<QString> ReadSharedStrings(const std::vector<QByteArrayView> &pieces, const std::vector<quint32> &wanted)
{
    TableCursor table(pieces);
    const quint32 declared = table.DeclaredStrings();
    if (!wanted.empty() && wanted.back() >= declared)
        Damaged("a cell names a string beyond the table");
    std::vector<QString> texts;
    texts.reserve(wanted.size());
    auto next = wanted.begin();
    for (quint32 index = 0; index < declared; ++index) {
        const qsizetype count = table.U16();
        const quint8 options = table.Byte();
        const quint16 runs = (options & 0x08) ? table.U16() : 0;
        const quint32 phonetic = (options & 0x04) ? table.U32() : 0;
        const bool keep = next != wanted.end() && *next == index;
        QString text;
        if (keep)
            text.reserve(count);
        table.Characters(count, options & 0x01, keep ? &text : nullptr);
        table.Skip(4 * qint64(runs) + phonetic);
        if (keep) {
            celltext::CheckCellLength(text.size());
            texts.push_back(std::move(text));
            ++next;
        }
    }
    return texts;
}

} // namespace sheets::biff
