#pragma once

#include <QStyledItemDelegate>

class InfectionList;
class VaultTable;

// Row drawing shared by both owner-drawn lists: grey and white bands, grey text, the threat
// name at the left and the path further right; a selected row looks like the others, and the
// current row of a focused list carries the focus rectangle.
class ListRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    ListRowDelegate(int rowHeight, QObject *parent);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    virtual void rowTexts(const QModelIndex &index, QString *threat, QString *path) const = 0;

private:
    int m_rowHeight;
};

// edtInfections: row i shows infection record i + 1, 13 pixels high.
class InfectionsDelegate : public ListRowDelegate {
    Q_OBJECT
public:
    InfectionsDelegate(const InfectionList &infections, QObject *parent = nullptr);

protected:
    void rowTexts(const QModelIndex &index, QString *threat, QString *path) const override;

private:
    const InfectionList &m_infections;
};

// edtVirusDB: row i shows vault record i + 1, 16 pixels high.
class VirusDbDelegate : public ListRowDelegate {
    Q_OBJECT
public:
    VirusDbDelegate(const VaultTable &vault, QObject *parent = nullptr);

protected:
    void rowTexts(const QModelIndex &index, QString *threat, QString *path) const override;

private:
    const VaultTable &m_vault;
};
