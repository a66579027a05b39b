// The machine's firmware loader: an XMODEM receiver with the 8-bit
// checksum.  It asks for the first block with NAK at a fixed interval,
// checks each block's number, complement and checksum, answers ACK or NAK,
// and ends on EOT (transfer complete) or CAN (sender gave up).
#pragma once

#include <string>

namespace grittor::sim {

class SimXmodemReceiver {
public:
    enum class Status { Running, Finished, Cancelled, GaveUp };

    // intervalMs: time between NAKs while waiting for the first block, and
    // the silence inside a block after which the block is asked for again.
    explicit SimXmodemReceiver(double intervalMs = 1000);

    // Starts waiting: the first NAK goes out at once.
    void Start(double nowMs, std::string &out);
    Status Receive(unsigned char c, double nowMs, std::string &out);
    Status Tick(double nowMs, std::string &out);
    double NextDueMs() const;

    // Every block answered with NAK (the "fault nak" mode).
    bool NakAll = false;

    const std::string &Data() const { return data_; }
    int BlocksAccepted() const { return blocks_; }
    int NaksSent() const { return naks_; }
    int CancelBytes() const { return cancels_; }
    Status State() const { return status_; }

private:
    void Nak(double nowMs, std::string &out);
    void CheckBlock(double nowMs, std::string &out);

    double intervalMs_;
    Status status_ = Status::Running;
    bool started_ = false; // a first block has arrived
    bool inBlock_ = false;
    std::string block_; // bytes after SOH
    std::string data_;  // accepted data, in order
    int blocks_ = 0;
    int expected_ = 1; // next block number (mod 256)
    int naks_ = 0;
    int silentNaks_ = 0; // NAKs in a row without an answer
    int cancels_ = 0;    // CAN bytes seen in a row
    double lastByteMs_ = 0;
    double lastNakMs_ = 0;
};

} // namespace grittor::sim
