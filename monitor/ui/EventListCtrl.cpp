#include "EventListCtrl.h"

#include "StringIds.h"
#include "UiText.h"

#include <QHeaderView>

CEventListCtrl::CEventListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setColumnCount(2);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(true);
    SetColumnTitles();
    setColumnWidth(0, 150);
    setColumnWidth(1, 500);
}

void CEventListCtrl::SetColumnTitles() {
    setHeaderLabels({UiText(IDS_EVENT_COL_TIME), UiText(IDS_EVENT_COL_EVENT)});
}

void CEventListCtrl::AddLine(const QString& time, const QString& text) {
    insertTopLevelItem(0, new QTreeWidgetItem({time, text}));
}

QString CEventListCtrl::TimeAt(int line) const {
    const QTreeWidgetItem* item = topLevelItem(line);
    return item != nullptr ? item->text(0) : QString();
}

QString CEventListCtrl::TextAt(int line) const {
    const QTreeWidgetItem* item = topLevelItem(line);
    return item != nullptr ? item->text(1) : QString();
}
