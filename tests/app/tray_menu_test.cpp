// The tray menu with the real polling loop: the pause while it is open, stop, view and exit.
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QSystemTrayIcon>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/main_form.h"
#include "app/tasktray_icon.h"
#include "app/view_form.h"
#include "fake_ftdi_control.h"
#include "platform/message_pump.h"
#include "platform/recording_key_injector.h"
#include "program_rig.h"
#include "ui_answers.h"

namespace tapwedge_test {
namespace {

using tapwedge::CardParamImage;
using tapwedge::app::TForm1;

class TrayMenu : public ::testing::Test {
protected:
    TrayMenu() {
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        CardParamImage image{};
        image.Entries[0].SetKind(0x9200);
        image.Entries[0].SetSystemCode(0xFFFF);
        folder.WriteCardSet(image);
        folder.WriteIni("[COMUNICATION]\nCOM=0\n[PARAMETER]\nLOG=OFF\n[EXT]\nVIEW=ON\n");
        form = std::make_unique<TForm1>(folder.Folder(), &keys);
        form->Timer1->stop();
        for (int i = 0; i < 3 && form->ReaderState != 3; ++i) form->Timer1Timer();
        form->Timer1->start();
    }
    ~TrayMenu() override {
        if (form && form->PopupMenu1->isVisible()) form->PopupMenu1->hide();
        form.reset();
        platform::SetMessagePump({});
    }

    void Choose(QAction* item) { ChooseFromTrayMenu(*form, item); }
    void Dismiss() { DismissTrayMenu(*form); }
    QString Tip() const { return form->TrayIcon->TrayIcon().toolTip(); }
    bool Shows(const QIcon& icon) const { return form->TrayIcon->Icon.cacheKey() == icon.cacheKey(); }

    ScratchProgramFolder folder;
    UiAnswers ui;
    platform::RecordingKeyInjector keys;
    SimulatedReader reader{Link::Usb, folder};
    std::unique_ptr<TForm1> form;
};

TEST_F(TrayMenu, OpeningTheMenuPausesPollingAndDismissingItResumes) {
    ASSERT_EQ(form->ReaderState, 3);
    form->PopupMenu1->popup(QPoint(10, 10));
    EXPECT_TRUE(Shows(form->Image3));
    EXPECT_EQ(Tip(), QStringLiteral("停止"));
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 1);
    EXPECT_EQ(form->ReaderState, 0x13);

    form->PopupMenu1->hide();
    QCoreApplication::processEvents();
    EXPECT_TRUE(Shows(form->Image2));
    EXPECT_EQ(Tip(), QStringLiteral("デバイス検出済/COMポートオープン"));
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 0);
    EXPECT_EQ(form->ReaderState, 3);
}

TEST_F(TrayMenu, LosingActivationResumesAMenuLeftOpen) {
    form->PopupMenu1Popup();
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->ReaderState, 3);
    // Removed once it ran: a later loss of activation changes nothing.
    form->SetPolling(false);
    emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(TrayMenu, StopKeepsPollingStoppedAcrossADismissedMenuUntilUnchecked) {
    Choose(form->N4StopMItem);
    EXPECT_TRUE(form->N4StopMItem->isChecked());
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(Tip(), QStringLiteral("停止"));

    Dismiss();
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 1);
    EXPECT_TRUE(Shows(form->Image3));
    // A tick that was already due does nothing.
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0x13);

    Choose(form->N4StopMItem);
    EXPECT_FALSE(form->N4StopMItem->isChecked());
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->ReaderState, 3);
    EXPECT_TRUE(Shows(form->Image2));
}

TEST_F(TrayMenu, ViewCreatesTheDataViewOnceAndHidesAndShowsIt) {
    Choose(form->N7ViewMItem);
    ASSERT_TRUE(form->ViewForm);
    tapwedge::app::TViewForm* view = form->ViewForm.get();
    EXPECT_TRUE(view->isVisible());
    EXPECT_TRUE(form->N7ViewMItem->isChecked());
    EXPECT_TRUE(form->Timer1->isActive());

    Choose(form->N7ViewMItem);
    EXPECT_EQ(form->ViewForm.get(), view);
    EXPECT_FALSE(view->isVisible());
    EXPECT_FALSE(form->N7ViewMItem->isChecked());

    Choose(form->N7ViewMItem);
    EXPECT_EQ(form->ViewForm.get(), view);
    EXPECT_TRUE(view->isVisible());
}

// While a window of the program is modal (here the version dialog, minimised by the user), a
// click on the icon, whatever the tray host reports it through, brings that window back instead
// of opening the menu; with none open, the click opens the menu.
TEST_F(TrayMenu, AClickWhileADialogIsOpenBringsItBackInsteadOfTheMenu) {
    const auto click = [&] { emit form->TrayIcon->TrayIcon().activated(QSystemTrayIcon::Trigger); };
    bool minimised = false;
    bool menuOpened = true;
    bool broughtBack = false;
    AnswerNextDialog([&](QDialog& dialog) {
        dialog.showMinimized();
        minimised = dialog.isMinimized();
        click();
        menuOpened = form->PopupMenu1->isVisible();
        broughtBack = dialog.isVisible() && !dialog.isMinimized();
        dialog.reject();
    });
    Choose(form->N6VerMItem);
    EXPECT_TRUE(minimised);
    EXPECT_FALSE(menuOpened);
    EXPECT_TRUE(broughtBack);
    EXPECT_TRUE(form->Timer1->isActive());

    click();
    EXPECT_TRUE(form->PopupMenu1->isVisible());
}

TEST_F(TrayMenu, ExitWhenIdleEndsAtOnce) {
    int closed = 0;
    QObject::connect(form.get(), &TForm1::Closed, [&] { ++closed; });
    FakeFtdiClearCalls();
    Choose(form->N5CloseMItem);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(CountFakeCalls("FT_W32_CloseHandle"), 1);
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_F(TrayMenu, ExitDuringATickWaitsForItAndEndsThroughTimer2) {
    int closed = 0;
    QObject::connect(form.get(), &TForm1::Closed, [&] { ++closed; });
    form->Timer1->stop();
    reader.sim.AddCard(tapwedge::sim::FelicaCard{});
    reader.sim.SetReplyLatency(std::chrono::milliseconds(300));
    FakeFtdiClearCalls();
    bool deferred = false;
    QTimer::singleShot(50, form.get(), [&] {
        Choose(form->N5CloseMItem);
        deferred = closed == 0 && form->Timer2->isActive() && form->N4StopMItem->isChecked();
    });
    form->Timer1Timer();
    EXPECT_TRUE(deferred);
    EXPECT_EQ(closed, 0);
    EXPECT_FALSE(form->Timer1->isActive());
    EXPECT_EQ(form->PollBusy, 0);

    QElapsedTimer waited;
    waited.start();
    while (closed == 0 && waited.elapsed() < 3000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(closed, 1);
    EXPECT_LE(waited.elapsed(), 1500);
    EXPECT_EQ(CountFakeCalls("FT_W32_CloseHandle"), 1);
    // The read that was under way when the exit was chosen still went out.
    EXPECT_EQ(ui.Beeps, 1);
}

}  // namespace
}  // namespace tapwedge_test
