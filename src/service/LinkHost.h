// What the machine windows need of the main window: its serial link, and
// hiding the jog panel.  The program's start-up binds it to the main
// window; tests bind it to a link of their own.
#pragma once

namespace grittor {

class TSerial;

class TLinkHost {
public:
    virtual ~TLinkHost() = default;
    // The main window's link, or nullptr while the port is not open.
    virtual TSerial *Link() = 0;
    // Opens the port when there is no link, as "Open Comm Port" does, and
    // returns the link (nullptr only when none could be made).
    virtual TSerial *OpenLink() = 0;
    // The settings panel and the job commands hide the jog panel.
    virtual void HideJogPanel() = 0;
};

} // namespace grittor
