#include "core/RowList.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using namespace pelorix;

namespace
{

// Every row, read one by one through the index operator.
std::vector<std::string> rowsOf(const RowList<std::string> &list)
{
    std::vector<std::string> rows;
    for (size_t i = 0; i < list.size(); ++i)
        rows.push_back(list[i]);
    return rows;
}

} // namespace

TEST(RowList, DeletionsInARowFromTheEndKeepTheOrder)
{
    RowList<std::string> list({"a", "b", "c", "d", "e", "f"});
    // What a refresh does: from the last row to the first, some rows go.
    list.erase(5);
    list.erase(3);
    list.erase(2);
    list.erase(0);
    EXPECT_EQ(rowsOf(list), (std::vector<std::string>{"b", "e"}));
    EXPECT_EQ(list.toVector(), rowsOf(list));
    list.push_back("g");
    list[0] = "B";
    EXPECT_EQ(list.toVector(), (std::vector<std::string>{"B", "e", "g"}));
    list.erase(1);
    list.erase(1);
    list.erase(0);
    EXPECT_TRUE(list.empty());
    list.push_back("h");
    EXPECT_EQ(list.toVector(), std::vector<std::string>{"h"});
}

// Deletions anywhere, writes and appends in a random order give what a plain vector gives.
TEST(RowList, BehavesLikeAVector)
{
    std::mt19937 rng(42);
    RowList<std::string> list;
    std::vector<std::string> model;
    for (int step = 0; step < 5000; ++step) {
        const int action = std::uniform_int_distribution<int>(0, 9)(rng);
        if (action < 4 || model.empty()) {
            const std::string value = "row " + std::to_string(step);
            list.push_back(value);
            model.push_back(value);
        } else if (action < 8) {
            const size_t at = std::uniform_int_distribution<size_t>(0, model.size() - 1)(rng);
            list.erase(at);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        } else {
            const size_t at = std::uniform_int_distribution<size_t>(0, model.size() - 1)(rng);
            list[at] = "changed " + std::to_string(step);
            model[at] = list[at];
        }
        ASSERT_EQ(list.size(), model.size()) << "step " << step;
        if (step % 97 == 0) {
            ASSERT_EQ(rowsOf(list), model) << "step " << step;
        }
    }
    EXPECT_EQ(list.toVector(), model);
    list.clear();
    EXPECT_TRUE(list.empty());
}
