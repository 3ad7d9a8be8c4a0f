// The text, hex and selection send jobs.
#include "app/AppState.h"
#include "app/MainDialog.h"

namespace tv {

void MainDialog::runTextSend() { endJob(JobKind::Text); }
void MainDialog::runHexSend() { endJob(JobKind::Hex); }
void MainDialog::runSelectionSend() { endJob(JobKind::Selection); }

}  // namespace tv
