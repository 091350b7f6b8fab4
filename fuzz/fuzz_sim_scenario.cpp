// The stand-in's scenario files: ParseScenario on the input as JSON text, then ApplyScenario. Checked: a
// refused text comes with a message; a parsed scenario written back as JSON parses to the same description
// and fields; applying it twice gives the same state, named after the scenario, and a refused one leaves the
// state untouched; the state file text of an applied scenario reads back to the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <string_view>

#include "simulator/DeviceState.h"
#include "simulator/Scenario.h"

using namespace velmo::sim;

namespace {

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// The scenario as a file would hold it, every value as text (which reads the same as a number or a flag).
// Empty when a field comes twice, which one JSON object cannot hold.
std::string Written(const Scenario& s) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::object();
    std::set<std::string> seen;
    for (const auto& [name, value] : s.fields) {
        if (!seen.insert(name).second) {
            return {};
        }
        fields[name] = value;
    }
    nlohmann::ordered_json doc = {{"description", s.description}, {"fields", fields}};
    return doc.dump();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Scenario scenario;
    std::string error;
    if (!ParseScenario(text, "fuzz", &scenario, &error)) {
        Check(!error.empty());
        return 0;
    }
    Check(scenario.name == "fuzz");

    if (const std::string json = Written(scenario); !json.empty()) {
        Scenario again;
        Check(ParseScenario(json, "fuzz", &again, &error));
        Check(again.description == scenario.description && again.fields == scenario.fields);
    }

    DeviceState untouched;
    untouched.identity = "untouched";
    DeviceState state = untouched;
    if (!ApplyScenario(scenario, &state, &error)) {
        Check(!error.empty() && state == untouched);
        return 0;
    }
    Check(state.scenario == "fuzz");
    DeviceState second;
    Check(ApplyScenario(scenario, &second, &error) && second == state);

    const std::string saved = FormatState(state);
    DeviceState loaded;
    std::string warnings;
    ParseState(saved, loaded, &warnings);
    Check(warnings.empty() && FormatState(loaded) == saved);
    return 0;
}
