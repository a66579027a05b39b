// The machine windows on a link of their own: a scripted machine on the
// in-process device, the fake clock, and a host that stands in for the
// main window.
#pragma once

#include "../../unit/link/LinkTestSupport.h"

#include "service/LinkHost.h"

#include <map>

namespace grittor::test {

class TestLinkHost final : public TLinkHost {
public:
    TSerial *Link() override { return link; }
    TSerial *OpenLink() override
    {
        ++opens;
        return link;
    }
    void HideJogPanel() override { ++jogPanelHides; }

    TSerial *link = nullptr;
    int opens = 0;
    int jogPanelHides = 0;
};

// A machine with variables: reads answer the value, writes store it and
// answer "ok"; `silent` answers nothing at all.
class PanelFixture : public LinkFixture {
protected:
    void SetUp() override
    {
        LinkFixture::SetUp();
        host.link = &Make();
        Answer([this](const std::string &command) -> std::string {
            if (silent)
                return {};
            if (command == "\x1b.a")
                return vars["version"] + "\r";
            if (command.rfind("\x1b.v", 0) == 0 && command.back() == ':') {
                const std::string name = command.substr(3, command.size() - 4);
                return vars.count(name) ? vars[name] + "\r" : "error: unknown variable " + name + "\r";
            }
            if (command.rfind("\x1b.w", 0) == 0 && command.back() == ':') {
                const std::string body = command.substr(3, command.size() - 4);
                if (body == "error_mes")
                    vars["error_message"].clear();
                const size_t semi = body.find(';');
                if (semi != std::string::npos)
                    vars[body.substr(0, semi)] = body.substr(semi + 1);
            }
            return "ok\r";
        });
        commands.clear();
    }
    void TearDown() override
    {
        host.link = nullptr;
        LinkFixture::TearDown();
    }

    TestLinkHost host;
    ScriptedDialogs dialogs;
    bool silent = false;
    std::map<std::string, std::string> vars = {
        {"error_message", "Axis stalled"}, {"height", "48768"}, {"downspeed", "10"}, {"state", "pause"},
        {"version", "SIM 5.20"},           {"upspeed", "20"},   {"acceleration", "2"}, {"position", "1016,2032"},
        {"joyslew", "24"},                 {"jog", "100"}};
};

} // namespace grittor::test
