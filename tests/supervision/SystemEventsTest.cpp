// POSIX signals reach the program as a request to close, on the main thread, through the self-pipe.
#include <csignal>
#include <gtest/gtest.h>
#include <QObject>

#include "StationTestSupport.h"
#include "SupervisedStation.h"
#include "SystemEvents.h"

namespace {

class SystemEventsTest : public SandboxTest {};

TEST_F(SystemEventsTest, ASignalAsksToCloseFromTheEventLoopAndTheHandlersGoWithTheObject) {
    {
        TSystemEvents events(false);
        events.InstallSignalHandlers();
        int closes = 0;
        QObject::connect(&events, &TSystemEvents::closeRequested, [&] { ++closes; });
        ASSERT_EQ(::raise(SIGHUP), 0);
        EXPECT_EQ(closes, 0); // not from inside the signal handler
        ASSERT_TRUE(WaitUntil([&] { return closes > 0; }));
        EXPECT_EQ(closes, 1);
        EXPECT_TRUE(LogHasLine("Signal 1 received -> closing application and saving datas"));
    }
    struct sigaction now {};
    ::sigaction(SIGHUP, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
