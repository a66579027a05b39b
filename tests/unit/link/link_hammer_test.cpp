// The receive thread and the interface thread on one link at full speed:
// every byte queued for output comes back (through a loopback device) into
// the input queue exactly once and in order.
#include "FakeSerialDevice.h"
#include "LinkTestSupport.h"
#include "link/TCommThread.h"
#include "link/TSerial.h"

#include "TestDoubles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

using namespace grittor;

TEST(LinkHammer, ReceiveThreadAndInterfaceThreadMoveEveryByteExactlyOnce)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    double seconds = 10;
#else
    double seconds = 2;
#endif
    if (const char *s = std::getenv("GRITTOR_HAMMER_SECONDS"))
        seconds = std::atof(s);
    test::TempSettings settings;
    auto dev = std::make_unique<FakeSerialDevice>();
    FakeSerialDevice *d = dev.get();
    d->WriteLimit = 37; // partial writes all the time
    d->OnWrite = [d](const std::string &chunk) { d->Feed(chunk); };
    TSerialOptions options;
    options.Device = std::move(dev);
    AbortFlags flags;
    // Small queues so both rings wrap and fill constantly.
    TSerial link("com1", 2000, 0, 8, 0, 38400, flags, std::move(options));
    ASSERT_TRUE(link.port_open());
    ASSERT_TRUE(link.Thread() && link.Thread()->Running());

    auto pattern = [](long long i) { return static_cast<uint8_t>((i * 2654435761LL) >> 9); };
    long long sent = 0, received = 0;
    bool mismatch = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end && !mismatch) {
        for (int k = 0; k < 97 && link.OutQueue().FreeSpace() > 0; ++k)
            link.OutQueue().put(pattern(sent++));
        if (sent % 3 == 0)
            link.write_comm(); // the interface thread writes too, as send_string does
        for (int c; (c = link.InQueue().get()) >= 0;) {
            if (c != pattern(received)) {
                mismatch = true;
                break;
            }
            ++received;
        }
    }
    const auto drainEnd = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received < sent && !mismatch && std::chrono::steady_clock::now() < drainEnd) {
        const int c = link.InQueue().get();
        if (c < 0) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        mismatch = c != pattern(received);
        ++received;
    }
    EXPECT_FALSE(mismatch) << "byte " << received << " lost, doubled or out of order";
    EXPECT_EQ(received, sent);
    EXPECT_GT(sent, 20000) << "the hammer must actually run";
    EXPECT_EQ(link.LossCount(), 0u);
    EXPECT_EQ(d->PendingInput(), 0u);
    EXPECT_FALSE(TSerialTestAccess::WriteHeld(link));
}
