// The end of the desktop session as the program meets it, against the rig's session manager: a
// checkpoint ("Save session") is no end, the program goes on typing cards; a logout (SaveYourself
// with shutdown, then Die) ends it in order, with exit status 0.
#include <X11/SM/SM.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "program_run.h"
#include "session_manager.h"
#include "standard_outputs.h"

namespace e2e {
namespace {

constexpr int kWaitMs = 10000;

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

// Presents the card and takes it away again; true when its text was typed whole.
bool Typed(ProgramRun& run, const CardOutput& card) {
    if (!Ok(run.Command(std::string("present ") + card.card))) return false;
    const std::string typed = run.Typed(std::string(card.typed).size(), kWaitMs);
    return Ok(run.Command(std::string("remove ") + card.card)) && typed == card.typed;
}

bool WaitForEnd(ProgramRun& run, int timeoutMs) {
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
         std::chrono::steady_clock::now() < end;) {
        if (!run.ProgramRunning()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(SessionEnd, ACheckpointIsNoEndALogoutEndsTheProgram) {
    if (ProgramPath().empty())
        GTEST_SKIP() << "the program is not built (" TAPWEDGE_PROGRAM "): nothing to run end to end";
    rig::SessionManager manager;
    ASSERT_EQ(manager.Error(), "");
    RunOptions options;
    options.session_manager = manager.Address();
    ProgramRun run(options);
    ASSERT_EQ(run.Error(), "");
    ASSERT_TRUE(run.WaitReady(30000)) << "the program never authenticated: " << run.ProgramErrors();
    ASSERT_TRUE(manager.WaitForClients(1, kWaitMs)) << "the program did not register with the session manager";

    const CardOutput& card = kStandardOutputs[kFelicaOutput];
    ASSERT_TRUE(manager.SaveYourself(false, kWaitMs)) << "no answer to the checkpoint";
    EXPECT_TRUE(Typed(run, card)) << run.ProgramErrors();
    EXPECT_TRUE(run.ProgramRunning());
    EXPECT_EQ(manager.Clients(), 1);
    // Started with the desktop by its autostart entry, not by the session: a session restored at
    // the next login must not start a second copy, which would only say "すでに起動されています。".
    EXPECT_EQ(manager.RestartStyleHint(), SmRestartNever);

    ASSERT_TRUE(manager.SaveYourself(true, kWaitMs)) << "no answer to the logout's SaveYourself";
    EXPECT_TRUE(run.ProgramRunning()) << "ended before the session manager said Die";
    EXPECT_TRUE(manager.Die(kWaitMs));
    ASSERT_TRUE(WaitForEnd(run, kWaitMs)) << "the program outlived the session";
    EXPECT_EQ(run.StopProgram(), 0) << run.ProgramErrors();
    EXPECT_EQ(run.CsvText(), card.line);
}

}  // namespace
}  // namespace e2e
