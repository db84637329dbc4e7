#pragma once

class QApplication;

namespace pelorix
{

// The grey-scale look of every window: black surfaces, white and grey text, grey controls and menus.
void applySkin(QApplication &application);

} // namespace pelorix
