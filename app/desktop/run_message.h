#pragma once
// The one message a person sees when a run was refused or ended by a fault.

class QWidget;

namespace gravlag {
struct RunResult;

// Shows the cause (and the pass) after the run has ended; nothing for a completed or
// stopped run. Returns whether a message was shown.
bool ShowRunMessage(QWidget* parent, const RunResult& result);
} // namespace gravlag
