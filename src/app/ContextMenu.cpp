// The right-click menus.
#include "app/AppState.h"
#include "app/MainDialog.h"

namespace tv {

void MainDialog::onContextMenu(int, int) {}
void MainDialog::onSlotCommand(int) {}

}  // namespace tv
