// The firmware transfer against a scripted receiver on the fake device.
#include "LinkTestSupport.h"

#include <map>

using namespace grittor;
using namespace grittor::test;

namespace {

constexpr char SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;

class XmodemTest : public LinkFixture {
protected:
    // A receiver that records what it gets and answers each block after
    // `delayMs` with what `answer` says (0: no answer at all).
    void Receiver(std::function<char(int block, int attempt)> answer, int delayMs = 20)
    {
        device->OnWrite = [this, answer, delayMs](const std::string &chunk) {
            for (char c : chunk) {
                if (pending.empty()) {
                    if (c == SOH)
                        pending += c;
                    else if (c == EOT)
                        ++eots;
                    else if (c == CAN)
                        ++cans;
                    else
                        other += c;
                    continue;
                }
                pending += c;
                if (pending.size() == 132) {
                    blocks.push_back(pending);
                    sentAt.push_back(clock.NowMs());
                    const int attempt = attempts[static_cast<int>(goodBlocks)]++;
                    const char a = answer(static_cast<int>(goodBlocks), attempt);
                    if (a == ACK)
                        ++goodBlocks;
                    if (a)
                        feed.At(clock.NowMs() + delayMs, std::string(1, a));
                    pending.clear();
                }
            }
        };
    }
    static std::string Data(size_t n)
    {
        std::string d;
        for (size_t i = 0; i < n; ++i)
            d += static_cast<char>((i * 7 + 3) % 251);
        return d;
    }
    static uint8_t Sum(const std::string &block)
    {
        unsigned s = 0;
        for (int i = 3; i < 131; ++i)
            s += static_cast<uint8_t>(block[static_cast<size_t>(i)]);
        return static_cast<uint8_t>(s);
    }

    std::string pending, other;
    std::vector<std::string> blocks;
    std::vector<int64_t> sentAt;
    std::map<int, int> attempts;
    size_t goodBlocks = 0;
    int eots = 0, cans = 0;
};

} // namespace

TEST_F(XmodemTest, ExactlyOneBlockOfDataIsFollowedByAPadBlockAndTwoEots)
{
    auto &s = Make();
    RecordingProgress progress;
    Receiver([](int, int) { return ACK; });
    device->Feed(std::string(1, NAK));
    const std::string data = Data(128);
    EXPECT_EQ(s.send_xmodem(data, "Transmit firmware to Laser Engraver"), XmSuccess);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].substr(0, 3), std::string("\x01\x01\xFE", 3));
    EXPECT_EQ(blocks[0].substr(3, 128), data);
    EXPECT_EQ(static_cast<uint8_t>(blocks[0][131]), Sum(blocks[0]));
    EXPECT_EQ(blocks[1].substr(0, 3), std::string("\x01\x02\xFD", 3));
    EXPECT_EQ(blocks[1].substr(3, 128), std::string(128, '\xFF'));
    EXPECT_EQ(static_cast<uint8_t>(blocks[1][131]), 0x80) << "128 x 0xFF sums to 0x80";
    EXPECT_EQ(eots, 2);
    EXPECT_EQ(cans, 0);
    EXPECT_EQ(s.NakCount(), 0);
    EXPECT_EQ(s.BlockNumber(), 2);
    EXPECT_GE(s.TransferTime(), 0);
    ASSERT_FALSE(progress.events.empty());
    EXPECT_EQ(progress.events.front().kind, ProgressEvent::Show);
    EXPECT_EQ(progress.events.front().caption, "Transmit firmware to Laser Engraver");
    EXPECT_EQ(progress.events.back().kind, ProgressEvent::Hide);
    EXPECT_STREQ(XmodemResultName(XmSuccess), "Success");
}

TEST_F(XmodemTest, OneByteMoreFillsTheSecondBlockWithPadding)
{
    auto &s = Make();
    Receiver([](int, int) { return ACK; });
    device->Feed(std::string(1, NAK));
    const std::string data = Data(129);
    EXPECT_EQ(s.send_xmodem(data, "fw"), XmSuccess);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[1][3], data[128]);
    EXPECT_EQ(blocks[1].substr(4, 127), std::string(127, '\xFF'));
    EXPECT_EQ(static_cast<uint8_t>(blocks[1][131]), Sum(blocks[1]));
}

TEST_F(XmodemTest, BlockNumbersWrapAt256)
{
    auto &s = Make();
    Receiver([](int, int) { return ACK; }, 0);
    device->Feed(std::string(1, NAK));
    const std::string data = Data(256 * 128);
    EXPECT_EQ(s.send_xmodem(data, "fw"), XmSuccess);
    ASSERT_EQ(blocks.size(), 257u);
    EXPECT_EQ(static_cast<uint8_t>(blocks[254][1]), 255);
    EXPECT_EQ(static_cast<uint8_t>(blocks[255][1]), 0) << "block 256";
    EXPECT_EQ(static_cast<uint8_t>(blocks[255][2]), 255);
    EXPECT_EQ(static_cast<uint8_t>(blocks[256][1]), 1);
    std::string received;
    for (size_t i = 0; i < 256; ++i)
        received += blocks[i].substr(3, 128);
    EXPECT_EQ(received, data);
}

TEST_F(XmodemTest, ANakRepeatsTheBlockAndIsCounted)
{
    auto &s = Make();
    std::vector<std::string> shown;
    s.SetDebugEcho(true);
    s.OnText = [&](const std::string &t, bool stamp) {
        if (!stamp)
            shown.push_back(t);
    };
    Receiver([](int block, int attempt) { return block == 0 && attempt < 2 ? NAK : ACK; });
    device->Feed(std::string(1, NAK));
    EXPECT_EQ(s.send_xmodem(Data(100), "fw"), XmSuccess);
    ASSERT_EQ(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], blocks[1]);
    EXPECT_EQ(blocks[1], blocks[2]);
    EXPECT_EQ(s.NakCount(), 2);
    // Each answer shows its time since sending; each NAK a "<".
    ASSERT_EQ(shown.size(), 5u);
    for (int i : {0, 2, 4}) {
        EXPECT_EQ(shown[static_cast<size_t>(i)].size(), 7u) << shown[static_cast<size_t>(i)];
        EXPECT_EQ(shown[static_cast<size_t>(i)].substr(0, 5), ">00.0") << "answered within 100 ms: ss.zzz";
    }
    EXPECT_EQ(shown[1], "<");
    EXPECT_EQ(shown[3], "<");
}

TEST_F(XmodemTest, AReceiverThatOnlyNaksGetsCancelledAfterTheAckTimeout)
{
    auto &s = Make();
    Receiver([](int, int) { return NAK; }, 300);
    device->Feed(std::string(1, NAK));
    EXPECT_EQ(s.send_xmodem(Data(1000), "fw"), XmNoAck);
    EXPECT_STREQ(XmodemResultName(XmNoAck), "No Ack");
    EXPECT_EQ(cans, 133);
    ASSERT_GE(blocks.size(), 2u);
    const int64_t firstSent = sentAt.front();
    EXPECT_GE(clock.NowMs() - firstSent, 5000);
    EXPECT_LT(clock.NowMs() - firstSent, 5400) << "all tries of a block share one AckTimeout";
    EXPECT_EQ(s.NakCount(), static_cast<int>(blocks.size()) - 1);
    s.flush_output();
    EXPECT_EQ(device->Written().substr(device->Written().size() - 133), std::string(133, CAN));
}

TEST_F(XmodemTest, TheAckTimeoutRunsFromTheFirstSendingOfTheBlock)
{
    auto &s = Make();
    Receiver([](int, int attempt) { return attempt == 0 ? NAK : 0; }, 3000);
    device->Feed(std::string(1, NAK));
    const int64_t t0 = clock.NowMs();
    EXPECT_EQ(s.send_xmodem(Data(10), "fw"), XmNoAck);
    EXPECT_EQ(blocks.size(), 2u);
    EXPECT_LT(clock.NowMs() - t0, 5300) << "not 3 s + another 5 s";
}

TEST_F(XmodemTest, AnUnexpectedAnswerCancelsWithResult3AndIsKeptWithItsBlock)
{
    auto &s = Make();
    Receiver([](int block, int) { return block == 1 ? 'C' : ACK; });
    device->Feed(std::string(1, NAK));
    EXPECT_EQ(s.send_xmodem(Data(300), "fw"), XmNoAckAtEof);
    EXPECT_EQ(blocks.size(), 2u);
    EXPECT_EQ(cans, 133);
    EXPECT_EQ(s.UnexpectedAnswer(), 'C');
    EXPECT_EQ(s.BlockNumber(), 2);

    // Any other end of a transfer leaves no answer behind.
    s.set_timeout(100);
    EXPECT_EQ(s.send_xmodem(Data(300), "fw"), XmNoNak);
    EXPECT_EQ(s.UnexpectedAnswer(), -1);
}

TEST_F(XmodemTest, ALostPortEndsTheTransferAtOnceWithoutCancelBytes)
{
    auto &s = Make();
    Receiver([](int, int) { return ACK; });
    int64_t hungUpAt = -1;
    onPump = [&] {
        if (hungUpAt < 0 && blocks.size() == 3) {
            device->HangUp();
            hungUpAt = clock.NowMs();
        }
    };
    device->Feed(std::string(1, NAK));
    EXPECT_EQ(s.send_xmodem(Data(5000), "fw"), XmNoAck);
    ASSERT_GE(hungUpAt, 0);
    EXPECT_LT(clock.NowMs() - hungUpAt, 100) << "not the whole AckTimeout";
    EXPECT_EQ(cans, 0) << "nobody to tell";
    EXPECT_TRUE(s.output_empty());
    EXPECT_FALSE(s.port_open());

    // The next try opens the port again and waits for a NAK that never
    // comes; a port that cannot be opened fails the try at once.
    s.set_timeout(400);
    const size_t before = blocks.size();
    int64_t t0 = clock.NowMs();
    EXPECT_EQ(s.send_xmodem(Data(5000), "fw"), XmNoNak);
    EXPECT_GE(clock.NowMs() - t0, 400);
    EXPECT_TRUE(s.port_open());
    EXPECT_EQ(blocks.size(), before) << "nothing of the old transfer went to the new port";
    device->HangUp();
    device->OpenError = ENOENT;
    onPump = nullptr;
    t0 = clock.NowMs();
    EXPECT_EQ(s.send_xmodem(Data(5000), "fw"), XmNoNak);
    EXPECT_LT(clock.NowMs() - t0, 100);
    EXPECT_EQ(cans, 0);
}

TEST_F(XmodemTest, NoNakInTimeEmptyDataAndCancel)
{
    auto &s = Make();
    Receiver([](int, int) { return ACK; });
    s.set_timeout(2000);
    device->Feed("noise before the loader\r"); // not a NAK
    const int64_t t0 = clock.NowMs();
    EXPECT_EQ(s.send_xmodem(Data(300), "fw"), XmNoNak);
    EXPECT_GE(clock.NowMs() - t0, 2000);
    EXPECT_TRUE(blocks.empty());

    EXPECT_EQ(s.send_xmodem("", "fw"), XmNoAckAtEof);
    EXPECT_TRUE(blocks.empty());

    device->Feed(std::string(1, NAK));
    onPump = [&] {
        if (blocks.size() >= 3)
            flags.Cancelled = true;
    };
    EXPECT_EQ(s.send_xmodem(Data(5000), "fw"), XmNoAckAtEof) << "abandoned: the result is left as it started";
    EXPECT_EQ(cans, 0) << "a cancel sends no CAN";
    EXPECT_LT(blocks.size(), 6u);
}

TEST_F(XmodemTest, QueuedOutputGoesFirstAndTerminalModeIsRestored)
{
    auto &s = Make();
    Receiver([](int, int) { return ACK; });
    s.SetTerminalMode(true);
    device->WriteLimit = 0;
    s.send_string("\x1b.cload38400;1:");
    device->WriteLimit = static_cast<size_t>(-1);
    device->Feed(std::string(1, NAK));
    EXPECT_EQ(s.send_xmodem(Data(10), "fw"), XmSuccess);
    EXPECT_EQ(other, "\x1b.cload38400;1:\r");
    EXPECT_EQ(blocks.size(), 1u);
    EXPECT_TRUE(s.TerminalMode());
}
