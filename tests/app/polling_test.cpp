// The polling loop against the simulated reader: finding and opening the reader, bringing it
// to the ready state, reading and outputting cards, and the errors that force a reconnection.
#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QListWidget>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QPlainTextEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <optional>
#include <string>
#include <vector>

#include "app/card_param_form.h"
#include "app/main_form.h"
#include "app/tapwedge_application.h"
#include "app/tasktray_icon.h"
#include "app/view_form.h"
#include "fake_ftdi_control.h"
#include "platform/exception_handler.h"
#include "platform/message_pump.h"
#include "platform/recording_key_injector.h"
#include "program_rig.h"
#include "ui_answers.h"

namespace tapwedge_test {
namespace {

using tapwedge::CardParamImage;
using tapwedge::app::TForm1;
using tapwedge::sim::FelicaCard;
using tapwedge::sim::Fault;

constexpr std::int32_t kReady = 3;
const char* const kIdmText = "012E4C0011223344";  // the simulator's FeliCa card

// A FeliCa entry that outputs the IDm only.
CardParamImage IdOnlyImage() {
    CardParamImage image{};
    image.Entries[0].SetKind(0x9200);
    image.Entries[0].SetSystemCode(0xFFFF);
    return image;
}

// `parameters`: more lines of [PARAMETER].
std::string IniFor(Link link, const std::string& parameters = "") {
    return std::string("[COMUNICATION]\nCOM=") + (link == Link::Usb ? "0" : "3") +
           "\n[PARAMETER]\nLOG=ON\nKEYEMU=ON\nBEEP=ON\nFILE=log.csv\n" + parameters +
           "[CARDID]\nENABLED=1\n";
}

class PollingBase {
protected:
    explicit PollingBase(Link link) : link_(link) {
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        folder.WriteCardSet(IdOnlyImage());
        folder.WriteIni(IniFor(link));
    }
    ~PollingBase() {
        form.reset();
        platform::SetMessagePump({});
    }

    void Start() {
        form = std::make_unique<TForm1>(folder.Folder(), &keys);
        // The tests run the ticks themselves.
        form->Timer1->stop();
    }
    // Ticks until the reader is ready (at most a few); true when it is.
    bool TickUntilReady() {
        for (int i = 0; i < 4 && form->ReaderState != kReady; ++i) form->Timer1Timer();
        return form->ReaderState == kReady;
    }
    // Reads the card once and takes it away; the number of key records one read of it makes.
    std::size_t KeysOfOneRead(int card) {
        const std::size_t before = keys.Records.size();
        form->Timer1Timer();
        const std::size_t typed = keys.Records.size() - before;
        reader->sim.TakeAway(card);
        form->Timer1Timer();
        return typed;
    }
    std::string Csv() const { return folder.Read("log.csv"); }
    std::string Lines(int n) const {
        std::string text;
        for (int i = 0; i < n; ++i) text += std::string(kIdmText) + ",,\n";
        return text;
    }
    QString Tip() const { return form->TrayIcon->TrayIcon().toolTip(); }
    bool Shows(const QIcon& icon) const { return form->TrayIcon->Icon.cacheKey() == icon.cacheKey(); }

    ScratchProgramFolder folder;
    UiAnswers ui;
    platform::RecordingKeyInjector keys;
    Link link_;
    std::unique_ptr<SimulatedReader> reader = std::make_unique<SimulatedReader>(link_, folder);
    std::unique_ptr<TForm1> form;
};

class Polling : public PollingBase, public ::testing::TestWithParam<Link> {
protected:
    Polling() : PollingBase(GetParam()) {}
};

std::string LinkName(const ::testing::TestParamInfo<Link>& info) {
    return info.param == Link::Usb ? "Usb" : "Com";
}

INSTANTIATE_TEST_SUITE_P(BothLinks, Polling, ::testing::Values(Link::Usb, Link::Com), LinkName);

TEST_P(Polling, TheReaderBecomesReadyAndPollsEvery100Ms) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(Tip(), QStringLiteral("デバイス検出済/COMポートオープン"));
    EXPECT_TRUE(Shows(form->Image2));
    EXPECT_EQ(form->Timer1->interval(), 100);
    EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0xD2);  // "TQ5862": SSFC edition, ISO15693
    EXPECT_EQ(form->PollBusy, 0);
}

TEST_P(Polling, ACardIsOutputOnceWhileItStaysAndAgainWhenItComesBack) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    const int card = reader->sim.AddCard(FelicaCard{});
    form->Timer1Timer();
    EXPECT_EQ(Csv(), Lines(1));
    EXPECT_EQ(ui.Beeps, 1);
    const std::size_t keysOfOneRead = keys.Records.size();
    EXPECT_GT(keysOfOneRead, 2u * 16);  // 16 characters and TAB, each down and up

    form->Timer1Timer();
    form->Timer1Timer();
    EXPECT_EQ(Csv(), Lines(1));
    EXPECT_EQ(ui.Beeps, 1);
    EXPECT_EQ(keys.Records.size(), keysOfOneRead);

    reader->sim.TakeAway(card);
    form->Timer1Timer();
    reader->sim.PutBack(card);
    form->Timer1Timer();
    EXPECT_EQ(Csv(), Lines(2));
    EXPECT_EQ(ui.Beeps, 2);
    EXPECT_EQ(form->ReaderState, kReady);
}

TEST_P(Polling, TheDataViewKeepsReceivingReadsWhileHidden) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    form->N7ViewMItemClick();  // shown
    form->N7ViewMItemClick();  // hidden again
    ASSERT_TRUE(form->ViewForm);
    EXPECT_FALSE(form->ViewForm->isVisible());
    form->Timer1->stop();

    reader->sim.AddCard(FelicaCard{});
    form->Timer1Timer();
    form->N7ViewMItemClick();
    EXPECT_TRUE(form->ViewForm->isVisible());
    EXPECT_EQ(form->ViewForm->ViewMemo->toPlainText(),
              QStringLiteral("CardID\n 01 2E 4C 00 11 22 33 44 \nCardData\n "));
}

TEST_P(Polling, ATimeOutKeepsTheReaderWhileItAnswersAttention) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->sim.InjectFault({.command = 0x00, .no_reply = true});
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, kReady);
    EXPECT_EQ(Tip(), QStringLiteral("デバイス検出済/COMポートオープン"));
}

TEST_P(Polling, ATimeOutWithoutAttentionConnectsAnew) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->sim.InjectFault({.command = 0x00, .no_reply = true});
    reader->sim.InjectFault({.command = 0x7A, .no_reply = true});
    form->Timer1Timer();
    if (GetParam() == Link::Com) {
        EXPECT_EQ(form->ReaderState, 0);
        EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出/COMクローズ"));
        EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0x0F);
        EXPECT_EQ(TwClose(), TW_ERR_NOT_OPEN);
    } else {
        EXPECT_EQ(form->ReaderState, 1);
        EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出または認証エラー/COMオープン"));
    }
    // The next tick brings it back.
    reader->sim.ClearFaults();
    EXPECT_TRUE(TickUntilReady());
}

TEST_P(Polling, AnEditionZeroReaderThatRejectsAuthenticationIsReadyWithoutAMessage) {
    reader->sim.SetVersionText("TQ5802 V1.00");
    reader->sim.SetReply(0x70, {0x7F});
    Start();
    ASSERT_TRUE(TickUntilReady());
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0xD0);
    EXPECT_EQ(form->Settings.CardKeyId, 0xF0F0F0);  // no key ID list for this edition
}

TEST_P(Polling, AnEncryptingReaderThatRejectsAuthenticationStaysOpenSilently) {
    reader->sim.SetVersionText("TQ5822 V1.00");
    reader->sim.SetReply(0x70, {0x7F});
    Start();
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 1);
    EXPECT_TRUE(ui.Boxes.empty());
    EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0xD1);
}

TEST_P(Polling, AuthenticationFailuresShowTheirMessageBeforeTheTrayChanges) {
    const struct {
        bool disabled;
        std::optional<std::uint8_t> status;
        bool nack;
        const char* message;
    } cases[] = {
        {false, 1, false, "認証エラー"},
        {true, std::nullopt, false, "ﾊﾟｽﾜｰﾄﾞ認証無効"},
        {false, std::nullopt, true, "レスポンスエラー"},
    };
    // On USB the tray shows the open line before the reader is initialised; on a COM port it
    // changes only after the message.
    const QString tipBefore = GetParam() == Link::Usb
                                  ? QStringLiteral("デバイス未検出または認証エラー/COMオープン")
                                  : QStringLiteral("デバイス未検出/COMクローズ");
    Start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        reader->sim.SetPasswordDisabled(c.disabled);
        reader->sim.SetPasswordStatus(c.status);
        if (c.nack) reader->sim.InjectFault({.command = 0x70, .ack = Fault::Ack::Nack});
        ui.Boxes.clear();
        QString tipAtMessage;
        tapwedge::app::SetMessageBoxHook([&](const tapwedge::app::MessageBoxRequest& request) {
            ui.Boxes.push_back(request);
            tipAtMessage = Tip();
            return tapwedge::app::kResultOk;
        });
        form->Timer1Timer();
        EXPECT_EQ(ui.Texts(), std::vector<QString>{QString::fromUtf8(c.message)});
        EXPECT_EQ(form->ReaderState & 3, 1);
        EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出または認証エラー/COMオープン"));
        EXPECT_EQ(tipAtMessage, tipBefore);
        // Start the next case from a closed reader.
        TwClose();
        form->ReaderState = 0;
        form->LastUsbState = 0;
        form->ShowTrayStatus(0);
    }
}

TEST_P(Polling, AnEncryptingReaderHandsItsCardKeyIdToTheEngineAtOnce) {
    reader->sim.SetVersionText("TQ5822 V1.00");
    reader->sim.AddKeyEntry({.key_id = 0x20});
    Start();
    ASSERT_TRUE(TickUntilReady());
    EXPECT_EQ(form->Settings.CardKeyId, 0x20);
    for (const auto& entry : form->Engine.Entries) EXPECT_EQ(entry.KeyId, 0x20);
}

TEST_P(Polling, AKeyIdListThatCannotBeReadSetsKeyIdZero) {
    reader->sim.SetVersionText("TQ5822 V1.00");
    reader->sim.SetReply(0x1A, {0x7F});
    Start();
    ASSERT_TRUE(TickUntilReady());
    EXPECT_EQ(form->Settings.CardKeyId, 0);
}

TEST_P(Polling, ThreeUnansweredAttentionsSlowPollingDown) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    ASSERT_EQ(form->Timer1->interval(), 100);
    for (int i = 0; i < 3; ++i) reader->sim.InjectFault({.command = 0x7A, .no_reply = true});
    EXPECT_EQ(form->InitReader(), -1);
    EXPECT_EQ(form->Timer1->interval(), 1000);
}

TEST_P(Polling, ATickInsideATicksWaitDoesNothingAndResumingLeavesTheTimerToTheTick) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->sim.AddCard(FelicaCard{});
    reader->sim.SetReplyLatency(std::chrono::milliseconds(200));
    bool timerStartedInside = true;
    bool ran = false;
    // A menu opened and "停止" toggled twice while the tick waits for the reader.
    QTimer::singleShot(50, form.get(), [&] {
        form->PopupMenu1Popup();
        form->N4StopMItemClick();
        form->N4StopMItemClick();
        timerStartedInside = form->Timer1->isActive();
        form->Timer1Timer();  // the timer firing meanwhile
        ran = true;
    });
    form->Timer1Timer();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(timerStartedInside);
    EXPECT_TRUE(form->Timer1->isActive());
    EXPECT_EQ(form->Settings.PollingStopped, 0);
    EXPECT_EQ(Csv(), Lines(1));
    EXPECT_EQ(ui.Beeps, 1);
}

// The waits of the connection steps, as a message handler (the menu) meets them: a late reply
// of attention, version, authentication and key-ID list, and the pause after an attention that
// the reader refused.
struct ConnectionWait {
    const char* name;
    std::uint8_t command;
    int afterMs;  // the pause after the command: its reply came at once
    bool refused;
};
constexpr ConnectionWait kConnectionWaits[] = {
    {"attention", 0x7A, 0, false},
    {"pause after a refused attention", 0x7A, 30, true},
    {"version", 0xFE, 0, false},
    {"authentication", 0x70, 0, false},
    {"key ID list", 0x1A, 0, false},
};
constexpr int kLateReplyMs = 150;

void MakeWait(tapwedge::sim::ReaderSim& sim, const ConnectionWait& wait) {
    if (wait.refused) {
        sim.InjectFault({.command = wait.command, .ack = Fault::Ack::Nack});
    } else {
        sim.InjectFault({.command = wait.command, .reply_delay_ms = kLateReplyMs});
    }
}

TEST_P(Polling, PausingWhileTheReaderIsConnectedChangesNoStep) {
    reader->sim.SetVersionText("TQ5822 V1.00");  // with encryption: a key ID is fetched
    reader->sim.AddKeyEntry({.key_id = 0x20});
    Start();
    for (const bool byStop : {false, true}) {
        for (const ConnectionWait& wait : kConnectionWaits) {
            SCOPED_TRACE(std::string(byStop ? "\"停止\" in the wait of the " : "a tray click in the wait of the ") +
                         wait.name);
            MakeWait(reader->sim, wait);
            RunInsideWait(reader->sim, wait.command, [&] {
                if (byStop) {
                    ChooseFromTrayMenu(*form, form->N4StopMItem);
                } else {
                    emit form->TrayIcon->TrayIcon().activated(QSystemTrayIcon::Trigger);
                }
            }, wait.afterMs);
            form->Timer1Timer();
            platform::SetMessagePump([] { QCoreApplication::processEvents(); });
            EXPECT_EQ(form->ReaderState, 0x13);
            EXPECT_EQ(Tip(), QStringLiteral("停止"));
            EXPECT_EQ(form->Timer1->interval(), 100);
            EXPECT_EQ(form->Settings.CardKeyId, 0x20);
            EXPECT_TRUE(ui.Boxes.empty());

            // Resumed, the ready reader is read on, not connected anew.
            if (byStop) {
                ChooseFromTrayMenu(*form, form->N4StopMItem);
            } else {
                EXPECT_TRUE(form->PopupMenu1->isVisible());
                DismissTrayMenu(*form);
            }
            form->Timer1->stop();
            ASSERT_EQ(form->ReaderState, kReady);
            FakeFtdiClearCalls();
            reader->sim.ClearRecord();
            form->Timer1Timer();
            EXPECT_EQ(form->ReaderState, kReady);
            EXPECT_EQ(CountFakeCalls("FT_W32_CloseHandle"), 0);
            for (const auto& command : reader->sim.Commands()) EXPECT_NE(command.command.at(1), 0x70);

            // The next case connects from the start.
            TwClose();
            form->ReaderState = 0;
            form->LastUsbState = 0;
            form->Settings.CardKeyId = 0xF0F0F0;
            form->Timer1->setInterval(1000);
            form->ShowTrayStatus(0);
        }
    }
}

TEST_P(Polling, TheCommunicationItemInsideAConnectionWaitStopsTheTick) {
    Start();
    for (const std::uint8_t command : {0xFE, 0x70}) {
        SCOPED_TRACE(command);
        reader->sim.InjectFault({.command = command, .reply_delay_ms = kLateReplyMs});
        RunInsideWait(reader->sim, command, [&] {
            AnswerNextDialog([](QDialog& dialog) { Click(dialog, "CancelButton"); });
            ChooseFromTrayMenu(*form, form->N3PortMItem);
        });
        form->Timer1Timer();
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        EXPECT_TRUE(ui.Boxes.empty()) << ui.Texts().front().toStdString();
        EXPECT_EQ(form->ReaderState, 0);
        EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出/COMクローズ"));
        EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0x0F);
        // The reader is opened again from the state the item left. The late reply of the closed
        // session is let out first: a USB reader whose initialisation it disturbs would stay
        // unready until it is plugged anew, while a user spends seconds in the dialog.
        form->Timer1->stop();
        ASSERT_TRUE(reader->sim.WaitOutputIdle(std::chrono::seconds(2)));
        EXPECT_TRUE(TickUntilReady());
        TwClose();
        form->ReaderState = 0;
        form->LastUsbState = 0;
        form->ShowTrayStatus(0);
    }
}

TEST_P(Polling, AReadErrorWhileStoppedKeepsShowingTheStoppedState) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->sim.AddCard(FelicaCard{});
    // A reply the reader rejects: the reader is connected anew.
    reader->sim.SetReply(0x00, {0x7F});
    reader->sim.InjectFault({.command = 0x00, .reply_delay_ms = kLateReplyMs});
    RunInsideWait(reader->sim, 0x00, [&] { ChooseFromTrayMenu(*form, form->N4StopMItem); });
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, GetParam() == Link::Com ? 0x10 : 0x11);
    EXPECT_EQ(Tip(), QStringLiteral("停止"));
    EXPECT_TRUE(Shows(form->Image3));
    EXPECT_FALSE(form->Timer1->isActive());
}

TEST_P(Polling, AnEndRequestDuringTypingStopsTheKeysButLogsTheCard) {
    folder.WriteIni(IniFor(GetParam(), "WAITTIME=10\n"));
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->sim.AddCard(FelicaCard{});
    bool closed = false;
    QObject::connect(form.get(), &TForm1::Closed, [&] { closed = true; });
    // "012E": the end comes in the wait after the first Shift went down.
    RunFromPump([&] { return keys.Records.size() >= 7; }, [&] { form->WMEndSession(); });
    form->Timer1Timer();
    EXPECT_TRUE(closed);
    EXPECT_EQ(keys.Records.size(), 8u);  // and Shift released
    int shiftDown = 0;
    for (const auto& key : keys.Records) {
        if (key.VirtualKey == 0x10) shiftDown += key.Flags == 0 ? 1 : -1;
    }
    EXPECT_EQ(shiftDown, 0);
    EXPECT_EQ(Csv(), Lines(1));
}

// Keys as the focused window gets them, and whether the tray menu was open at each.
class MenuWatchingKeys final : public platform::KeyInjector {
public:
    bool Inject(const platform::KeyboardInput& input) override {
        Records.push_back(input);
        if (Menu != nullptr && Menu->isVisible()) ++WhileMenuOpen;
        return true;
    }
    const char* Name() const override { return "menu-watching"; }

    QMenu* Menu = nullptr;
    std::vector<platform::KeyboardInput> Records;
    int WhileMenuOpen = 0;
};

TEST_P(Polling, ATrayClickWhileACardIsOutputOpensTheMenuOnlyAfterIt) {
    folder.WriteIni(IniFor(GetParam(), "WAITTIME=5\n"));
    Start();
    ASSERT_TRUE(TickUntilReady());
    const int card = reader->sim.AddCard(FelicaCard{});
    const std::size_t keysOfOneRead = KeysOfOneRead(card);

    MenuWatchingKeys watching;
    form.reset();
    form = std::make_unique<TForm1>(folder.Folder(), &watching);
    form->Timer1->stop();
    watching.Menu = form->PopupMenu1;
    ASSERT_TRUE(TickUntilReady());
    const auto click = [&] { emit form->TrayIcon->TrayIcon().activated(QSystemTrayIcon::Trigger); };
    // Clicked while the keys go out, and while the card is read (the menu is then open when
    // the output begins).
    for (const bool duringRead : {false, true}) {
        SCOPED_TRACE(duringRead ? "click during the read" : "click during the output");
        watching.Records.clear();
        watching.WhileMenuOpen = 0;
        if (duringRead) {
            reader->sim.InjectFault({.command = 0x00, .reply_delay_ms = kLateReplyMs});
            RunInsideWait(reader->sim, 0x00, click);
        } else {
            RunFromPump([&] { return watching.Records.size() >= 4; }, click);
        }
        reader->sim.PutBack(card);
        form->Timer1Timer();
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        EXPECT_EQ(watching.Records.size(), keysOfOneRead);
        EXPECT_EQ(watching.WhileMenuOpen, 0);
        EXPECT_TRUE(form->PopupMenu1->isVisible());
        EXPECT_EQ(Tip(), QStringLiteral("停止"));
        DismissTrayMenu(*form);
        form->Timer1->stop();
        reader->sim.TakeAway(card);
        form->Timer1Timer();
    }
    EXPECT_EQ(Csv(), Lines(3));
}

// The user reads a dialog chosen from the tray menu for longer than the reader takes to answer.
constexpr int kDialogOpenMs = 800;

void AnswerAfterReading(std::function<void(QDialog&)> answer) {
    AnswerNextDialog([answer](QDialog& dialog) {
        QTimer::singleShot(kDialogOpenMs, &dialog, [answer, &dialog] { answer(dialog); });
    });
}

// A dialog chosen from the tray menu while a connection step waits for its reply (which comes
// at once) runs only after the tick: the reply is taken, and the reader is ready with its type
// and card key ID as without the dialog.
TEST_P(Polling, ADialogChosenDuringAConnectionWaitLeavesTheReaderReady) {
    reader->sim.SetVersionText("TQ5822 V1.00");  // with encryption: a key ID is fetched
    reader->sim.AddKeyEntry({.key_id = 0x20});
    Start();
    const struct {
        const char* wait;
        std::uint8_t command;
        QAction* TForm1::*item;
    } cases[] = {
        {"version", 0xFE, &TForm1::N6VerMItem},
        {"authentication", 0x70, &TForm1::N2CardMItem},  // its password box, cancelled
        {"card key ID", 0x1A, &TForm1::N6VerMItem},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wait);
        bool dialogInsideTick = false;
        reader->sim.InjectFault({.command = c.command, .reply_delay_ms = 50});
        RunInsideWait(reader->sim, c.command, [&] {
            AnswerAfterReading([&](QDialog& dialog) {
                dialogInsideTick = form->PollBusy != 0;
                dialog.reject();
            });
            ChooseFromTrayMenu(*form, (*form).*c.item);
        });
        form->Timer1Timer();
        platform::SetMessagePump([] { QCoreApplication::processEvents(); });
        EXPECT_FALSE(dialogInsideTick);
        EXPECT_TRUE(ui.Boxes.empty()) << ui.Texts().front().toStdString();
        EXPECT_EQ(form->ReaderState, kReady);
        EXPECT_EQ(Tip(), QStringLiteral("デバイス検出済/COMポートオープン"));
        EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0xD1);
        EXPECT_EQ(form->Settings.CardKeyId, 0x20);
        EXPECT_TRUE(form->Timer1->isActive());

        // The next card is read.
        form->Timer1->stop();
        const int card = reader->sim.AddCard(FelicaCard{});
        form->Timer1Timer();
        EXPECT_EQ(Csv(), Lines(1));
        reader->sim.TakeAway(card);
        form->Timer1Timer();  // no card: the next one counts as new
        std::remove(folder.File("log.csv").c_str());

        // The next case connects from the start.
        TwClose();
        form->ReaderState = 0;
        form->LastUsbState = 0;
        form->Settings.CardKeyId = 0xF0F0F0;
        form->ShowTrayStatus(0);
    }
}

// A Mifare entry that outputs the UID only; with a fixed width of area 1, its data text is that
// many '0's.
CardParamImage MifareUidImage(std::uint8_t width1) {
    CardParamImage image{};
    image.Entries[0].SetKind(0x8260);
    image.Width1 = width1;
    return image;
}

// "カード設定" confirmed while the halt of a Mifare read waits (the read's last wait): the card
// that was read goes out as the parameters it was read with say; the next card by the new ones.
TEST_P(Polling, CardSettingsChosenDuringAReadChangeOnlyTheNextCardsOutput) {
    folder.WriteCardSet(MifareUidImage(0));
    folder.WriteCardSet(MifareUidImage(7), "Wide.set");
    Start();
    ASSERT_TRUE(TickUntilReady());
    const int card = reader->sim.AddCard(tapwedge::sim::MifareCard{});
    form->Timer1Timer();
    const std::string line = Csv();
    ASSERT_NE(line, "");
    EXPECT_EQ(line.find("0000000"), std::string::npos);
    reader->sim.TakeAway(card);
    form->Timer1Timer();
    reader->sim.PutBack(card);

    bool chosen = false;
    reader->sim.InjectFault({.command = 0xC4, .reply_delay_ms = 50});
    RunInsideWait(reader->sim, 0xC4, [&] {
        AnswerCardDialog([&](tapwedge::app::TPosParaForm& dialog) {
            auto* list = dialog.findChild<QListWidget*>(QStringLiteral("ListBox1"));
            ASSERT_NE(list, nullptr);
            const auto found = list->findItems(QStringLiteral("Wide.set"), Qt::MatchExactly);
            ASSERT_EQ(found.size(), 1);
            list->setCurrentItem(found.front());
            chosen = true;
            Click(dialog, "OkBitBtn");
        });
        ChooseFromTrayMenu(*form, form->N2CardMItem);
    });
    form->Timer1Timer();
    platform::SetMessagePump([] { QCoreApplication::processEvents(); });
    ASSERT_TRUE(chosen);
    EXPECT_EQ(form->Settings.CardFileName, "Wide.set");
    EXPECT_EQ(Csv(), line + line);

    form->Timer1->stop();
    reader->sim.TakeAway(card);
    form->Timer1Timer();
    reader->sim.PutBack(card);
    form->Timer1Timer();
    const std::string third = Csv().substr(2 * line.size());
    EXPECT_NE(third.find("0000000"), std::string::npos) << third;
    EXPECT_TRUE(ui.Boxes.empty());
}

// An object whose events throw, as a faulty handler would.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw std::runtime_error("ハンドラの例外");
        return QObject::event(event);
    }
};

// An exception that an event handler raises while a card is typed: the card's keys all go to
// the focused window; the box tells it after the card.
TEST_P(Polling, AnExceptionDuringTypingIsToldAfterTheCard) {
    folder.WriteIni(IniFor(GetParam(), "WAITTIME=5\n"));
    tapwedge::app::InstallExceptionDisplay();
    Start();
    ASSERT_TRUE(TickUntilReady());
    const int card = reader->sim.AddCard(FelicaCard{});
    const std::size_t keysOfOneRead = KeysOfOneRead(card);
    keys.Records.clear();

    std::size_t keysAtBox = 0;
    tapwedge::app::SetMessageBoxHook([&](const tapwedge::app::MessageBoxRequest& request) {
        ui.Boxes.push_back(request);
        keysAtBox = keys.Records.size();
        return tapwedge::app::kResultOk;
    });
    ThrowingObject faulty;
    RunFromPump([&] { return keys.Records.size() >= 4; },
                [&] { QCoreApplication::postEvent(&faulty, new QEvent(QEvent::User)); });
    reader->sim.PutBack(card);
    form->Timer1Timer();
    platform::SetMessagePump([] { QCoreApplication::processEvents(); });
    platform::SetExceptionHandler({});
    EXPECT_EQ(keys.Records.size(), keysOfOneRead);
    EXPECT_EQ(ui.Texts(), std::vector<QString>{QStringLiteral("ハンドラの例外")});
    EXPECT_EQ(keysAtBox, keysOfOneRead);
    EXPECT_EQ(Csv(), Lines(2));
}

class UsbPolling : public PollingBase, public ::testing::Test {
protected:
    UsbPolling() : PollingBase(Link::Usb) {}
};

TEST_F(UsbPolling, LostCsvLinesAreToldOnceUntilALineIsWrittenAgain) {
    // Every line to /dev/full fails (no space left); the keys of the reads are typed all the same.
    std::string ini = IniFor(Link::Usb);
    ini.replace(ini.find("FILE=log.csv"), 12, "PATH=/dev/\nFILE=full");
    folder.WriteIni(ini);
    Start();
    ASSERT_TRUE(TickUntilReady());
    const QString readyTip = Tip();
    const int card = reader->sim.AddCard(FelicaCard{});
    const auto read = [&] {
        reader->sim.TakeAway(card);
        form->Timer1Timer();
        reader->sim.PutBack(card);
        const std::size_t before = keys.Records.size();
        form->Timer1Timer();
        return keys.Records.size() > before;
    };
    const auto trayMessages = [&] { return form->TrayIcon->MessagesShown; };
    const QString lostTip = readyTip + QStringLiteral("\nCSV書き込みエラー: full");

    ASSERT_TRUE(read());
    EXPECT_EQ(trayMessages(), 1);
    EXPECT_EQ(form->TrayIcon->LastMessage,
              QStringLiteral("CSVファイルに書き込めません。\n/dev/full\n"
                             "読み取ったデータはファイルに記録されていません。"));
    EXPECT_EQ(Tip(), lostTip);
    ASSERT_TRUE(read());
    EXPECT_EQ(trayMessages(), 1) << "told once";
    EXPECT_EQ(Tip(), lostTip);

    // A line written in between: the tip is the reader's again, and the next loss is told anew.
    form->Settings.OutputOptions.CsvFolder = folder.Folder();
    form->Settings.OutputOptions.CsvFileName = "log.csv";
    ASSERT_TRUE(read());
    EXPECT_EQ(Csv(), Lines(1));
    EXPECT_EQ(Tip(), readyTip);
    form->Settings.OutputOptions.CsvFolder = "/dev/";
    form->Settings.OutputOptions.CsvFileName = "full";
    ASSERT_TRUE(read());
    EXPECT_EQ(trayMessages(), 2);
    EXPECT_EQ(Tip(), lostTip);
    EXPECT_TRUE(ui.Boxes.empty()) << "no box stops the polling";
}


TEST_F(UsbPolling, OfSeveralDevicesTheFirstQt58VIsOpenedAndTheOthersIgnored) {
    reader.reset();
    FakeFtdiReset();
    const int other = FakeFtdiAddDevice("USB Serial Converter", "FT000001", 0x0201);
    reader = std::make_unique<SimulatedReader>(Link::Usb, folder, false);
    const int second = FakeFtdiAddDevice("QT58-V", "SIM00002", 0x0301);
    Start();
    ASSERT_TRUE(TickUntilReady());
    EXPECT_EQ(FakeFtdiIsOpen(other), 0);
    EXPECT_EQ(FakeFtdiIsOpen(second), 0);
}

TEST_F(UsbPolling, NoFurtherDeviceIsTriedWhenTheFirstReaderFailsToOpen) {
    FakeFtdiAddDevice("QT58-V", "SIM00002", 0x0301);
    FakeFtdiFailCall("FT_W32_CreateFile", 4);
    Start();
    FakeFtdiClearCalls();
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0);
    EXPECT_EQ(CountFakeCalls("FT_W32_CreateFile"), 1);
    FakeFtdiFailCall("FT_W32_CreateFile", 0);
    EXPECT_TRUE(TickUntilReady());
}

TEST_F(UsbPolling, UnpluggingClosesAndPluggingInReconnects) {
    Start();
    ASSERT_TRUE(TickUntilReady());
    reader->Unplug();
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0);
    EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出/COMクローズ"));
    EXPECT_TRUE(Shows(form->Image1));
    EXPECT_EQ(form->Settings.CommSettings.ReaderType, 0x0F);
    EXPECT_EQ(TwClose(), TW_ERR_NOT_OPEN);
    form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0);

    reader->Replug();
    EXPECT_TRUE(TickUntilReady());
    EXPECT_EQ(Tip(), QStringLiteral("デバイス検出済/COMポートオープン"));
}

class ComPolling : public PollingBase, public ::testing::Test {
protected:
    ComPolling() : PollingBase(Link::Com) {}
};

TEST_F(ComPolling, ARefusedAuthenticationIsToldOnceWhileItRepeats) {
    reader->sim.SetPasswordStatus(1);
    Start();
    const QString refused = QStringLiteral("認証エラー");
    for (int tick = 0; tick < 3; ++tick) form->Timer1Timer();
    EXPECT_EQ(ui.Texts(), std::vector<QString>{refused});
    EXPECT_EQ(Tip(), QStringLiteral("デバイス未検出または認証エラー/COMオープン"));
    int tries = 0;
    for (const auto& command : reader->sim.Commands()) tries += command.command.at(1) == 0x70;
    EXPECT_EQ(tries, 3);

    // New communication settings: told again, once.
    AnswerNextDialog([](QDialog& dialog) { Click(dialog, "OKButton"); });
    ChooseFromTrayMenu(*form, form->N3PortMItem);
    form->Timer1->stop();
    for (int tick = 0; tick < 3; ++tick) form->Timer1Timer();
    EXPECT_EQ(ui.Texts(), (std::vector<QString>{refused, refused}));
}

TEST_F(ComPolling, AnUnlistedPortIsNeverOpened) {
    folder.WriteIni("[COMUNICATION]\nCOM=4\n");
    Start();
    for (int i = 0; i < 3; ++i) form->Timer1Timer();
    EXPECT_EQ(form->ReaderState, 0);
    EXPECT_TRUE(reader->sim.ReceivedBytes().empty());
    EXPECT_EQ(TwClose(), TW_ERR_NOT_OPEN);
}

}  // namespace
}  // namespace tapwedge_test
