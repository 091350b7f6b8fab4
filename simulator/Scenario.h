// Scenarios: named device states kept as JSON files, so that a demo or a test can put the stand-in into a
// known situation (no service, a card that wants its PIN, ...) in one step.
//
//   {
//     "description": "one line",
//     "fields": { "service": "1x", "rssi_1x": 95, "software_revision": "VLM10R-...", "nv.855": "00 00" },
//     "nv": { "10": "00 09 00" }
//   }
//
// "fields" takes every state field by its state-file name (numbers, texts, true/false); "nv" takes items by
// number as hex bytes. Fields not named keep their defaults: a scenario is a whole device, not a change.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DeviceState.h"

namespace velmo::sim {

struct Scenario {
    std::string name;  // the file's name without ".json"
    std::string description;
    std::vector<std::pair<std::string, std::string>> fields;  // in file order
};

// Folders searched for NAME.json: $VELMO_SIM_SCENARIOS, <program's
// folder>/../share/velmo-modem-sim/scenarios, then the installed data folder.
std::vector<std::string> ScenarioFolders();
// Names of the scenarios found, sorted.
std::vector<std::string> ListScenarios();

// Parses a scenario's JSON text.
bool ParseScenario(std::string_view json, std::string name, Scenario* out, std::string* error);
// An argument with a '/' or ending in ".json" is a file; anything else a name looked up in the folders.
bool LoadScenario(std::string_view nameOrFile, Scenario* out, std::string* error);
// Defaults, then the scenario's fields. On a refused field *state is left untouched.
bool ApplyScenario(const Scenario& scenario, DeviceState* state, std::string* error);

}  // namespace velmo::sim
