#include "celltext.h"
#include "readers.h"

#include <QRegularExpression>

#include <pugixml.hpp>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace sheets {

namespace {

// pugixml hands a document's memory back when the document goes, and the
// next batch's document has the same pages faulted in again: a sheet of
// millions of cells would spend most of its time there. While a sheet is
// read, freed blocks are kept and handed out again instead.
class BlockCache {
public:
    static void *Allocate(size_t size)
    {
        {
            const std::lock_guard lock(s_mutex);
            auto found = s_blocks.find(size);
            if (found != s_blocks.end() && !found->second.empty()) {
                Header *header = found->second.back();
                found->second.pop_back();
                s_cached -= size;
                return header + 1;
            }
        }
        auto *header = static_cast<Header *>(std::malloc(sizeof(Header) + size));
        if (!header)
            return nullptr;
        header->size = size;
        return header + 1;
    }

    static void Deallocate(void *block)
    {
        if (!block)
            return;
        Header *header = static_cast<Header *>(block) - 1;
        {
            const std::lock_guard lock(s_mutex);
            if (s_keep && s_cached + header->size <= kCap) {
                try {
                    s_blocks[header->size].push_back(header);
                    s_cached += header->size;
                    return;
                } catch (const std::bad_alloc &) {
                }
            }
        }
        std::free(header);
    }

    // Keeps freed blocks from its making to its end, then frees them.
    class Scope {
    public:
        Scope()
        {
            static std::once_flag installed;
            std::call_once(installed, [] { pugi::set_memory_management_functions(Allocate, Deallocate); });
            const std::lock_guard lock(s_mutex);
            s_keep = true;
        }
        ~Scope()
        {
            const std::lock_guard lock(s_mutex);
            s_keep = false;
            for (auto &[size, blocks] : s_blocks)
                for (Header *header : blocks)
                    std::free(header);
            s_blocks.clear();
            s_cached = 0;
        }
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

private:
    struct alignas(std::max_align_t) Header {
        size_t size;
    };
    static constexpr size_t kCap = 64 * 1024 * 1024;
    static inline std::mutex s_mutex;
    static inline std::unordered_map<size_t, std::vector<Header *>> s_blocks;
    static inline size_t s_cached = 0;
    static inline bool s_keep = false;
};

// Element and attribute names are compared without their namespace prefix:
// writers may use "x:row" as well as "row".
std::string_view LocalName(const char *name)
{
    const char *colon = strchr(name, ':');
    return colon ? colon + 1 : name;
}

bool Is(const pugi::xml_node &node, std::string_view name)
{
    return node.type() == pugi::node_element && LocalName(node.name()) == name;
}

pugi::xml_node Child(const pugi::xml_node &parent, std::string_view name)
{
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
        if (Is(child, name))
            return child;
    return {};
}

const char *Attribute(const pugi::xml_node &node, std::string_view name)
{
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute())
        if (LocalName(attribute.name()) == name)
            return attribute.value();
    return nullptr;
}

QString Utf8(const char *text)
{
    return QString::fromUtf8(text);
}

// Strings may hold characters XML cannot carry written as "_x000D_".
QString Unescape(QString text)
{
    if (!text.contains(u"_x"))
        return text;
    static const QRegularExpression escape(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
    QString result;
    qsizetype from = 0;
    for (QRegularExpressionMatchIterator it = escape.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        result += QStringView(text).mid(from, match.capturedStart() - from);
        result += QChar(match.capturedView(1).toUShort(nullptr, 16));
        from = match.capturedEnd();
    }
    result += QStringView(text).mid(from);
    return result;
}

// The text of a shared or inline string: its own <t> and those of its
// rich-text runs <r>, but not the phonetic runs <rPh>.
QString StringItemText(const pugi::xml_node &item)
{
    QString text;
    for (pugi::xml_node child = item.first_child(); child; child = child.next_sibling()) {
        if (Is(child, "t")) {
            text += Utf8(child.child_value());
        } else if (Is(child, "r")) {
            if (const pugi::xml_node t = Child(child, "t"))
                text += Utf8(t.child_value());
        }
        celltext::CheckCellLength(text.size());
    }
    return Unescape(text);
}

// One part of the package, inflated piece by piece. The size a part
// declares may lie: the cap holds for what actually inflates.
class PartReader {
public:
    PartReader(zip_file_t *entry, const QString &name, qint64 cap) : m_entry(entry), m_name(name), m_cap(cap) {}
    ~PartReader() { zip_fclose(m_entry); }
    PartReader(const PartReader &) = delete;
    PartReader &operator=(const PartReader &) = delete;

    const QString &name() const { return m_name; }

    // Appends the next piece to `data`; false at the end of the part.
    bool Read(QByteArray &data)
    {
        char buffer[65536];
        const zip_int64_t read = zip_fread(m_entry, buffer, sizeof buffer);
        if (read < 0)
            throw SheetError(QStringLiteral("the part %1 is damaged: %2").arg(m_name, Utf8(zip_file_strerror(m_entry))));
        m_total += read;
        if (m_total > m_cap)
            throw SheetError(QStringLiteral("the part %1 inflates to more than %2 bytes").arg(m_name).arg(m_cap));
        data.append(buffer, qsizetype(read));
        return read > 0;
    }

private:
    zip_file_t *m_entry;
    QString m_name;
    qint64 m_cap;
    qint64 m_total = 0;
};

class Package {
public:
    explicit Package(QByteArray file) : m_file(std::move(file))
    {
        zip_error_t error;
        zip_error_init(&error);
        zip_source_t *source = zip_source_buffer_create(m_file.constData(), zip_uint64_t(m_file.size()), 0, &error);
        if (source)
            m_archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
        if (!m_archive) {
            if (source)
                zip_source_free(source);
            const QString reason = QString::fromUtf8(zip_error_strerror(&error));
            zip_error_fini(&error);
            throw SheetError(QStringLiteral("the file is not an .xlsx workbook: ") + reason);
        }
        zip_error_fini(&error);
    }
    ~Package() { zip_discard(m_archive); }
    Package(const Package &) = delete;
    Package &operator=(const Package &) = delete;

    // A reader of the part, or nullptr when the package has no such part.
    std::unique_ptr<PartReader> Open(const QString &name, qint64 cap) const
    {
        const zip_int64_t index = zip_name_locate(m_archive, name.toUtf8().constData(), ZIP_FL_NOCASE);
        if (index < 0)
            return nullptr;
        zip_stat_t stat;
        if (zip_stat_index(m_archive, zip_uint64_t(index), 0, &stat) == 0 && (stat.valid & ZIP_STAT_SIZE)
            && stat.size > zip_uint64_t(cap))
            throw SheetError(QStringLiteral("the part %1 declares more than %2 bytes").arg(name).arg(cap));
        zip_file_t *entry = zip_fopen_index(m_archive, zip_uint64_t(index), 0);
        if (!entry)
            throw SheetError(QStringLiteral("cannot read the part %1: %2").arg(name, Utf8(zip_strerror(m_archive))));
        return std::make_unique<PartReader>(entry, name, cap);
    }

    // The whole inflated part, or nothing when the package has no such part.
    std::optional<QByteArray> Part(const QString &name) const
    {
        const std::unique_ptr<PartReader> reader = Open(name, kMaxPartSize);
        if (!reader)
            return std::nullopt;
        QByteArray data;
        while (reader->Read(data)) {
        }
        return data;
    }

    QByteArray RequiredPart(const QString &name) const
    {
        std::optional<QByteArray> part = Part(name);
        if (!part)
            throw SheetError(QStringLiteral("the workbook lacks the part ") + name);
        return std::move(*part);
    }

private:
    QByteArray m_file;
    zip_t *m_archive = nullptr;
};

// Parses a part in place; `data` must outlive the document. No DTD is
// processed: a part that declares one is refused.
void ParseXml(pugi::xml_document &document, QByteArray &data, const QString &name)
{
    const pugi::xml_parse_result result =
        document.load_buffer_inplace(data.data(), size_t(data.size()),
                                     pugi::parse_default | pugi::parse_doctype | pugi::parse_ws_pcdata_single
                                         | pugi::parse_embed_pcdata);
    if (!result)
        throw SheetError(QStringLiteral("the part %1 is not well-formed XML: %2").arg(name, Utf8(result.description())));
    for (pugi::xml_node node = document.first_child(); node; node = node.next_sibling())
        if (node.type() == pugi::node_doctype)
            throw SheetError(QStringLiteral("the part %1 declares a DTD").arg(name));
}

// Reads a large part piece by piece and hands the children of one element
// (the rows of <sheetData>, the strings of <sst>) to a callback, parsing a
// few thousand of them at a time: memory stays bounded however long the
// part is. Children that are not wanted are passed over without being
// parsed, so a table of millions of strings costs little more than reading
// it. Tags are found by their local name; comments, processing instructions
// and CDATA sections are passed over; a DTD is refused.
class ChildBatches {
public:
    // Gets a child and its position among the container's children of that
    // name (0 for the first); false stops the reading.
    using Visitor = std::function<bool(const pugi::xml_node &, qint64)>;

    ChildBatches(PartReader &reader, std::string_view container) : m_reader(reader), m_container(container) {}

    // Hands out the children named `child` in order; any other child is
    // passed over. With `wanted` (positions, sorted, each once), only the
    // children at those positions, and the reading ends after the last.
    void ForEach(std::string_view child, const Visitor &visit, const std::vector<qint64> *wanted = nullptr)
    {
        auto nextWanted = wanted ? wanted->begin() : std::vector<qint64>::const_iterator();
        bool inside = false;
        qint64 position = 0;
        std::vector<qint64> batch;  // positions of the children in [batchStart, batchEnd)
        qsizetype batchStart = 0;
        qsizetype batchEnd = 0;
        for (qsizetype pos = 0;;) {
            // Nothing before `pos` is needed once no batch is open.
            if (batch.empty() && pos > kCompactAt) {
                m_buffer.remove(0, pos);
                pos = 0;
            }
            const qsizetype open = Find('<', pos);
            if (open < 0)
                break;
            Available(open + 9);
            const char next = open + 1 < m_buffer.size() ? m_buffer.at(open + 1) : 0;
            if (next == '?') {
                pos = Skip("?>", open + 2);
                continue;
            }
            if (next == '!') {
                const QByteArrayView tag = QByteArrayView(m_buffer).sliced(open);
                if (tag.startsWith("<!--")) {
                    pos = Skip("-->", open + 4);
                    continue;
                }
                if (tag.startsWith("<![CDATA[")) {
                    pos = Skip("]]>", open + 9);
                    continue;
                }
                throw SheetError(QStringLiteral("the part %1 declares a DTD").arg(m_reader.name()));
            }
            const qsizetype close = TagEnd(open + 1);
            const bool endTag = next == '/';
            const bool selfClosing = !endTag && m_buffer.at(close - 1) == '/';
            pos = close + 1;
            if (!inside) {
                const bool isContainer = !endTag && LocalPart(TagName(open + 1, close)) == m_container;
                m_buffer.remove(0, pos);
                pos = 0;
                if (isContainer) {
                    if (selfClosing)
                        return;
                    inside = true;
                }
                continue;
            }
            if (endTag) {
                if (LocalPart(TagName(open + 2, close)) != m_container)
                    Malformed();
                if (!batch.empty())
                    Parse(batchStart, batchEnd, batch, child, visit);
                return;
            }
            // A child: its end tag is found by its name, without a look at
            // what it holds (none of the children read here holds an element
            // of its own name; a file that has one fails to parse).
            const std::string_view name = TagName(open + 1, close);
            const bool named = LocalPart(name) == child;
            bool keep = named;
            if (named && wanted) {
                keep = nextWanted != wanted->end() && *nextWanted == position;
                nextWanted += keep ? 1 : 0;
            }
            if (named)
                ++position;
            if (!selfClosing)
                pos = AfterEndTag(std::string(name), pos);
            if (keep) {
                if (batch.empty())
                    batchStart = open;
                batch.push_back(position - 1);
                batchEnd = pos;
                if (batch.size() < kBatch && batchEnd - batchStart <= kFlushSize)
                    continue;
            } else if (batch.empty()) {
                if (wanted && nextWanted == wanted->end())
                    return;
                continue;
            }
            // A full batch, or a child passed over after a batch.
            if (!Parse(batchStart, batchEnd, batch, child, visit))
                return;
            batch.clear();
            m_buffer.remove(0, pos);
            pos = 0;
            if (wanted && nextWanted == wanted->end())
                return;
        }
        if (inside)
            Malformed();
    }

private:
    static constexpr size_t kBatch = 4096;
    static constexpr qsizetype kFlushSize = 1024 * 1024;
    static constexpr qsizetype kMaxBatch = 64 * 1024 * 1024;
    static constexpr qsizetype kCompactAt = 1024 * 1024;

    [[noreturn]] void Malformed() const
    {
        throw SheetError(QStringLiteral("the part %1 is not well-formed XML").arg(m_reader.name()));
    }

    // Reads the next piece. What has not been handed out yet is one batch
    // and the tag being read: a single element larger than a batch may be
    // is refused.
    bool More()
    {
        if (m_buffer.size() > kMaxBatch)
            throw SheetError(QStringLiteral("an element of the part %1 is larger than %2 bytes").arg(m_reader.name()).arg(kMaxBatch));
        return m_reader.Read(m_buffer);
    }

    // Reads until the buffer holds `size` bytes or the part ends.
    void Available(qsizetype size)
    {
        while (m_buffer.size() < size && More()) {
        }
    }

    // Where `c` comes first from `from`, reading on as needed; -1 at the end.
    qsizetype Find(char c, qsizetype from)
    {
        if (from < m_buffer.size() && m_buffer.constData()[from] == c)
            return from;
        for (;;) {
            if (from < m_buffer.size()) {
                const void *at = memchr(m_buffer.constData() + from, c, size_t(m_buffer.size() - from));
                if (at)
                    return static_cast<const char *>(at) - m_buffer.constData();
            }
            from = qMax(from, m_buffer.size());
            if (!More())
                return -1;
        }
    }

    // Where `what` begins from `from`, reading on as needed; -1 at the end.
    qsizetype Find(const char *what, qsizetype from)
    {
        const qsizetype length = qsizetype(strlen(what));
        for (;;) {
            if (from < m_buffer.size()) {
                const void *at = memmem(m_buffer.constData() + from, size_t(m_buffer.size() - from), what, size_t(length));
                if (at)
                    return static_cast<const char *>(at) - m_buffer.constData();
            }
            from = qMax(from, m_buffer.size() - length + 1);
            if (!More())
                return -1;
        }
    }

    // The position after `end`, which must follow.
    qsizetype Skip(const char *end, qsizetype from)
    {
        const qsizetype at = Find(end, from);
        if (at < 0)
            Malformed();
        return at + qsizetype(strlen(end));
    }

    // The ">" that ends the tag, outside quoted attribute values.
    qsizetype TagEnd(qsizetype from)
    {
        char quote = 0;
        for (qsizetype i = from;; ++i) {
            if (i >= m_buffer.size() && !More())
                Malformed();
            const char c = m_buffer.constData()[i];
            if (quote) {
                if (c == quote)
                    quote = 0;
            } else if (c == '"' || c == '\'') {
                quote = c;
            } else if (c == '>') {
                return i;
            }
        }
    }

    // The element name of the tag whose name begins at `from`, with its prefix.
    std::string_view TagName(qsizetype from, qsizetype close) const
    {
        const char *data = m_buffer.constData();
        qsizetype end = from;
        while (end < close) {
            const char c = data[end];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/')
                break;
            ++end;
        }
        return std::string_view(data + from, size_t(end - from));
    }

    static std::string_view LocalPart(std::string_view name)
    {
        const size_t colon = name.find(':');
        return colon == std::string_view::npos ? name : name.substr(colon + 1);
    }

    // The position after the end tag of the element `name` from `from`.
    qsizetype AfterEndTag(const std::string &name, qsizetype from)
    {
        const std::string endTag = "</" + name;
        for (;;) {
            const qsizetype at = Find(endTag.c_str(), from);
            if (at < 0)
                Malformed();
            qsizetype after = at + qsizetype(endTag.size());
            Available(after + 1);
            while (after < m_buffer.size() && strchr(" \t\r\n", m_buffer.at(after)) && m_buffer.at(after) != 0)
                Available(++after + 1);
            if (after < m_buffer.size() && m_buffer.at(after) == '>')
                return after + 1;
            from = at + 1;
        }
    }

    // Parses the children in [from, to) and hands those named `child` out
    // with their positions; false when the visitor stops the reading.
    bool Parse(qsizetype from, qsizetype to, const std::vector<qint64> &positions, std::string_view child,
               const Visitor &visit)
    {
        // One buffer for every batch: a fresh one each time would cost the
        // memory's first touch again and again.
        m_batch.resize(0);
        m_batch.append("<batch>").append(QByteArrayView(m_buffer).sliced(from, to - from)).append("</batch>");
        pugi::xml_document document;
        ParseXml(document, m_batch, m_reader.name());
        auto position = positions.begin();
        for (pugi::xml_node node = document.document_element().first_child(); node; node = node.next_sibling()) {
            if (!Is(node, child))
                continue;
            if (position == positions.end())
                Malformed();
            if (!visit(node, *position++))
                return false;
        }
        return true;
    }

    PartReader &m_reader;
    std::string_view m_container;
    QByteArray m_buffer;
    QByteArray m_batch;
};

// Where a relationship's target lies in the package, from the part that
// holds the relationship.
QString ResolveTarget(const QString &sourcePart, const QString &target)
{
    QStringList path;
    if (!target.startsWith(u'/'))
        path = sourcePart.split(u'/').mid(0, sourcePart.count(u'/'));
    for (const QString &segment : target.split(u'/', Qt::SkipEmptyParts)) {
        if (segment == u"..") {
            if (!path.isEmpty())
                path.removeLast();
        } else if (segment != u".") {
            path.append(segment);
        }
    }
    return path.join(u'/');
}

struct Relationship {
    QString id;
    QString type;
    QString target;  // resolved part name
};

// The relationships of `part`, from "folder/_rels/name.rels".
std::vector<Relationship> Relationships(const Package &package, const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    const QString relsName = part.left(slash + 1) + QStringLiteral("_rels/") + part.mid(slash + 1) + QStringLiteral(".rels");
    std::optional<QByteArray> data = package.Part(relsName);
    std::vector<Relationship> relationships;
    if (!data)
        return relationships;
    pugi::xml_document document;
    ParseXml(document, *data, relsName);
    const pugi::xml_node root = document.document_element();
    for (pugi::xml_node node = root.first_child(); node; node = node.next_sibling()) {
        if (!Is(node, "Relationship"))
            continue;
        const char *mode = Attribute(node, "TargetMode");
        if (mode && strcmp(mode, "External") == 0)
            continue;
        const char *id = Attribute(node, "Id");
        const char *type = Attribute(node, "Type");
        const char *target = Attribute(node, "Target");
        if (id && type && target)
            relationships.push_back({Utf8(id), Utf8(type), ResolveTarget(part, Utf8(target))});
    }
    return relationships;
}

// The first relationship whose type ends in "/kind": the transitional and
// the strict schemas differ only before that.
const Relationship *OfType(const std::vector<Relationship> &relationships, QStringView kind)
{
    for (const Relationship &relationship : relationships)
        if (relationship.type.size() > kind.size() && relationship.type.endsWith(kind)
            && relationship.type.at(relationship.type.size() - kind.size() - 1) == u'/')
            return &relationship;
    return nullptr;
}

// The column number (1 for A) of a reference such as "AB12", whose row must
// lie within the format's rows.
bool ParseReference(const char *reference, int &column)
{
    int c = 0;
    const char *p = reference;
    for (; *p >= 'A' && *p <= 'Z'; ++p) {
        c = c * 26 + (*p - 'A' + 1);
        if (c > kMaxXlsxColumns)
            return false;
    }
    if (p == reference)
        return false;
    qint64 row = 0;
    const char *digits = p;
    for (; *p >= '0' && *p <= '9'; ++p) {
        row = row * 10 + (*p - '0');
        if (row > kMaxXlsxRows)
            return false;
    }
    if (*p != 0 || (p != digits && row == 0))
        return false;
    column = c;
    return true;
}

bool ParseCount(const char *text, qint64 limit, qint64 &value)
{
    if (!text || !*text)
        return false;
    qint64 n = 0;
    for (const char *p = text; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        n = n * 10 + (*p - '0');
        if (n > limit)
            return false;
    }
    value = n;
    return true;
}

// A cell of column A or B as the sheet holds it: its text, or the index of
// the shared string that holds it.
struct CellValue {
    QString text;
    qint64 sharedString = -1;
};

struct SheetCells {
    CellValue columnA;
    CellValue columnB;
};

// The texts of the shared strings at `indices`, in the same order.
struct SharedStrings {
    std::vector<qint64> indices;
    std::vector<QString> texts;

    QString Text(CellValue &value) const
    {
        if (value.sharedString < 0)
            return std::move(value.text);
        const auto at = std::lower_bound(indices.begin(), indices.end(), value.sharedString);
        return texts[size_t(at - indices.begin())];
    }
};

class XlsxReader : public SheetReader {
public:
    explicit XlsxReader(QByteArray file) : m_package(std::move(file)) {}

    SheetSummary ReadFirstSheet(const RowVisitor &visit) override
    {
        const BlockCache::Scope keepBlocks;
        const std::vector<Relationship> packageRels = Relationships(m_package, QString());
        const Relationship *office = OfType(packageRels, u"officeDocument");
        if (!office)
            throw SheetError(QStringLiteral("the package names no workbook"));
        const QString workbookName = office->target;
        const std::vector<Relationship> workbookRels = Relationships(m_package, workbookName);

        SheetSummary summary;
        const std::optional<QString> sheetName = FirstWorksheet(workbookName, workbookRels);
        if (!sheetName)
            return summary;
        summary.hasSheet = true;
        if (const Relationship *styles = OfType(workbookRels, u"styles"))
            ReadStyles(styles->target);
        // The sheet is read twice: first for the shared strings that its
        // columns A and B name, then, with only those strings kept, for its
        // rows. So neither a table of millions of strings nor a sheet of a
        // million rows is held in memory, only what the rows hand out.
        std::vector<qint64> named;
        ReadSheet(*sheetName, summary, [&named](const SheetCells &cells) {
            for (const CellValue *value : {&cells.columnA, &cells.columnB})
                if (value->sharedString >= 0)
                    named.push_back(value->sharedString);
        });
        std::sort(named.begin(), named.end());
        named.erase(std::unique(named.begin(), named.end()), named.end());
        const Relationship *strings = OfType(workbookRels, u"sharedStrings");
        const SharedStrings shared = ReadSharedStrings(strings ? strings->target : QString(), std::move(named));
        SheetSummary again;
        ReadSheet(*sheetName, again, [&](SheetCells &cells) { visit({shared.Text(cells.columnA), shared.Text(cells.columnB)}); });
        return summary;
    }

private:
    // The part of the first sheet in workbook order that is a worksheet;
    // chart sheets and dialog sheets are passed over.
    std::optional<QString> FirstWorksheet(const QString &workbookName, const std::vector<Relationship> &rels)
    {
        QByteArray data = m_package.RequiredPart(workbookName);
        pugi::xml_document document;
        ParseXml(document, data, workbookName);
        const pugi::xml_node workbook = document.document_element();
        if (const char *date1904 = Attribute(Child(workbook, "workbookPr"), "date1904"))
            m_date1904 = strcmp(date1904, "1") == 0 || strcmp(date1904, "true") == 0;
        const pugi::xml_node sheets = Child(workbook, "sheets");
        for (pugi::xml_node sheet = sheets.first_child(); sheet; sheet = sheet.next_sibling()) {
            const char *id = Attribute(sheet, "id");
            if (!Is(sheet, "sheet") || !id)
                continue;
            for (const Relationship &relationship : rels)
                if (relationship.id == Utf8(id) && OfType({relationship}, u"worksheet"))
                    return relationship.target;
        }
        return std::nullopt;
    }

    // The shared strings whose indices `named` holds (sorted, each once).
    // Raises SheetError when one of them is not in the table.
    SharedStrings ReadSharedStrings(const QString &name, std::vector<qint64> named) const
    {
        SharedStrings shared;
        shared.indices = std::move(named);
        if (shared.indices.empty())
            return shared;
        shared.texts.reserve(shared.indices.size());
        const std::unique_ptr<PartReader> reader = name.isEmpty() ? nullptr : m_package.Open(name, kMaxStreamedPartSize);
        if (reader) {
            // Only the named strings are parsed, and the reading stops once
            // the last of them is read.
            ChildBatches(*reader, "sst").ForEach(
                "si",
                [&shared](const pugi::xml_node &item, qint64) {
                    shared.texts.push_back(StringItemText(item));
                    return true;
                },
                &shared.indices);
        }
        if (shared.texts.size() < shared.indices.size())
            throw SheetError(QStringLiteral("a cell names a shared string that does not exist: %1")
                                 .arg(shared.indices[shared.texts.size()]));
        return shared;
    }

    void ReadStyles(const QString &name)
    {
        std::optional<QByteArray> data = m_package.Part(name);
        if (!data)
            return;
        pugi::xml_document document;
        ParseXml(document, *data, name);
        const pugi::xml_node styles = document.document_element();
        std::map<int, QString> formats;
        for (pugi::xml_node format = Child(styles, "numFmts").first_child(); format; format = format.next_sibling()) {
            qint64 id = 0;
            const char *code = Attribute(format, "formatCode");
            if (Is(format, "numFmt") && ParseCount(Attribute(format, "numFmtId"), 0xFFFF, id) && code)
                formats[int(id)] = Utf8(code);
        }
        for (pugi::xml_node xf = Child(styles, "cellXfs").first_child(); xf; xf = xf.next_sibling()) {
            if (!Is(xf, "xf"))
                continue;
            qint64 id = 0;
            ParseCount(Attribute(xf, "numFmtId"), 0xFFFF, id);
            const auto format = formats.find(int(id));
            m_styleKinds.push_back(celltext::ClassifyNumberFormat(int(id), format == formats.end() ? QString() : format->second));
        }
    }

    // Hands each row that holds a cell with a value to `visit`.
    void ReadSheet(const QString &name, SheetSummary &summary, const std::function<void(SheetCells &)> &visit)
    {
        const std::unique_ptr<PartReader> reader = m_package.Open(name, kMaxStreamedPartSize);
        if (!reader)
            throw SheetError(QStringLiteral("the workbook lacks the part ") + name);
        int rowNumber = 0;
        ChildBatches(*reader, "sheetData").ForEach("row", [&](const pugi::xml_node &row, qint64) {
            qint64 number = rowNumber + 1;
            if (const char *r = Attribute(row, "r"); r && !ParseCount(r, kMaxXlsxRows, number))
                throw SheetError(QStringLiteral("a row number is wrong or beyond row %1").arg(kMaxXlsxRows));
            if (number < 1 || number > kMaxXlsxRows)
                throw SheetError(QStringLiteral("the sheet has more than %1 rows").arg(kMaxXlsxRows));
            rowNumber = int(number);
            SheetCells cells;
            if (ReadRow(row, cells, summary))
                visit(cells);
            return true;
        });
    }

    // True when the row holds a cell with a value.
    bool ReadRow(const pugi::xml_node &row, SheetCells &cells, SheetSummary &summary)
    {
        bool hasCell = false;
        int column = 0;
        for (pugi::xml_node cell = row.first_child(); cell; cell = cell.next_sibling()) {
            if (!Is(cell, "c"))
                continue;
            if (const char *r = Attribute(cell, "r")) {
                if (!ParseReference(r, column))
                    throw SheetError(QStringLiteral("a cell reference is wrong: ") + Utf8(r));
            } else if (++column > kMaxXlsxColumns) {
                throw SheetError(QStringLiteral("a row has more than %1 columns").arg(kMaxXlsxColumns));
            }
            // Past column B only whether some cell holds a value counts,
            // and once one did, nothing more is read of the row.
            if (column > 2 && summary.hasValueRightOfA)
                break;
            std::optional<CellValue> value = column <= 2 ? ReadCell(cell) : std::nullopt;
            if (column > 2 ? HasValue(cell) : value.has_value()) {
                hasCell = true;
                if (column >= 2)
                    summary.hasValueRightOfA = true;
            }
            if (value)
                (column == 1 ? cells.columnA : cells.columnB) = std::move(*value);
        }
        return hasCell;
    }

    static bool HasValue(const pugi::xml_node &cell)
    {
        return Child(cell, "v") || Child(cell, "is");
    }

    // The cell's value, or nothing when the cell holds no value.
    std::optional<CellValue> ReadCell(const pugi::xml_node &cell) const
    {
        const char *typeAttribute = Attribute(cell, "t");
        const std::string_view type = typeAttribute ? typeAttribute : "n";
        if (type == "inlineStr") {
            const pugi::xml_node inlineString = Child(cell, "is");
            if (!inlineString)
                return std::nullopt;
            return CellValue{StringItemText(inlineString)};
        }
        const pugi::xml_node v = Child(cell, "v");
        if (!v)
            return std::nullopt;
        const char *value = v.child_value();
        // A formula whose result was never stored.
        if (!*value)
            return CellValue{};
        if (type == "s") {
            qint64 index = 0;
            if (!ParseCount(value, std::numeric_limits<qint32>::max(), index))
                throw SheetError(QStringLiteral("a cell names a shared string that does not exist: ") + Utf8(value));
            return CellValue{QString(), index};
        }
        if (type == "str") {
            QString text = Unescape(Utf8(value));
            celltext::CheckCellLength(text.size());
            return CellValue{text};
        }
        if (type == "b")
            return CellValue{celltext::BooleanText(strcmp(value, "1") == 0 || strcmp(value, "true") == 0)};
        if (type == "e")
            return CellValue{};
        if (type == "d")
            return CellValue{DateText(value)};
        if (type == "n")
            return CellValue{NumberText(cell, value)};
        throw SheetError(QStringLiteral("a cell has an unknown type: ") + Utf8(typeAttribute));
    }

    QString NumberText(const pugi::xml_node &cell, const char *value) const
    {
        bool ok = false;
        const double number = QByteArrayView(value).trimmed().toDouble(&ok);
        if (!ok)
            throw SheetError(QStringLiteral("a number cell holds no number: ") + Utf8(value).left(40));
        qint64 style = 0;
        celltext::NumberKind kind = celltext::NumberKind::Number;
        if (ParseCount(Attribute(cell, "s"), 0xFFFFF, style) && style < qint64(m_styleKinds.size()))
            kind = m_styleKinds[size_t(style)];
        return celltext::SerialText(number, kind, m_date1904);
    }

    // A date written as "2024-03-01" or "2024-03-01T08:30:00".
    static QString DateText(const char *value)
    {
        int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
        const int fields = sscanf(value, "%4d-%2d-%2dT%2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s);
        if (fields < 3)
            throw SheetError(QStringLiteral("a date cell holds no date: ") + Utf8(value).left(40));
        return celltext::DateTimeText(y, mo, d, h, mi, s, fields > 3 ? celltext::NumberKind::DateTime : celltext::NumberKind::Date);
    }

    Package m_package;
    bool m_date1904 = false;
    std::vector<celltext::NumberKind> m_styleKinds;
};

} // namespace

std::unique_ptr<SheetReader> MakeXlsxReader(QByteArray file)
{
    return std::make_unique<XlsxReader>(std::move(file));
}

} // namespace sheets
