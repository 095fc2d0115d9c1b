#include "uflist.h"

#include "gui/place.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QStyle>
#include <QToolButton>

#include <algorithm>

namespace {

// Three rows of tags fit the list's height without scrolling.
constexpr int TagHeight = 16;
constexpr int Gap = 2;
constexpr int ButtonSize = TagHeight - 3;
// The label's left margin, and the room beside it for the remove button.
constexpr int TagPadding = 5 + 2 + ButtonSize + 1;
// The label keeps its entry's whole text here; it shows it cut only when
// the tag alone is wider than the list.
constexpr char WholeText[] = "wholeText";

QLabel *TagLabel(const QFrame *tag)
{
    return tag->findChild<QLabel *>();
}

// Room in a tag beside its text: the padding and the frame.
int RoomBesideText(const QFrame *tag)
{
    return TagPadding + 2 * tag->frameWidth();
}

// The width a tag needs for its whole text and its button, with a pixel
// for the part of one that the text's width is rounded down by.
int NaturalWidth(const QFrame *tag)
{
    const QLabel *label = TagLabel(tag);
    return RoomBesideText(tag) + label->fontMetrics().horizontalAdvance(label->property(WholeText).toString()) + 1;
}

QString WithoutCommas(QString text)
{
    return text.remove(QLatin1Char(','));
}

} // namespace

ucUFList::ucUFList(QWidget *parent) : QWidget(parent)
{
    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrEntries"));
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setFrameShape(QFrame::StyledPanel);
    m_tags = new QWidget;
    m_tags->setObjectName(QStringLiteral("picEntries"));
    m_scroll->setWidget(m_tags);
}

bool ucUFList::ContainsEntry(qint32 id, qint16 kind) const
{
    return std::any_of(m_entries.cbegin(), m_entries.cend(),
                       [&](const Entry &entry) { return entry.id == id && entry.kind == kind; });
}

void ucUFList::AddEntry(qint32 id, qint16 kind, const QString &text)
{
    m_entries.append({id, kind, text});
    Q_EMIT Changed();
}

void ucUFList::RefreshEntries()
{
    qDeleteAll(m_tags->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly));
    for (qsizetype i = 0; i < m_entries.size(); ++i) {
        auto *tag = new QFrame(m_tags);
        tag->setObjectName(QStringLiteral("picEntry(%1)").arg(i));
        tag->setFrameShape(QFrame::StyledPanel);
        auto *layout = new QHBoxLayout(tag);
        layout->setContentsMargins(5, 0, 1, 0);
        layout->setSpacing(2);
        auto *label = new QLabel(tag);
        label->setObjectName(QStringLiteral("lblEntry(%1)").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setProperty(WholeText, m_entries[i].text);
        label->setText(m_entries[i].text);
        label->setToolTip(gui::PlainToolTip(m_entries[i].text));
        QFont font = label->font();
        font.setPointSizeF(font.pointSizeF() - 1);
        font.setBold(m_entries[i].kind != 0);
        label->setFont(font);
        auto *remove = new QToolButton(tag);
        remove->setObjectName(QStringLiteral("btnRemoveEntry(%1)").arg(i));
        remove->setAutoRaise(true);
        remove->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton));
        remove->setIconSize(QSize(10, 10));
        remove->setFixedSize(ButtonSize, ButtonSize);
        const Entry &entry = m_entries[i];
        connect(remove, &QToolButton::clicked, this, [this, id = entry.id, kind = entry.kind] { RemoveEntry(id, kind); });
        layout->addWidget(label);
        layout->addWidget(remove);
        tag->setFixedHeight(TagHeight);
        tag->show();
    }
    PlaceTags();
}

void ucUFList::ClearEntries()
{
    if (m_entries.isEmpty())
        return;
    m_entries.clear();
    RefreshEntries();
    Q_EMIT Changed();
}

qint32 ucUFList::EntryCount() const
{
    return static_cast<qint32>(m_entries.size());
}

QString ucUFList::SelectionText() const
{
    QStringList items;
    for (const Entry &entry : m_entries)
        items << QString::number(entry.id) << QString::number(entry.kind);
    return items.join(QLatin1Char('|'));
}

qint16 ucUFList::EntryKind(qint32 index) const
{
    return m_entries.at(index).kind;
}

QString ucUFList::ContactEntryLabel(qint32 index) const
{
    return WithoutCommas(m_entries.at(index).text);
}

QString ucUFList::GroupEntryLabel(qint32 index) const
{
    return WithoutCommas(m_entries.at(index).text);
}

void ucUFList::RemoveEntry(qint32 id, qint16 kind)
{
    m_entries.removeIf([&](const Entry &entry) { return entry.id == id && entry.kind == kind; });
    // The button that asked is deleted with its tag once it has returned.
    QMetaObject::invokeMethod(this, &ucUFList::RefreshEntries, Qt::QueuedConnection);
    Q_EMIT Changed();
}

void ucUFList::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PlaceTags();
}

// Tags flow left to right at their natural width and wrap; a tag is cut
// only when it alone is wider than the list. The scroll bar comes only when
// the tags need more rows than the list shows.
void ucUFList::PlaceTags()
{
    // A hidden list gets its resize only when shown: its own size counts.
    m_scroll->setGeometry(rect());
    const QList<QFrame *> tags = m_tags->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
    const int full = m_scroll->contentsRect().width();
    const auto place = [&](int width) {
        int x = Gap;
        int y = Gap;
        for (QFrame *tag : tags) {
            const int tagWidth = std::min(NaturalWidth(tag), width - 2 * Gap);
            if (x > Gap && x + tagWidth > width - Gap) {
                x = Gap;
                y += TagHeight + Gap;
            }
            QLabel *label = TagLabel(tag);
            label->setText(label->fontMetrics().elidedText(label->property(WholeText).toString(), Qt::ElideRight,
                                                           tagWidth - RoomBesideText(tag)));
            tag->setGeometry(x, y, tagWidth, TagHeight);
            x += tagWidth + Gap;
        }
        m_tags->resize(width, y + TagHeight + Gap);
    };
    place(full);
    if (m_tags->height() > m_scroll->contentsRect().height())
        place(full - style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}
