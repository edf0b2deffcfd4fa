#include "app/batch/problem.h"

#include <ostream>

#include "app/batch/batch_run.h"

namespace gravlag {

int ExitStatusOf(ProblemKind kind)
{
    switch (kind) {
    case ProblemKind::Refused:
        return kExitRefused;
    case ProblemKind::Output:
    case ProblemKind::OutOfMemory:
        return kExitOutput;
    case ProblemKind::Fault:
    case ProblemKind::Internal:
        return kExitFault;
    case ProblemKind::Stopped:
        return kExitSignalBase;
    case ProblemKind::Notice:
        break;
    }
    return kExitCompleted;
}

std::string ProblemText(const BatchProblem& problem)
{
    return problem.subject.empty() ? problem.message : problem.subject + ": " + problem.message;
}

BatchProblem About(const std::string& subject, BatchProblem problem)
{
    problem.subject = problem.subject.empty() ? subject : subject + ": " + problem.subject;
    return problem;
}

void Say(std::ostream& err, const BatchProblem& problem)
{
    err << kProblemPrefix << ProblemText(problem) << "\n";
}

void Say(std::ostream& err, const BatchProblems& problems)
{
    for (const BatchProblem& p : problems)
        Say(err, p);
}

} // namespace gravlag
