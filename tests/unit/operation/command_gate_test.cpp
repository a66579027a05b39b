// The command gate on its own: policies, refusals, nesting, the busy events
// and the work deferred until no command runs.
#include "operation/CommandGate.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace grittor;

TEST(CommandGate, TheTableNamesEveryCommandOnceAndKeepsJobControlAtHand)
{
    std::set<std::string> names;
    for (const TCommandInfo &c : CommandTable()) {
        EXPECT_TRUE(names.insert(c.Name).second) << c.Name;
        EXPECT_EQ(&CommandInfo(c.Id), &c);
    }
    EXPECT_EQ(static_cast<int>(CommandTable().size()), CommandCount);
    // What stops running work must never be refused by it.
    for (TCommandId id : {TCommandId::Pause, TCommandId::Continue, TCommandId::CancelJob, TCommandId::Exit,
                          TCommandId::TerminalView, TCommandId::ImageView, TCommandId::CloseCommPort})
        EXPECT_EQ(CommandInfo(id).Policy, TCommandPolicy::AllowedWhileBusy) << CommandInfo(id).Name;
    for (TCommandId id : {TCommandId::OpenHpglFile, TCommandId::Print, TCommandId::OpenCommPort,
                          TCommandId::UploadFirmware, TCommandId::PenParameters, TCommandId::TerminalKey})
        EXPECT_EQ(CommandInfo(id).Policy, TCommandPolicy::Exclusive) << CommandInfo(id).Name;
}

TEST(CommandGate, AnExclusiveCommandRefusesExclusiveOnesAndLetsTheOthersNest)
{
    TCommandGate gate;
    std::vector<std::string> trace;
    std::vector<TCommandId> refused;
    std::vector<bool> busy;
    gate.OnRefused = [&](TCommandId id) { refused.push_back(id); };
    gate.OnBusyChanged = [&](bool b) { busy.push_back(b); };

    EXPECT_FALSE(gate.Busy());
    const bool ran = gate.Run(TCommandId::OpenHpglFile, [&] {
        trace.push_back("open");
        EXPECT_TRUE(gate.Busy());
        EXPECT_EQ(gate.Running(), TCommandId::OpenHpglFile);
        // The operator presses Print and Cancel while the open runs.
        EXPECT_FALSE(gate.Run(TCommandId::Print, [&] { trace.push_back("print"); }));
        EXPECT_TRUE(gate.Run(TCommandId::CancelJob, [&] {
            trace.push_back("cancel");
            // Cancel's own pause is allowed too, a second open is not.
            EXPECT_TRUE(gate.Run(TCommandId::Pause, [&] { trace.push_back("pause"); }));
            EXPECT_FALSE(gate.Run(TCommandId::OpenHpglFile, [&] { trace.push_back("open again"); }));
        }));
        EXPECT_EQ(gate.Running(), TCommandId::OpenHpglFile);
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(gate.Busy());
    EXPECT_EQ(trace, (std::vector<std::string>{"open", "cancel", "pause"}));
    EXPECT_EQ(refused, (std::vector<TCommandId>{TCommandId::Print, TCommandId::OpenHpglFile}));
    EXPECT_EQ(busy, (std::vector<bool>{true, false})) << "one change each way, however deep the nesting";

    // An allowed command that runs a while blocks the exclusive ones too:
    // it may be waiting on the link.
    gate.Run(TCommandId::Pause, [&] { EXPECT_FALSE(gate.Allows(TCommandId::OpenCommPort)); });
    EXPECT_TRUE(gate.Allows(TCommandId::OpenCommPort));
}

TEST(CommandGate, WorkDeferredUntilIdleRunsOnceAfterTheOutermostCommand)
{
    TCommandGate gate;
    int closes = 0;
    bool busyWhenClosed = true;
    std::vector<bool> busy;
    gate.OnBusyChanged = [&](bool b) { busy.push_back(b); };
    auto close = [&] {
        ++closes;
        busyWhenClosed = gate.Busy();
    };

    // Idle: at once.
    gate.WhenIdle(DeferredLinkClose, close);
    EXPECT_EQ(closes, 1);

    gate.Run(TCommandId::OpenHpglFile, [&] {
        gate.Run(TCommandId::CloseCommPort, [&] {
            gate.WhenIdle(DeferredLinkClose, close);
            gate.WhenIdle(DeferredLinkClose, close); // asked twice: still one closing
        });
        EXPECT_EQ(closes, 1) << "the link stays while the open still runs";
        EXPECT_TRUE(gate.Deferred(DeferredLinkClose));
    });
    EXPECT_EQ(closes, 2);
    EXPECT_FALSE(busyWhenClosed);
    EXPECT_FALSE(gate.Deferred(DeferredLinkClose));
    // The menus come back only after the deferred work has run.
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));

    // Opening a fresh link drops a closing still waiting.
    gate.Run(TCommandId::OpenHpglFile, [&] {
        gate.WhenIdle(DeferredLinkClose, close);
        gate.CancelWhenIdle(DeferredLinkClose);
    });
    EXPECT_EQ(closes, 2);
}

TEST(CommandGate, ACommandThatThrowsStillLeavesTheGateIdle)
{
    TCommandGate gate;
    int deferred = 0;
    EXPECT_THROW(gate.Run(TCommandId::Print,
                          [&] {
                              gate.WhenIdle(7, [&] { ++deferred; });
                              throw std::runtime_error("printer on fire");
                          }),
                 std::runtime_error);
    EXPECT_FALSE(gate.Busy());
    EXPECT_EQ(deferred, 1);
    EXPECT_TRUE(gate.Run(TCommandId::Print, [] {}));
}
