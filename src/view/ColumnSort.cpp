#include "view/ColumnSort.h"

#include "core/Text.h"

#include <QCollator>
#include <QDateTime>

#include <algorithm>
#include <numeric>

namespace pelorix
{

namespace
{

std::optional<double> readNumber(const QString &text, const QLocale &locale)
{
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// Milliseconds since the epoch (UTC, so no daylight-saving gap makes a valid text unreadable).
std::optional<double> readDateTime(const QString &text, const QLocale &locale)
{
    for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        QDateTime dateTime = locale.toDateTime(text, format);
        if (dateTime.isValid()) {
            dateTime.setTimeSpec(Qt::UTC);
            return static_cast<double>(dateTime.toMSecsSinceEpoch());
        }
        const QDate date = locale.toDate(text, format);
        if (date.isValid())
            return static_cast<double>(date.startOfDay(Qt::UTC).toMSecsSinceEpoch());
    }
    return std::nullopt;
}

std::optional<double> readTime(const QString &text, const QLocale &locale)
{
    for (const auto format : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QTime time = locale.toTime(text, format);
        if (time.isValid())
            return static_cast<double>(time.msecsSinceStartOfDay());
    }
    return std::nullopt;
}

std::optional<double> readValue(SortKind kind, const QString &text, const QLocale &locale)
{
    switch (kind) {
    case SortKind::Number:
        return readNumber(text, locale);
    case SortKind::DateTime:
        return readDateTime(text, locale);
    case SortKind::Time:
        return readTime(text, locale);
    default:
        return std::nullopt;
    }
}

QString upperKey(const std::string &cell, const QLocale &locale)
{
    return locale.toUpper(toQString(cell));
}

SortKind chooseKindOfUpper(const std::vector<QString> &keys, const QLocale &locale)
{
    bool number = true;
    bool dateTime = true;
    bool time = true;
    for (const QString &key : keys) {
        number = number && readNumber(key, locale).has_value();
        dateTime = dateTime && readDateTime(key, locale).has_value();
        time = time && readTime(key, locale).has_value();
        if (!number && !dateTime && !time)
            break;
    }
    return number ? SortKind::Number : dateTime ? SortKind::DateTime : time ? SortKind::Time : SortKind::Text;
}

// The order of rows [0, n) by their upper-cased keys; a stable sort, so equal keys keep their order.
std::vector<int> sortedOrder(const std::vector<QString> &keys, SortKind kind, bool descending, const QLocale &locale)
{
    const size_t n = keys.size();
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    if (n < 2)
        return order;
    if (kind == SortKind::Automatic)
        kind = chooseKindOfUpper(keys, locale);

    if (kind == SortKind::Text) {
        QCollator collator(locale);
        std::vector<QCollatorSortKey> sortKeys;
        sortKeys.reserve(n);
        for (const QString &key : keys)
            sortKeys.push_back(collator.sortKey(key));
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const int c = sortKeys[static_cast<size_t>(a)].compare(sortKeys[static_cast<size_t>(b)]);
            return descending ? c > 0 : c < 0;
        });
        return order;
    }

    // A key that does not read as a value of the kind would compare equal to everything, which is no order at all
    // (a ping "?" while a server is asked again). Such rows go after every row with a value, in both directions,
    // and keep their order among themselves: the result is one fixed order whatever the sorting method.
    std::vector<std::optional<double>> values;
    values.reserve(n);
    for (const QString &key : keys)
        values.push_back(readValue(kind, key, locale));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto &va = values[static_cast<size_t>(a)];
        const auto &vb = values[static_cast<size_t>(b)];
        if (!va || !vb)
            return va.has_value() && !vb.has_value();
        return descending ? *va > *vb : *va < *vb;
    });
    return order;
}

} // namespace

int sortAreaByCliName(std::string_view name)
{
    for (int k = 0; k < kSortAreaCount; ++k) {
        if (name == kSortAreas[static_cast<size_t>(k)].cliName)
            return k;
    }
    return -1;
}

SortKind chooseSortKind(const std::vector<std::string> &keys, const QLocale &locale)
{
    std::vector<QString> upper;
    upper.reserve(keys.size());
    for (const auto &key : keys)
        upper.push_back(upperKey(key, locale));
    return chooseKindOfUpper(upper, locale);
}

void sortRecords(std::vector<RowRecord> &records, Column keyCell, SortKind kind, bool descending, const QLocale &locale)
{
    std::vector<QString> keys;
    keys.reserve(records.size());
    for (const auto &record : records)
        keys.push_back(upperKey(record[keyCell], locale));
    const std::vector<int> order = sortedOrder(keys, kind, descending, locale);
    std::vector<RowRecord> sorted;
    sorted.reserve(records.size());
    for (const int k : order)
        sorted.push_back(std::move(records[static_cast<size_t>(k)]));
    records = std::move(sorted);
}

ColumnSorter::ColumnSorter(QLocale locale)
    : m_locale(std::move(locale))
{
}

bool ColumnSorter::sortByArea(ServerTable &table, int area)
{
    const SortArea &spec = kSortAreas.at(static_cast<size_t>(area));
    const bool descending = m_descending[static_cast<size_t>(area)];
    m_descending[static_cast<size_t>(area)] = !descending;

    const int n = table.rowCount(ListBox1_servername);
    if (n < 2)
        return descending;

    // Not redrawn while the rows are rewritten.
    table.SetColumnsVisible(false, true);

    // Rows of servers that never answered may have no address cell (the address column is then shorter than the
    // name column). Only the rows that have every cell are sorted as one block; the shorter rows after them are
    // sorted among themselves. So each row keeps its own cells and no cell is made up or lost.
    int full = n;
    for (int c = 0; c < ColumnCount; ++c)
        full = std::min(full, table.rowCount(static_cast<Column>(c)));

    std::vector<RowRecord> records(static_cast<size_t>(n));
    for (int row = 0; row < n; ++row) {
        RowRecord &record = records[static_cast<size_t>(row)];
        for (int c = 0; c < Listbox10_check; ++c) {
            const auto column = static_cast<Column>(c);
            if (row < table.rowCount(column))
                record[c] = table.cell(column, row);
        }
        record[Listbox10_check] = table.isChecked(row) ? "-1" : "0";
    }
    std::vector<RowRecord> head(std::make_move_iterator(records.begin()),
                                std::make_move_iterator(records.begin() + full));
    std::vector<RowRecord> tail(std::make_move_iterator(records.begin() + full),
                                std::make_move_iterator(records.end()));
    sortRecords(head, spec.key, spec.kind, descending, m_locale);
    sortRecords(tail, spec.key, spec.kind, descending, m_locale);
    records = std::move(head);
    records.insert(records.end(), std::make_move_iterator(tail.begin()), std::make_move_iterator(tail.end()));

    for (int c = 0; c < ColumnCount; ++c) {
        const auto column = static_cast<Column>(c);
        const int rows = table.rowCount(column);
        std::vector<std::string> items(static_cast<size_t>(rows));
        std::vector<char> checked;
        for (int row = 0; row < rows && row < n; ++row)
            items[static_cast<size_t>(row)] = records[static_cast<size_t>(row)][c];
        // The check column's texts ("Join") stay; its boxes move with their rows.
        if (column == Listbox10_check) {
            items = table.columnItems(column);
            checked.resize(static_cast<size_t>(rows));
            for (int row = 0; row < rows; ++row)
                checked[static_cast<size_t>(row)] =
                    (row < n ? records[static_cast<size_t>(row)][c] == "-1" : table.isChecked(row)) ? 1 : 0;
        }
        // A column longer than the name column keeps the rows past it as they are.
        for (int row = n; row < rows && column != Listbox10_check; ++row)
            items[static_cast<size_t>(row)] = table.cell(column, row);
        table.rewriteColumn(column, std::move(items), std::move(checked));
    }

    table.SetColumnsVisible(true, true);
    return descending;
}

} // namespace pelorix
