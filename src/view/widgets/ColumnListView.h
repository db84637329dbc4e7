#pragma once

#include "core/ServerTable.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QListView>
#include <QMouseEvent>

namespace pelorix
{

// One column of the server table as a list model: follows the table through its observer interface.
class ColumnModel final : public QAbstractListModel, private ServerTableObserver
{
    Q_OBJECT

  public:
    ColumnModel(ServerTable &table, Column column, QObject *parent = nullptr);
    ~ColumnModel() override;

    Column column() const { return m_column; }

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

  signals:
    // Selection, top row, enabled, visible or scroll-bar state of the column changed in the table.
    void stateChanged();

  private:
    void rowsInserted(Column column, int first, int count) override;
    void rowsRemoved(Column column, int first, int count) override;
    void cellChanged(Column column, int row) override;
    void columnReset(Column column) override;
    void columnStateChanged(Column column) override;

    ServerTable &m_table;
    Column m_column;
};

// The list view of one column: shows the table's selection, top row, enabled, visible and scroll-bar state,
// and reports what the user does to it. Mouse presses, moves, releases and double clicks go to the window's
// handlers through the mouse signals instead of the list's own selection logic (the check column keeps the
// list's behaviour for the left button; its other buttons do nothing).
class ColumnListView final : public QListView
{
    Q_OBJECT

  public:
    static constexpr int kRowHeight = 13;
    // True while any column view is taking over the table's state (the SyncColumns hook waits for it).
    static bool applyingAny() { return s_applyingDepth > 0; }

    ColumnListView(ServerTable &table, Column column, QWidget *parent = nullptr);

    Column column() const { return m_column; }
    ColumnModel *columnModel() const { return m_model; }
    // The top visible row as the view shows it now.
    int topRow() const;

  signals:
    // The mouse on the list, before the list sees it.
    void mousePressed(QMouseEvent *event);
    void mouseMoved(QMouseEvent *event);
    void mouseReleased(QMouseEvent *event);
    void mouseDoubleClicked(QMouseEvent *event);
    // A key, before the list sees it; the event arrives ignored, and a receiver that accepts it consumes the key.
    void keyPressed(QKeyEvent *event);
    // The user changed this view's selection (keyboard or the check column's mouse); the table has it already.
    void userSelectionChanged(int row);
    // The user scrolled this view (wheel, keys, scroll bar); the table's top row of the column has it already.
    void userScrolled(int topRow);
    // A scroll step made with this view's own scroll bar (arrow, page or thumb; not the wheel).
    void scrollBarStep();

  protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void selectionChanged(const QItemSelection &selected, const QItemSelection &deselected) override;

  private:
    void applyState();
    bool listHandlesMouse(const QMouseEvent *event) const;

    ServerTable &m_table;
    Column m_column;
    ColumnModel *m_model;
    static int s_applyingDepth;
    bool m_applying = false;
    bool m_barAction = false;
};

} // namespace pelorix
