#include "AgentListCtrl.h"

#include "Agent.h"
#include "Pictures.h"
#include "StringIds.h"
#include "UiText.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMouseEvent>

namespace {

enum EColumn { COL_STATE, COL_IP, COL_SERIAL, COL_DESCRIPTION };
constexpr int STATE_ROLE = Qt::UserRole + 1;

// The serial number field holds 16 bytes and the model name 8; the list shows 14 and 8.
constexpr std::size_t SERIAL_SHOWN = 14;
constexpr std::size_t MODEL_SHOWN = 8;

} // namespace

SAgentRowTexts AgentRowTexts(int index, const CAgent& agent) {
    SAgentRowTexts t;
    t.number = FromUtf8(FormatText(IDS_AGENT_ROW_NUMBER, index));
    t.address = FromUtf8(agent.IpText());
    t.serial = FixedFieldText(agent.m_SysInfo.gsiSerialNumber,
                              sizeof agent.m_SysInfo.gsiSerialNumber, SERIAL_SHOWN);
    t.description = FixedFieldText(agent.m_SysInfo.gsiModelName,
                                   sizeof agent.m_SysInfo.gsiModelName, MODEL_SHOWN);
    return t;
}

CAgentListCtrl::CAgentListCtrl(QWidget* parent) : QTreeWidget(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    setColumnCount(4);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    SetColumnTitles();
    // 50 pixels as the product always had, unless this font needs more for "000" and its
    // picture side by side.
    setColumnWidth(COL_STATE,
                   std::max(50, fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 16 + 16));
    setColumnWidth(COL_IP, 150);
    setColumnWidth(COL_SERIAL, 150);
    connect(this, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { emit rowOpened(indexOfTopLevelItem(item)); });
}

void CAgentListCtrl::SetColumnTitles() {
    setHeaderLabels({UiText(IDS_AGENT_COL_STATE), UiText(IDS_AGENT_COL_IP),
                     UiText(IDS_AGENT_COL_SERIAL), UiText(IDS_AGENT_COL_DESCRIPTION)});
}

void CAgentListCtrl::Rebuild(const std::vector<AgentPtr>& agents) {
    clear();
    m_agents = agents;
    QList<QTreeWidgetItem*> items;
    for (std::size_t i = 0; i < m_agents.size(); ++i) {
        const CAgent& agent = *m_agents[i];
        const SAgentRowTexts t = AgentRowTexts(static_cast<int>(i), agent);
        auto* item = new QTreeWidgetItem({t.number, t.address, t.serial, t.description});
        const int state = agent.m_State.load();
        item->setIcon(COL_STATE, Pictures::AgentState(state));
        item->setData(COL_STATE, STATE_ROLE, state);
        items.append(item);
    }
    addTopLevelItems(items);
    viewport()->update();
}

int CAgentListCtrl::RowOf(const CAgent* agent) const {
    for (std::size_t i = 0; i < m_agents.size(); ++i) {
        if (m_agents[i].get() == agent) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CAgentListCtrl::SetRowState(int row, int state) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setIcon(COL_STATE, Pictures::AgentState(state));
        item->setData(COL_STATE, STATE_ROLE, state);
    }
}

int CAgentListCtrl::RowState(int row) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item != nullptr ? item->data(COL_STATE, STATE_ROLE).toInt() : 0;
}

void CAgentListCtrl::SetRowDescription(int row, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setText(COL_DESCRIPTION, text);
    }
}

int CAgentListCtrl::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first());
}

AgentPtr CAgentListCtrl::SelectedAgent() const {
    return AgentAt(SelectedRow());
}

AgentPtr CAgentListCtrl::AgentAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_agents.size()) {
        return nullptr;
    }
    return m_agents[static_cast<std::size_t>(row)];
}

void CAgentListCtrl::mousePressEvent(QMouseEvent* event) {
    // The right button leaves the selection alone: its menu is about the selected row, not
    // the one under the pointer.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void CAgentListCtrl::contextMenuEvent(QContextMenuEvent* event) {
    emit rowMenuRequested(event->globalPos());
    event->accept();
}

void CAgentListCtrl::resizeEvent(QResizeEvent* event) {
    QTreeWidget::resizeEvent(event);
    FitLastColumn();
}

void CAgentListCtrl::FitLastColumn() {
    // "Descriptions" takes what the view has left after the first three columns.
    const int used = columnWidth(COL_STATE) + columnWidth(COL_IP) + columnWidth(COL_SERIAL);
    setColumnWidth(COL_DESCRIPTION, std::max(80, viewport()->width() - used));
}
