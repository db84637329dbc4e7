#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace pelorix
{

// The rows of one table column. A gap buffer: a refresh walks the table from the last row to the first and
// deletes most rows of a filtered list on the way, and each deletion next to the previous one moves no other
// row. Reads by index cost one comparison more than a vector's.
template <typename T> class RowList
{
  public:
    RowList() = default;
    explicit RowList(std::vector<T> items)
        : m_data(std::move(items))
        , m_gapBegin(m_data.size())
        , m_gapEnd(m_data.size())
    {
    }

    size_t size() const { return m_data.size() - gapLength(); }
    bool empty() const { return size() == 0; }
    const T &operator[](size_t i) const { return m_data[physical(i)]; }
    T &operator[](size_t i) { return m_data[physical(i)]; }

    void push_back(T value)
    {
        moveGapTo(size());
        m_data.resize(m_gapBegin);
        m_data.push_back(std::move(value));
        m_gapBegin = m_gapEnd = m_data.size();
    }

    void erase(size_t i)
    {
        moveGapTo(i);
        m_data[m_gapEnd] = T{}; // the row's storage goes now, not when the gap closes
        ++m_gapEnd;
    }

    void clear()
    {
        m_data.clear();
        m_gapBegin = m_gapEnd = 0;
    }

    std::vector<T> toVector() const
    {
        std::vector<T> rows;
        rows.reserve(size());
        rows.insert(rows.end(), m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(m_gapBegin));
        rows.insert(rows.end(), m_data.begin() + static_cast<std::ptrdiff_t>(m_gapEnd), m_data.end());
        return rows;
    }

  private:
    size_t gapLength() const { return m_gapEnd - m_gapBegin; }
    size_t physical(size_t i) const { return i < m_gapBegin ? i : i + gapLength(); }

    // Moves the gap so that it starts at row i; only the rows between the old and the new place move.
    void moveGapTo(size_t i)
    {
        if (m_gapBegin == m_gapEnd) { // no gap: nothing moves (and nothing may be moved onto itself)
            m_gapBegin = m_gapEnd = i;
            return;
        }
        const auto data = m_data.begin();
        if (i < m_gapBegin) {
            const size_t count = m_gapBegin - i;
            std::move_backward(data + static_cast<std::ptrdiff_t>(i), data + static_cast<std::ptrdiff_t>(m_gapBegin),
                               data + static_cast<std::ptrdiff_t>(m_gapEnd));
            m_gapBegin -= count;
            m_gapEnd -= count;
        } else if (i > m_gapBegin) {
            const size_t count = i - m_gapBegin;
            std::move(data + static_cast<std::ptrdiff_t>(m_gapEnd),
                      data + static_cast<std::ptrdiff_t>(m_gapEnd + count),
                      data + static_cast<std::ptrdiff_t>(m_gapBegin));
            m_gapBegin += count;
            m_gapEnd += count;
        }
    }

    std::vector<T> m_data;
    size_t m_gapBegin = 0; // rows [0, m_gapBegin) are at the front of m_data,
    size_t m_gapEnd = 0;   // the others from m_gapEnd to its end
};

} // namespace pelorix
