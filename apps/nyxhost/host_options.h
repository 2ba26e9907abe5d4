// nyxhost's command line: every option, its default and its check.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "nyxhost/host_runner.h"
#include "nyxhost/panel_server.h"

struct HostCommandLine {
  HostConfig config;
  bool demo = false;
  bool noView = false;
  bool recordsGiven = false;
  std::optional<int> chronyShm;  // shared-memory unit for chronyd; none = off
  std::optional<PanelAddress> panel;  // serve the operator panel there
  std::string panelToken;
};

// Parses the command line into out. Returns -1 to go on and run, or the
// exit code after printing the help on helpOut (0) or a one-line error on
// errorOut (2).
int ParseHostCommandLine(int argc, const char* const* argv, HostCommandLine& out, std::ostream& helpOut,
                         std::ostream& errorOut);
