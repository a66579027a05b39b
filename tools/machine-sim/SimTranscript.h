// The simulator's readable transcript (--log): one line per direction
// change or line end, and the events between them.
#pragma once

#include <cstdio>
#include <string>

namespace grittor::sim {

class SimTranscript {
public:
    // No file (an empty path): every call does nothing.
    explicit SimTranscript(const std::string &path);
    ~SimTranscript();
    SimTranscript(const SimTranscript &) = delete;
    SimTranscript &operator=(const SimTranscript &) = delete;

    bool Ok() const { return file_ != nullptr; }
    // Bytes received ('<') or sent ('>') at `t` ms.
    void Bytes(char dir, const std::string &bytes, double t);
    void Event(const std::string &text, double t);
    void Flush(char dir);

private:
    void Line(char dir, std::string &pending, double t);
    void Write(const std::string &tag, const std::string &text, double t);

    std::FILE *file_ = nullptr;
    std::string rx_, tx_;
    double lastT_ = 0;
};

} // namespace grittor::sim
