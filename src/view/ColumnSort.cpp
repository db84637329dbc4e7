#include "view/ColumnSort.h"

#include "core/Text.h"

#include <QCollator>
#include <QDateTime>

#include <algorithm>
#include <charconv>
#include <numeric>

namespace pelorix
{

namespace
{

// A plain decimal number: optional minus, digits, optional decimal point and digits. The same number in every
// locale whose decimal point is that character; read without the locale's general parser, which costs more.
std::optional<double> readPlainNumber(const QString &text, QChar point)
{
    const qsizetype n = text.size();
    if (n == 0 || n > 30)
        return std::nullopt;
    char ascii[32];
    qsizetype p = 0;
    bool digits = false;
    bool pointSeen = false;
    for (; p < n; ++p) {
        const QChar c = text[p];
        if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            digits = true;
        } else if (c == QLatin1Char('-') && p == 0) {
        } else if (c == point && !pointSeen && digits) {
            pointSeen = true;
            ascii[p] = '.';
            continue;
        } else {
            return std::nullopt;
        }
        ascii[p] = static_cast<char>(c.unicode());
    }
    if (!digits || text.back() == point)
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(ascii, ascii + n, value);
    return error == std::errc() && end == ascii + n ? std::optional<double>(value) : std::nullopt;
}

std::optional<double> readNumber(const QString &text, const QLocale &locale)
{
    const QString point = locale.decimalPoint();
    if (point.size() == 1 && point != locale.groupSeparator()) {
        if (const auto plain = readPlainNumber(text, point.front()))
            return plain;
    }
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

SortKind chooseKindOf(const std::vector<std::string> &keys, const QLocale &locale)
{
    bool number = true;
    bool dateTime = true;
    bool time = true;
    for (const std::string &key : keys) {
        const QString text = toQString(key);
        number = number && readNumber(text, locale).has_value();
        dateTime = dateTime && readDateTime(text, locale).has_value();
        time = time && readTime(text, locale).has_value();
        if (!number && !dateTime && !time)
            break;
    }
    return number ? SortKind::Number : dateTime ? SortKind::DateTime : time ? SortKind::Time : SortKind::Text;
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
    return chooseKindOf(keys, locale);
}

std::vector<int> sortOrder(const std::vector<std::string> &keys, SortKind kind, bool descending, const QLocale &locale)
{
    const size_t n = keys.size();
    std::vector<int> order(n);
    std::iota(order.begin(), order.end(), 0);
    if (n < 2)
        return order;
    if (kind == SortKind::Automatic)
        kind = chooseKindOf(keys, locale);

    if (kind == SortKind::Text) {
        // Upper-cased with the locale's upper-casing first, so the order ignores letter case.
        QCollator collator(locale);
        std::vector<QCollatorSortKey> sortKeys;
        sortKeys.reserve(n);
        for (const std::string &key : keys)
            sortKeys.push_back(collator.sortKey(locale.toUpper(toQString(key))));
        std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
            const int c = sortKeys[static_cast<size_t>(a)].compare(sortKeys[static_cast<size_t>(b)]);
            return descending ? c > 0 : c < 0;
        });
        return order;
    }

    // Numbers, dates and times are read from the cells as they are: upper-casing changes no digit or separator, and
    // the locale reads its day and month names and its AM/PM in any letter case.
    // A key that does not read as a value of the kind would compare equal to everything, which is no order at all
    // (a ping "?" while a server is asked again). Such rows go after every row with a value, in both directions,
    // and keep their order among themselves: the result is one fixed order whatever the sorting method.
    std::vector<std::optional<double>> values;
    values.reserve(n);
    for (const std::string &key : keys)
        values.push_back(readValue(kind, toQString(key), locale));
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const auto &va = values[static_cast<size_t>(a)];
        const auto &vb = values[static_cast<size_t>(b)];
        if (!va || !vb)
            return va.has_value() && !vb.has_value();
        return descending ? *va > *vb : *va < *vb;
    });
    return order;
}

void sortRecords(std::vector<RowRecord> &records, Column keyCell, SortKind kind, bool descending, const QLocale &locale)
{
    std::vector<std::string> keys;
    keys.reserve(records.size());
    for (const auto &record : records)
        keys.push_back(record[keyCell]);
    std::vector<RowRecord> sorted;
    sorted.reserve(records.size());
    for (const int k : sortOrder(keys, kind, descending, locale))
        sorted.push_back(std::move(records[static_cast<size_t>(k)]));
    records = std::move(sorted);
}

ColumnSorter::ColumnSorter(QLocale locale)
    : m_locale(std::move(locale))
{
}

bool ColumnSorter::sortByArea(ServerTable &table, int area)
{
    const SortArea &titleArea = kSortAreas.at(static_cast<size_t>(area));
    const bool descending = m_descending[static_cast<size_t>(area)];
    m_descending[static_cast<size_t>(area)] = !descending;

    const int n = table.rowCount(ListBox1_servername);
    if (n < 2)
        return descending;

    // Rows of servers that never answered may have no address cell (the address column is then shorter than the
    // name column). Only the rows that have every cell are sorted as one block; the shorter rows after them are
    // sorted among themselves. So each row keeps its own cells and no cell is made up or lost.
    int full = n;
    for (int c = 0; c < ColumnCount; ++c)
        full = std::min(full, table.rowCount(static_cast<Column>(c)));

    const auto keyOf = [&](int row) -> std::string {
        if (titleArea.key == Listbox10_check)
            return table.isChecked(row) ? "-1" : "0";
        return row < table.rowCount(titleArea.key) ? table.cell(titleArea.key, row) : std::string();
    };
    std::vector<std::string> head;
    std::vector<std::string> tail;
    head.reserve(static_cast<size_t>(full));
    for (int row = 0; row < full; ++row)
        head.push_back(keyOf(row));
    for (int row = full; row < n; ++row)
        tail.push_back(keyOf(row));
    std::vector<int> order = sortOrder(head, titleArea.kind, descending, m_locale);
    for (const int k : sortOrder(tail, titleArea.kind, descending, m_locale))
        order.push_back(full + k);

    // Not redrawn while the rows move.
    table.SetColumnsVisible(false, true);
    table.reorderRows(order, full);
    table.SetColumnsVisible(true, true);
    return descending;
}

} // namespace pelorix
