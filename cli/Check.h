#pragma once

#include "cli/CommandLine.h"

#include <filesystem>
#include <ostream>

namespace opc::cli {

// The check command: the conformance run, step by step; returns the exit code.
int RunCheck(const TOptions& options, const std::filesystem::path& templates, std::ostream& out,
             std::ostream& err);

} // namespace opc::cli
