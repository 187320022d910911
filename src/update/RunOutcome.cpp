#include "update/RunOutcome.h"

std::string RunFetch::verdict() const
{
    switch (end) {
    case FetchEnd::Running:
        return "";
    case FetchEnd::Transferred:
        return words;
    case FetchEnd::Stalled:
        return "no progress for " + std::to_string(seconds) + " s";
    case FetchEnd::Overdue:
        return "not done after " + std::to_string(seconds) + " s";
    case FetchEnd::Cancelled:
        return "cancelled";
    case FetchEnd::ConnectionLost:
        return "connection lost";
    case FetchEnd::NotStarted:
        return "not started";
    case FetchEnd::NotUsed:
        return "not used";
    }
    return "?";
}

const char* outcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Running:
        return "running";
    case RunOutcome::PatchStarted:
        return "patch started";
    case RunOutcome::ProductError:
        return "product error";
    case RunOutcome::PatchError:
        return "patch error";
    case RunOutcome::ServerError:
        return "server error";
    case RunOutcome::AlreadyApplied:
        return "already applied";
    case RunOutcome::Cancelled:
        return "cancelled";
    case RunOutcome::NotStarted:
        return "not started";
    case RunOutcome::NotExtracted:
        return "patch information file not extracted";
    case RunOutcome::HelpShown:
        return "usage shown";
    }
    return "?";
}

const char* checkOutcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::ProductError:
        return "product-error";
    case RunOutcome::PatchError:
    case RunOutcome::NotExtracted:
        return "patch-error";
    case RunOutcome::AlreadyApplied:
        return "already-applied";
    default:
        return "applicable";
    }
}
