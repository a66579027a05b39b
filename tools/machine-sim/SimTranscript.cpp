#include "SimTranscript.h"

#include "SimLine.h"

namespace grittor::sim {

SimTranscript::SimTranscript(const std::string &path)
{
    if (!path.empty())
        file_ = std::fopen(path.c_str(), "w");
}

SimTranscript::~SimTranscript()
{
    Flush('<');
    Flush('>');
    if (file_)
        std::fclose(file_);
}

void SimTranscript::Bytes(char dir, const std::string &bytes, double t)
{
    if (!file_)
        return;
    Flush(dir == '<' ? '>' : '<'); // the other direction's partial line first
    std::string &pending = dir == '<' ? rx_ : tx_;
    for (char c : bytes) {
        // CR LF stays on one line; a lone CR ends it once the next byte is not LF.
        if (!pending.empty() && pending.back() == '\r' && c != '\n')
            Line(dir, pending, t);
        pending += c;
        if (c == '\n' || pending.size() >= 200)
            Line(dir, pending, t);
    }
    lastT_ = t;
}

void SimTranscript::Event(const std::string &text, double t)
{
    if (!file_)
        return;
    Flush('<');
    Flush('>');
    Write("#", text, t);
}

void SimTranscript::Flush(char dir)
{
    std::string &pending = dir == '<' ? rx_ : tx_;
    if (!pending.empty())
        Line(dir, pending, lastT_);
}

void SimTranscript::Line(char dir, std::string &pending, double t)
{
    Write(std::string(1, dir), Readable(pending), t);
    pending.clear();
}

void SimTranscript::Write(const std::string &tag, const std::string &text, double t)
{
    lastT_ = t;
    std::fprintf(file_, "%10.3f %s %s\n", t / 1000.0, tag.c_str(), text.c_str());
    std::fflush(file_);
}

} // namespace grittor::sim
