#include "vault/listdelegates.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "vault/listrows.h"

ListRowDelegate::ListRowDelegate(int rowHeight, QObject *parent)
    : QStyledItemDelegate(parent), m_rowHeight(rowHeight) {}

void ListRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                            const QModelIndex &index) const {
    const QRect r = option.rect;
    painter->save();
    painter->fillRect(r, index.row() % 2 == 0 ? QColor(233, 233, 233) : QColor(255, 255, 255));
    QString threat, path;
    rowTexts(index, &threat, &path);
    painter->setPen(QColor(128, 128, 128));
    painter->setFont(option.font);
    const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;
    painter->drawText(QRect(r.left() + 10, r.top(), 270, r.height()), flags, threat);
    painter->drawText(QRect(r.left() + 280, r.top(), qMax(0, r.width() - 280), r.height()), flags,
                      path);
    // The list's focus rectangle is the one mark of the current row (the row a restore takes),
    // shown after a mouse click as well as after keys.
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = r;
        focus.state |= QStyle::State_KeyboardFocusChange;
        focus.backgroundColor = index.row() % 2 == 0 ? QColor(233, 233, 233) : Qt::white;
        QStyle *style = option.widget ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}

QSize ListRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const {
    return QSize(option.rect.width(), m_rowHeight);
}

InfectionsDelegate::InfectionsDelegate(const InfectionList &infections, QObject *parent)
    : ListRowDelegate(13, parent), m_infections(infections) {}

void InfectionsDelegate::rowTexts(const QModelIndex &index, QString *threat, QString *path) const {
    const listrows::RowTexts texts = listrows::infectionRow(m_infections, index.row());
    *threat = texts.threat;
    *path = texts.path;
}

VirusDbDelegate::VirusDbDelegate(const VaultTable &vault, QObject *parent)
    : ListRowDelegate(16, parent), m_vault(vault) {}

void VirusDbDelegate::rowTexts(const QModelIndex &index, QString *threat, QString *path) const {
    const listrows::RowTexts texts = listrows::vaultRow(m_vault, index.row());
    *threat = texts.threat;
    *path = texts.path;
}
