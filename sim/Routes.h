#pragma once

#include "sim/Service.h"

#include <httplib.h>

namespace opc::sim {

inline constexpr char kServicePath[] = "/opcxmlda/QuelmSim.Tandrel.Simulation";
inline constexpr std::size_t kMaxRequestBytes = 64u << 20;

// The OPC XML-DA service at its path.
void AddServiceRoutes(httplib::Server& server, TService& service);
// Routes that misbehave on purpose, under /test/, for tests and benchmarks only.
void AddTestRoutes(httplib::Server& server);

} // namespace opc::sim
