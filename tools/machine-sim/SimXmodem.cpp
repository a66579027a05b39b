#include "SimXmodem.h"

namespace grittor::sim {

namespace {
constexpr unsigned char SOH = 0x01, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;
constexpr int kBlockBytes = 131; // number, complement, 128 data, checksum
constexpr int kNaksBeforeGivingUp = 60;
} // namespace

SimXmodemReceiver::SimXmodemReceiver(double intervalMs) : intervalMs_(intervalMs > 0 ? intervalMs : 1) {}

void SimXmodemReceiver::Nak(double nowMs, std::string &out)
{
    out += static_cast<char>(NAK);
    ++naks_;
    ++silentNaks_;
    lastNakMs_ = nowMs;
}

void SimXmodemReceiver::Start(double nowMs, std::string &out)
{
    lastByteMs_ = nowMs;
    Nak(nowMs, out);
}

void SimXmodemReceiver::CheckBlock(double nowMs, std::string &out)
{
    inBlock_ = false;
    const auto number = static_cast<unsigned char>(block_[0]);
    const auto complement = static_cast<unsigned char>(block_[1]);
    unsigned sum = 0;
    for (int i = 2; i < 130; ++i)
        sum += static_cast<unsigned char>(block_[static_cast<size_t>(i)]);
    const bool sound =
        static_cast<unsigned>(number + complement) == 255 && (sum & 0xFF) == static_cast<unsigned char>(block_[130]);
    silentNaks_ = 0;
    if (!sound || NakAll) {
        Nak(nowMs, out);
        return;
    }
    if (number == (expected_ & 0xFF)) {
        data_.append(block_, 2, 128);
        ++blocks_;
        expected_ = (expected_ + 1) & 0xFF;
        out += static_cast<char>(ACK);
    } else if (number == ((expected_ - 1) & 0xFF) && started_) {
        out += static_cast<char>(ACK); // a repeat of the block just taken: its ACK was lost
    } else {
        Nak(nowMs, out);
        return;
    }
    started_ = true;
}

SimXmodemReceiver::Status SimXmodemReceiver::Receive(unsigned char c, double nowMs, std::string &out)
{
    if (status_ != Status::Running)
        return status_;
    lastByteMs_ = nowMs;
    if (inBlock_) {
        block_ += static_cast<char>(c);
        if (static_cast<int>(block_.size()) == kBlockBytes)
            CheckBlock(nowMs, out);
        return status_;
    }
    if (c == CAN) {
        if (++cancels_ >= 2)
            status_ = Status::Cancelled;
        return status_;
    }
    cancels_ = 0;
    if (c == SOH) {
        inBlock_ = true;
        block_.clear();
    } else if (c == EOT && started_) {
        out += static_cast<char>(ACK);
        status_ = Status::Finished;
    }
    // anything else between blocks is line noise (or the CR behind the
    // loader command) and is ignored
    return status_;
}

SimXmodemReceiver::Status SimXmodemReceiver::Tick(double nowMs, std::string &out)
{
    if (status_ != Status::Running)
        return status_;
    if (inBlock_) {
        if (nowMs - lastByteMs_ >= intervalMs_) {
            inBlock_ = false; // a torn block: ask for it again
            Nak(nowMs, out);
        }
    } else {
        const double wait = started_ ? intervalMs_ * 10 : intervalMs_;
        if (nowMs - lastByteMs_ >= wait && nowMs - lastNakMs_ >= wait) {
            if (silentNaks_ >= (started_ ? 10 : kNaksBeforeGivingUp))
                status_ = Status::GaveUp;
            else
                Nak(nowMs, out);
        }
    }
    return status_;
}

double SimXmodemReceiver::NextDueMs() const
{
    if (status_ != Status::Running)
        return 1e300;
    if (inBlock_)
        return lastByteMs_ + intervalMs_;
    const double wait = started_ ? intervalMs_ * 10 : intervalMs_;
    const double a = lastByteMs_ + wait, b = lastNakMs_ + wait;
    return a > b ? a : b;
}

} // namespace grittor::sim
