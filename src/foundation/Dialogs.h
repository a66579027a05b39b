// Message boxes, confirmations and file choosers, as the core sees them.
#pragma once

#include <optional>
#include <string>

namespace grittor {

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Modal message with an OK button.
    virtual void Message(const std::string &text) = 0;
    // Modal question with Yes and No; true for Yes.
    virtual bool Confirm(const std::string &text) = 0;
    // Open-file chooser starting on `initial` (a file, or a folder and mask).
    // Empty when the operator cancels.
    virtual std::optional<std::string> OpenFile(const std::string &caption, const std::string &initial,
                                                const std::string &filter) = 0;
    // Save-file chooser; empty when cancelled.
    virtual std::optional<std::string> SaveFile(const std::string &caption, const std::string &initial,
                                                const std::string &filter) = 0;
};

// Headless fallback: messages go to stderr, questions answer No, choosers
// are cancelled.
class ConsoleDialogs final : public Dialogs {
public:
    void Message(const std::string &text) override;
    bool Confirm(const std::string &text) override;
    std::optional<std::string> OpenFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
    std::optional<std::string> SaveFile(const std::string &, const std::string &, const std::string &) override
    {
        return std::nullopt;
    }
};

Dialogs &GetDialogs();
void SetDialogs(Dialogs *dialogs); // not owned; nullptr restores the console fallback

inline void ShowMessage(const std::string &text) { GetDialogs().Message(text); }

} // namespace grittor
