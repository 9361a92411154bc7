// The program menu's push to the lab archive.
#include "ui/ModalRunner.h"
#include "ui/archive/ArchivePushForm.h"
#include "ui/main/Mainform.h"

namespace zorvex {

void TMainform::ArchivePushItemClick() {
    TArchivePushForm dialog(this);
    RunModal(dialog);
}

}  // namespace zorvex
