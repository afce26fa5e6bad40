// One flight played through the module (LoadedModule.h): the scenario it
// starts from, its steps, its events (EventActions.h) on the module's
// displays, and at the end the displays deleted and the module unloaded.
// The summary of what it did is printed at the end (Summary.cpp).
#pragma once

#include "host/Mfd.h"
#include "kestrel-host/commands/EventActions.h"
#include "kestrel-host/commands/LoadedModule.h"
#include "kestrel-host/commands/Progress.h"
#include "kestrel-host/common/HostError.h"
#include "kestrel-host/flight/Flight.h"
#include "kestrel-host/pictures/Bezel.h"
#include "kestrel-host/simulator/Displays.h"
#include "kestrel-host/simulator/HostContext.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class DrawSurface;

// A problem with one of the flight's events, found while playing it: the
// message names the flight file, the event and its step.
struct EventFailed : HostError {
    using HostError::HostError;
};

// A run stopped between two steps by SIGINT or SIGTERM (Interrupts.h).
struct RunInterrupted {
    int signal = 0;
};

class FlightRun final : private ActionContext {
public:
    FlightRun(const Flight& flight, const std::filesystem::path& modulePath) : flight_(flight), module_(modulePath) {}

    // LoadedModule::Load, as the flight asks for it.
    void LoadModule();
    // Plays the steps and events. A problem found on the way (an event the
    // flight's checks could not rule out, an output or a trace line that
    // cannot be written) stops it there with a HostError naming the event
    // and its step; SIGINT or SIGTERM stops it between two steps with
    // RunInterrupted. What the module has written stays.
    void Play();
    // Plays at `pace` simulated seconds a wall second (above 0), as the
    // simulator would, so that someone can watch the records grow; without
    // it, as fast as it can.
    void SetPace(double pace) { pace_ = pace; }
    // Deletes the displays, closes input boxes, calls ExitModule (if the
    // flight lets the host do so) and unloads the module.
    void Finish();
    // The progress line's last word on standard error (Progress.h); or,
    // when the run was interrupted, the line taken back.
    void EndProgress();
    void ClearProgress();
    void PrintSummary(std::ostream& out) const;
    // Whether the steps have begun: from then on a stop keeps what the
    // module wrote, and the message says so (StopNote).
    bool Playing() const { return playing_; }
    // Where the run stopped and the data files the module wrote, with their
    // lines, all of which are kept; and the lines it could not write.
    std::string StopNote() const;
    // The one line an interrupted run ends with: the step reached, the
    // simulated time, the lines written and the data files kept.
    std::string InterruptNote(int signal) const;
    // What exit code a run that played to its end gets: 0, or 3 when the
    // module could not write every line.
    int ExitCode() const;

private:
    double pace_ = 0; // 0: as fast as it can
    // What the event actions ask of the run (EventActions.h).
    const RegisteredMode& Mode() const override;
    void Open(const std::string& name, std::uint32_t packedSize, CharCell cell) override;
    ::OpenDisplay& Need(const std::string& name) override;
    void LoadScenario(const std::vector<ScenarioBlock>& blocks, const std::string& source) override;
    // As the simulator asks for the labels and menu when it shows a display.
    void Redraw(::OpenDisplay& display, DrawSurface& surface) override;
    void Refused(const Refusal& refusal) override { refusals_.push_back(refusal); }
    void MessageAnswered(const std::string& line) override { messages_.push_back(line); }
    [[noreturn]] void Fail(const Event& event, const std::string& what) const override;

    // A data file as the summary and the stop note list it
    // ("KestrelScribeData/x.txt: 3 lines (the file held 1 line before)"),
    // and the lines not written, by reason, when there are any (Summary.cpp).
    static std::string DataFileLine(const HostFiles::Written& file);
    static std::vector<std::string> NotWrittenLines();

    void DrawOnly(::OpenDisplay& display, DrawSurface& surface);
    void ReadBezel(::OpenDisplay& display, Bezel& bezel);
    void RedrawInvalidated();

    const Flight& flight_;
    LoadedModule module_;
    long stepsRun_ = 0;
    bool playing_ = false;
    std::optional<Progress> progress_;
    std::vector<std::string> messages_;
    std::vector<Refusal> refusals_;
    std::vector<std::string> displayTexts_;
    bool finished_ = false;
};
