// Loading a file for sending, and sending it.
#include "app/AppState.h"
#include "app/MainDialog.h"

namespace tv {

void MainDialog::loadFileByDialog() {}
void MainDialog::reportLoadedFile() {}
LRESULT MainDialog::onNotify(const NMHDR*) { return 0; }
void MainDialog::runFileSend() { endJob(JobKind::File); }

}  // namespace tv
