#include "cli/cli.h"

#include "cli/invocation.h"
#include "cli/options.h"

namespace cli {

int runCli(const std::vector<std::string>& args, Services& services, std::ostream& out,
           std::ostream& err) {
    const core::Result<Options> parsed = parseOptions(args);
    if (!parsed) {
        err << "mx4815cal-cli: " << parsed.refusal() << "\n";
        return kInputRefused;
    }
    const Options& options = *parsed;
    if (options.help) {
        out << helpText(options.command);
        return kSuccess;
    }
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
    case Command::None:
        break;
    }
    err << helpText(Command::None);
    return kInputRefused;
}

} // namespace cli
