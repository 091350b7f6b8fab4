// Service-parameter commands of velmo-cli.
#include "CliCommon.h"

namespace velmo::cli {

std::vector<Command> ParameterCommands() {
    return {};
}

}  // namespace velmo::cli
