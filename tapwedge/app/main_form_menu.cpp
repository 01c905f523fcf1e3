// The tray menu: the pause while it is open, stop, the data view and exit.
#include <QAction>
#include <QMenu>
#include <QTimer>

#include "app/main_form.h"
#include "app/view_form.h"
#include "core/reader_status.h"

namespace tapwedge::app {

void TForm1::PopupMenu1Popup() {
    Settings.PollingStopped = 1;
    InstallDeactivationHandler();
    Timer1->stop();
    ReaderState |= kReaderPaused;
    ShowTrayStatus(ReaderState);
}

void TForm1::OnMenuHidden() {
    // Shut only for the output of a card: it opens again right after.
    if (menuSetAside_) return;
    // A chosen item runs its handler right after the menu hides, and every handler removes the
    // deactivation handler first; look once that has happened. A menu left without a choice
    // (Escape, a click elsewhere) resumes polling: a tray program may have no active window
    // whose loss of activation would resume it later.
    QTimer::singleShot(0, this, [this] {
        if (deactivationHandler_) ResumeAfterMenu();
    });
}

void TForm1::ResumeAfterMenu() {
    // A dialog of the menu keeps polling paused until it closes, whatever the menu does
    // meanwhile (the tray icon opens it again above the dialog).
    if (dialogsOpen_ == 0) SetPolling(!N4StopMItem->isChecked());
    RemoveDeactivationHandler();
}

void TForm1::SetPolling(bool run) {
    // While a tick runs, it starts Timer1 itself at its end; starting it here would let the
    // next tick run inside the running one's wait.
    if (run && PollBusy == 0 && !closing_) {
        Timer1->start();
    } else if (!run) {
        Timer1->stop();
    }
    Settings.PollingStopped = run ? 0 : 1;
    if (run) {
        ReaderState &= ~kReaderPaused;
    } else {
        ReaderState |= kReaderPaused;
    }
    ShowTrayStatus(ReaderState);
}

void TForm1::EnableMenuItems(bool enable) {
    for (QAction* action : PopupMenu1->actions()) action->setEnabled(enable);
}

void TForm1::N4StopMItemClick() {
    RemoveDeactivationHandler();
    N4StopMItem->setChecked(!N4StopMItem->isChecked());
    SetPolling(!N4StopMItem->isChecked());
}

void TForm1::N7ViewMItemClick() {
    RemoveDeactivationHandler();
    if (N7ViewMItem->isChecked()) {
        N7ViewMItem->setChecked(false);
        if (ViewForm) ViewForm->hide();
    } else {
        N7ViewMItem->setChecked(true);
        if (!ViewForm) ViewForm = std::make_unique<TViewForm>();
        ViewForm->show();
    }
    SetPolling(!N4StopMItem->isChecked());
}

void TForm1::N5CloseMItemClick() {
    try {
        RemoveDeactivationHandler();
        if (PollBusy) {
            // A tick waits for the reader: stop polling and end once it has finished.
            N4StopMItem->setChecked(true);
            SetPolling(false);
            Timer2->start();
            return;
        }
        CloseProgram();
    } catch (...) {
    }
}

void TForm1::Timer2Timer() {
    try {
        if (PollBusy == 0) CloseProgram();
    } catch (...) {
    }
}

}  // namespace tapwedge::app
