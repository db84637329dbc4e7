#pragma once

#include "core/ServerTable.h"

#include <QAbstractListModel>
#include <QListView>

#include <functional>

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
// and reports what the user does to it. Mouse presses, moves, releases and double clicks go to the handlers
// of the window instead of the list's own selection logic (the check column keeps the list's behaviour for the
// left button; its other buttons do nothing).
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

    // Handlers set by the window; each returns nothing and sees the event before the list does.
    std::function<void(QMouseEvent *)> onMousePress;
    std::function<void(QMouseEvent *)> onMouseMove;
    std::function<void(QMouseEvent *)> onMouseRelease;
    std::function<void(QMouseEvent *)> onDoubleClick;
    // Returns true when the key was consumed and the list must not see it.
    std::function<bool(QKeyEvent *)> onKeyPress;

  signals:
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
