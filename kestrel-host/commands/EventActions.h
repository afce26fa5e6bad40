// What each action of a flight's events does to the host and the module.
// An action reaches the run that plays it only through ActionContext: the
// displays it opens, finds and redraws, the scenarios it loads, and what it
// leaves for the summary.
#pragma once

#include "kestrel-host/flight/Flight.h"
#include "kestrel-host/flight/ScenarioFile.h"
#include "kestrel-host/simulator/Displays.h"
#include "kestrel-host/simulator/HostContext.h"

#include <cstdint>
#include <string>
#include <vector>

class DrawSurface;

// An input-box answer the module refused (its callback returned false).
struct Refusal {
    std::string title; // the box's
    std::string text;  // the answer
};

// What an action may ask of the run playing it.
class ActionContext {
public:
    // The mode the module registered; HostError when it registered none.
    virtual const RegisteredMode& Mode() const = 0;
    // Opens the mode on a display, through its message handler; an open
    // display is closed first.
    virtual void Open(const std::string& name, std::uint32_t packedSize, CharCell cell) = 0;
    // An open display; HostError when it is not open.
    virtual ::OpenDisplay& Need(const std::string& name) = 0;
    // Closes every display, then opens each display of the blocks and hands
    // it its block.
    virtual void LoadScenario(const std::vector<ScenarioBlock>& blocks, const std::string& source) = 0;
    // A redraw for a picture: the display's drawing, then its button labels
    // and menu.
    virtual void Redraw(::OpenDisplay& display, DrawSurface& surface) = 0;
    // For the summary: an answer the module refused, a message's result.
    virtual void Refused(const Refusal& refusal) = 0;
    virtual void MessageAnswered(const std::string& line) = 0;
    // Stops the run at the event, with a message naming it and its step.
    [[noreturn]] virtual void Fail(const Event& event, const std::string& what) const = 0;

protected:
    ~ActionContext() = default;
};

// Plays one event's action.
void RunEvent(const Event& event, ActionContext& run);
