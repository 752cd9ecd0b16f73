#pragma once
// The event list view: one line per event or alarm, the newest at the top, never trimmed
// while the window lives.

#include <QTreeWidget>

class CEventListCtrl : public QTreeWidget {
    Q_OBJECT

public:
    explicit CEventListCtrl(QWidget* parent = nullptr);

    void SetColumnTitles();
    void AddLine(const QString& time, const QString& text);
    int Lines() const { return topLevelItemCount(); }
    // Line 0 is the newest.
    QString TimeAt(int line) const;
    QString TextAt(int line) const;
};
