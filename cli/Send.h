#pragma once

#include "cli/CommandLine.h"

#include <filesystem>
#include <ostream>

namespace opc::cli {

// The send command: one round trip, its summary on out, failures on err; returns the exit code.
// templates is the folder whose "<operation>.x" is the body when --body is not given.
int RunSend(const TOptions& options, const std::filesystem::path& templates, std::ostream& out,
            std::ostream& err);

// The whole program: parses the arguments and runs the command.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

} // namespace opc::cli
