#pragma once
// The agent list view: one row per agent of AgentList, in list order, with the row number and
// the state picture, the address, the controller's serial number and its model (or a
// description typed in for the row). Each row holds its record, so a record taken out of
// AgentList by another thread stays valid until the next rebuild drops the row.

#include "AgentList.h"

#include <QString>
#include <QTreeWidget>

#include <vector>

class CAgent;

// The texts of row `index` for `agent`.
struct SAgentRowTexts {
    QString number;      // "%03d"
    QString address;     // dotted quad
    QString serial;      // at most the first 14 characters of the serial number
    QString description; // at most the 8 characters of the model name
};
SAgentRowTexts AgentRowTexts(int index, const CAgent& agent);

class CAgentListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CAgentListCtrl(QWidget* parent = nullptr);

    void SetColumnTitles();
    // UpdateAgentListCtrl: every row anew from `agents`.
    void Rebuild(const std::vector<AgentPtr>& agents);
    // -1 when the record has no row.
    int RowOf(const CAgent* agent) const;
    void SetRowState(int row, int state);
    int RowState(int row) const;
    void SetRowDescription(int row, const QString& text);
    // The record of the selected row (null when none is selected).
    AgentPtr SelectedAgent() const;
    int SelectedRow() const;
    AgentPtr AgentAt(int row) const;
    int Rows() const { return topLevelItemCount(); }

signals:
    // The right button was released over the list; the menu concerns the selected row.
    void rowMenuRequested(const QPoint& globalPos);
    void rowOpened(int row);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FitLastColumn();

    std::vector<AgentPtr> m_agents; // row i holds m_agents[i]
};
