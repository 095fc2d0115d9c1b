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

constexpr int TagHeight = 22;
constexpr int Gap = 4;
// Two tags side by side in the list; a longer name is cut with "..." and
// shows whole under the pointer.
constexpr int LongestText = 78;

// The width a tag needs for its text and its button.
int TagWidth(const QFrame *tag)
{
    const auto *label = tag->findChild<QLabel *>();
    return 6 + label->fontMetrics().horizontalAdvance(label->text()) + 4 + (TagHeight - 4) + 2;
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
        layout->setContentsMargins(6, 0, 0, 0);
        layout->setSpacing(2);
        auto *label = new QLabel(tag);
        label->setObjectName(QStringLiteral("lblEntry(%1)").arg(i));
        label->setTextFormat(Qt::PlainText);
        label->setText(label->fontMetrics().elidedText(m_entries[i].text, Qt::ElideRight, LongestText));
        label->setToolTip(gui::PlainToolTip(m_entries[i].text));
        if (m_entries[i].kind != 0) {
            QFont bold = label->font();
            bold.setBold(true);
            label->setFont(bold);
        }
        auto *remove = new QToolButton(tag);
        remove->setObjectName(QStringLiteral("btnRemoveEntry(%1)").arg(i));
        remove->setAutoRaise(true);
        remove->setIcon(style()->standardIcon(QStyle::SP_LineEditClearButton));
        remove->setIconSize(QSize(12, 12));
        remove->setFixedSize(TagHeight - 4, TagHeight - 4);
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

// Tags flow left to right and wrap; the list scrolls when they need more
// rows than it shows.
void ucUFList::PlaceTags()
{
    // A hidden list gets its resize only when shown: its own size counts,
    // less the frame and room for the scroll bar.
    m_scroll->setGeometry(rect());
    const int width = m_scroll->contentsRect().width() - style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int x = Gap;
    int y = Gap;
    for (QFrame *tag : m_tags->findChildren<QFrame *>(QString(), Qt::FindDirectChildrenOnly)) {
        const int tagWidth = std::min(TagWidth(tag), width - 2 * Gap);
        if (x > Gap && x + tagWidth > width - Gap) {
            x = Gap;
            y += TagHeight + Gap;
        }
        tag->setGeometry(x, y, tagWidth, TagHeight);
        x += tagWidth + Gap;
    }
    m_tags->resize(width, y + TagHeight + Gap);
}
