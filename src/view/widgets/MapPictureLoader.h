#pragma once

#include <string>
#include <vector>

class QLabel;

namespace pelorix
{

// Shows the map picture of mapCell (the map column's cell of the selected row) in MAP_picture: the
// file chosen by findMapPicture over folders (the program folder first), stretched to the label's
// size (113 x 89 on the main window) and centred. Any failure (unreadable or missing picture, no none.jpg) leaves the
// label as it was and returns false; nothing is reported.
bool ShowMapPicture(QLabel *MAP_picture, const std::vector<std::string> &folders, const std::string &mapCell);
// The same with the program folder alone.
bool ShowMapPicture(QLabel *MAP_picture, const std::string &programFolder, const std::string &mapCell);

} // namespace pelorix
