#ifndef KORVEX_RUNNER_PLUGIN_REGISTRANT_H_
#define KORVEX_RUNNER_PLUGIN_REGISTRANT_H_

#include <flutter/plugin_registry.h>

// Registers every plug-in with the engine, in a fixed order.
void RegisterPlugins(flutter::PluginRegistry* registry);

#endif  // KORVEX_RUNNER_PLUGIN_REGISTRANT_H_
