#pragma once
// A problem a command line or a run meets, passed as a value from where it arises to where it
// is said: gravlag-batch prints it as one line on standard error, the Python module raises the
// exception of its kind. Its text is made once, there.

#include <iosfwd>
#include <string>
#include <vector>

namespace gravlag {

enum class ProblemKind {
    Refused,     // a command line or input that cannot start a run
    Output,      // an output that could not be written (a file, standard output)
    OutOfMemory, // an allocation refused
    Fault,       // a fault ended a run
    Internal,    // a fault of the program itself (an exception it did not expect)
    Stopped,     // a signal stopped it, or kept it from starting
    Notice,      // said, ends nothing: fewer threads than asked for
};

struct BatchProblem {
    ProblemKind kind = ProblemKind::Internal;
    std::string subject; // what it concerns, said first ("point 3", "--sim-png"); may be empty
    std::string message;
};

using BatchProblems = std::vector<BatchProblem>;

// The exit status of a run that met this kind of problem (batch_run.h); a signal's status
// is kExitSignalBase plus its number, which the kind does not hold.
int ExitStatusOf(ProblemKind kind);

// "subject: message", or the message alone.
std::string ProblemText(const BatchProblem& problem);

// The same problem, said as concerning `subject` first ("point 3" over "--sim-png: ...").
BatchProblem About(const std::string& subject, BatchProblem problem);

// The program's name before each problem it prints.
inline constexpr char kProblemPrefix[] = "gravlag-batch: ";

// One line each: "gravlag-batch: subject: message".
void Say(std::ostream& err, const BatchProblem& problem);
void Say(std::ostream& err, const BatchProblems& problems);

} // namespace gravlag
