#include "cli/cli.h"

#include "cli/invocation.h"
#include "cli/options.h"

namespace cli {

std::optional<int> answerWithoutCard(const std::vector<std::string>& args, std::ostream& out,
                                     std::ostream& err) {
    const core::Result<Options> parsed = parseOptions(args);
    if (!parsed) {
        // The refusal in JSON too when --json stands anywhere among the arguments.
        return failWith(out, err, asksForJson(args), parsed.failure());
    }
    if (parsed->help) {
        out << helpText(parsed->command);
        return kSuccess;
    }
    return std::nullopt;
}

int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out,
           std::ostream& err) {
    if (const std::optional<int> answered = answerWithoutCard(args, out, err)) {
        return *answered;
    }
    const core::Result<Options> parsed = parseOptions(args);
    const Options& options = *parsed;
    const Invocation inv{services, options, out, err};
    switch (options.command) {
    case Command::List:
        return runList(inv);
    case Command::Read:
        return runRead(inv);
    case Command::Calibrate:
        return runCalibrate(inv);
    case Command::Write:
        return runWrite(inv);
    case Command::Recover:
        return runRecover(inv);
    case Command::Station:
        return runStation(inv);
    case Command::History:
        return runHistory(inv);
    case Command::Certificate:
        return runCertificate(inv);
    case Command::None:
        break;
    }
    err << helpText(Command::None);
    return kInputRefused;
}

} // namespace cli
