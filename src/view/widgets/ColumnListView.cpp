#include "view/widgets/ColumnListView.h"

#include "core/Text.h"
#include "platform/widgets/Fonts.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTimer>

namespace pelorix
{

namespace
{

const QColor kCheckText(149, 149, 149);

// Every row is 13 pixels high, whatever the font says. A check box gets a grey outline: the style draws
// it in the window colour, which is black here, so an unchecked box would not be seen.
class RowDelegate final : public QStyledItemDelegate
{
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const override
    {
        return {option.rect.width(), ColumnListView::kRowHeight};
    }
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(Qt::CheckStateRole).isValid())
            return;
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QWidget *widget = option.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        const QRect box = style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item, widget);
        painter->save();
        painter->setPen(kCheckText);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(box.adjusted(0, 0, -1, -1));
        painter->restore();
    }
};

} // namespace

int ColumnListView::s_applyingDepth = 0;

ColumnModel::ColumnModel(ServerTable &table, Column column, QObject *parent)
    : QAbstractListModel(parent)
    , m_table(table)
    , m_column(column)
{
    m_table.addObserver(this);
}

ColumnModel::~ColumnModel()
{
    m_table.removeObserver(this);
}

int ColumnModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_table.rowCount(m_column);
}

QVariant ColumnModel::data(const QModelIndex &index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || row < 0 || row >= m_table.rowCount(m_column))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return toQString(m_table.cell(m_column, row));
    case Qt::CheckStateRole:
        if (m_column == Listbox10_check)
            return m_table.isChecked(row) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (m_column == Listbox10_check)
            return kCheckText;
        return {};
    default:
        return {};
    }
}

bool ColumnModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (m_column != Listbox10_check || role != Qt::CheckStateRole || !index.isValid())
        return false;
    m_table.setChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags ColumnModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_column == Listbox10_check)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

// The table reports a change after making it; the model's begin/end pairs bracket nothing, which list views accept
// because they ask for rows and cells only after the end notification.
void ColumnModel::rowsInserted(Column column, int first, int count)
{
    if (column != m_column)
        return;
    beginInsertRows({}, first, first + count - 1);
    endInsertRows();
}

void ColumnModel::rowsRemoved(Column column, int first, int count)
{
    if (column != m_column)
        return;
    beginRemoveRows({}, first, first + count - 1);
    endRemoveRows();
}

void ColumnModel::cellChanged(Column column, int row)
{
    if (column != m_column)
        return;
    const QModelIndex i = index(row);
    emit dataChanged(i, i);
}

void ColumnModel::columnReset(Column column)
{
    if (column != m_column)
        return;
    beginResetModel();
    endResetModel();
    emit stateChanged();
}

void ColumnModel::columnStateChanged(Column column)
{
    if (column == m_column)
        emit stateChanged();
}

ColumnListView::ColumnListView(ServerTable &table, Column column, QWidget *parent)
    : QListView(parent)
    , m_table(table)
    , m_column(column)
    , m_model(new ColumnModel(table, column, this))
{
    setModel(m_model);
    setItemDelegate(new RowDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFrameShape(QFrame::NoFrame);
    setContextMenuPolicy(Qt::PreventContextMenu);
    setTextElideMode(Qt::ElideNone);
    setFont(pelorixFont(FontRole::Sans, 11));
    viewport()->setMouseTracking(true);
    setMouseTracking(true);

    connect(m_model, &ColumnModel::stateChanged, this, [this] { applyState(); });
    // Rows arriving or leaving move the list's own current index; the table's selection stays the one shown.
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { applyState(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { applyState(); });

    QScrollBar *bar = verticalScrollBar();
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int action) {
        // The wheel moves the slider as well, but only a held thumb, an arrow or a page click is a scroll-bar step.
        if (action == QAbstractSlider::SliderMove && !bar->isSliderDown())
            return;
        m_barAction = true;
        QTimer::singleShot(0, this, [this] { m_barAction = false; });
    });
    connect(bar, &QAbstractSlider::valueChanged, this, [this](int value) {
        if (m_applying)
            return;
        m_table.setTopRow(m_column, value);
        emit userScrolled(value);
        if (m_barAction) {
            m_barAction = false;
            emit scrollBarStep();
        }
    });
    applyState();
}

int ColumnListView::topRow() const
{
    return verticalScrollBar()->value();
}

void ColumnListView::applyState()
{
    if (m_applying)
        return;
    m_applying = true;
    ++s_applyingDepth;
    const auto &state = m_table.column(m_column);
    setVerticalScrollBarPolicy(state.scrollBarVisible ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    if (isEnabled() != state.enabled)
        setEnabled(state.enabled);
    if (isHidden() == state.visible)
        setVisible(state.visible);
    const int selected = state.selected;
    if (selected < 0 || selected >= m_model->rowCount()) {
        if (currentIndex().isValid() || selectionModel()->hasSelection()) {
            selectionModel()->clear();
        }
    } else if (currentIndex().row() != selected || !selectionModel()->isSelected(m_model->index(selected))) {
        selectionModel()->setCurrentIndex(m_model->index(selected), QItemSelectionModel::ClearAndSelect);
    }
    if (verticalScrollBar()->value() != state.topRow) {
        // The range follows the rows only after the next layout pass; lay out now so the top row fits.
        if (verticalScrollBar()->maximum() < state.topRow)
            doItemsLayout();
        verticalScrollBar()->setValue(state.topRow);
    }
    --s_applyingDepth;
    m_applying = false;
}

// A selection, not the current index: the list moves its current index on its own when it gets the focus.
void ColumnListView::selectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    QListView::selectionChanged(selected, deselected);
    if (m_applying)
        return;
    const QModelIndexList rows = selectionModel()->selectedIndexes();
    const int row = rows.isEmpty() ? -1 : rows.front().row();
    if (row == m_table.selectedIndex(m_column))
        return;
    m_table.setSelectedIndex(m_column, row);
    emit userSelectionChanged(row);
}

bool ColumnListView::listHandlesMouse(const QMouseEvent *event) const
{
    // Only the check column's left button selects and ticks through the list; a right or middle button would
    // select a row of this column alone.
    return m_column == Listbox10_check && event->button() == Qt::LeftButton;
}

void ColumnListView::mousePressEvent(QMouseEvent *event)
{
    emit mousePressed(event);
    if (listHandlesMouse(event))
        QListView::mousePressEvent(event);
    event->accept();
}

void ColumnListView::mouseMoveEvent(QMouseEvent *event)
{
    emit mouseMoved(event);
    if (m_column == Listbox10_check && !(event->buttons() & ~Qt::LeftButton))
        QListView::mouseMoveEvent(event);
    event->accept();
}

void ColumnListView::mouseReleaseEvent(QMouseEvent *event)
{
    emit mouseReleased(event);
    if (listHandlesMouse(event))
        QListView::mouseReleaseEvent(event);
    event->accept();
}

void ColumnListView::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit mouseDoubleClicked(event);
    if (listHandlesMouse(event))
        QListView::mouseDoubleClickEvent(event);
    event->accept();
}

void ColumnListView::keyPressEvent(QKeyEvent *event)
{
    const bool accepted = event->isAccepted();
    event->ignore();
    emit keyPressed(event);
    if (event->isAccepted())
        return;
    event->setAccepted(accepted);
    // The list's own copy of the current cell is not wanted: Ctrl+C is the name column's handler's alone.
    if (event->matches(QKeySequence::Copy)) {
        event->accept();
        return;
    }
    // Keys act on the table's row: Space ticks the selected server's box, never one that only has the list's
    // current index.
    applyState();
    QListView::keyPressEvent(event);
}

void ColumnListView::focusInEvent(QFocusEvent *event)
{
    // The list puts its current index on its first row when it gets the focus without one; the table's
    // selection is the one shown.
    QListView::focusInEvent(event);
    applyState();
}

} // namespace pelorix
