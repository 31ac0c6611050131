#pragma once

#include "sim/Service.h"

#include <httplib.h>

namespace opc::sim {

inline constexpr char kServicePath[] = "/opcxmlda/QuelmSim.Tandrel.Simulation";
inline constexpr std::size_t kMaxRequestBytes = 64u << 20;

// The OPC XML-DA service at its path, each connection on a thread of its own. Request bodies
// held at once by all connections take at most bodyBudget bytes; past it, 503 and a fault.
void AddServiceRoutes(httplib::Server& server, TService& service,
                      std::size_t bodyBudget = 4 * kMaxRequestBytes);
// Routes that misbehave on purpose, under /test/, for tests and benchmarks only.
void AddTestRoutes(httplib::Server& server);

} // namespace opc::sim
