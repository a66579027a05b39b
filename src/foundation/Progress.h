// The shared progress window, as the core sees it: a caption and a bar from
// 0 to 1.
#pragma once

#include <string>

namespace grittor {

class Progress {
public:
    virtual ~Progress() = default;
    virtual void Show(const std::string &caption) = 0;
    // fraction 0..1; also lets pending window messages run.
    virtual void SetProgress(double fraction) = 0;
    virtual void Hide() = 0;
};

class NullProgress final : public Progress {
public:
    void Show(const std::string &) override {}
    void SetProgress(double) override {}
    void Hide() override {}
};

Progress &GetProgress();
void SetProgress(Progress *progress); // not owned; nullptr restores the null progress

// A second, independent progress window ("Send Message Progress"), created on
// demand by long sends.  The factory returns nullptr when there is no window
// system.
using ProgressFactory = Progress *(*)(const std::string &caption);
void SetSecondaryProgressFactory(ProgressFactory factory);
// Caller owns the result (may be nullptr).
Progress *CreateSecondaryProgress(const std::string &caption);

} // namespace grittor
