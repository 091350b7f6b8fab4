#include "Scenario.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace velmo::sim {

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

constexpr size_t kMaxScenarioFile = 1u << 20;

bool ValueText(const Json& v, std::string* out) {
    if (v.is_string()) {
        *out = v.get<std::string>();
    } else if (v.is_boolean()) {
        *out = v.get<bool>() ? "1" : "0";
    } else if (v.is_number_integer()) {
        *out = v.is_number_unsigned() ? std::to_string(v.get<uint64_t>()) : std::to_string(v.get<int64_t>());
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::string> ScenarioFolders() {
    std::vector<std::string> folders;
    auto add = [&](std::string folder) {
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(std::move(folder));
        }
    };
    if (const char* env = std::getenv("VELMO_SIM_SCENARIOS"); env != nullptr) {
        add(env);
    }
    // Beside the program, so that a build tree and an installed tree both work wherever they were put; the
    // test programs that link the stand-in sit in the same bin/ folder.
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) {
        add((exe.parent_path().parent_path() / VELMO_SIM_SCENARIO_SUBDIR).string());
    }
    add(VELMO_SIM_INSTALLED_SCENARIOS);
    return folders;
}

std::vector<std::string> ListScenarios() {
    std::vector<std::string> names;
    for (const std::string& folder : ScenarioFolders()) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (entry.path().extension() == ".json") {
                names.push_back(entry.path().stem().string());
            }
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

bool ParseScenario(std::string_view json, std::string name, Scenario* out, std::string* error) {
    const Json doc = Json::parse(json.begin(), json.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) {
        *error = "scenario " + name + ": not a JSON object";
        return false;
    }
    Scenario s;
    s.name = std::move(name);
    for (const auto& [key, value] : doc.items()) {
        if (key == "description" && value.is_string()) {
            s.description = value.get<std::string>();
        } else if ((key == "fields" || key == "nv") && value.is_object()) {
            for (const auto& [field, v] : value.items()) {
                std::string text;
                if (!ValueText(v, &text)) {
                    *error = "scenario " + s.name + ": " + field + ": a number, a text or true/false";
                    return false;
                }
                s.fields.emplace_back(key == "nv" ? "nv." + field : field, text);
            }
        } else {
            *error = "scenario " + s.name + ": unknown key '" + key + "' (description, fields, nv)";
            return false;
        }
    }
    *out = std::move(s);
    return true;
}

bool LoadScenario(std::string_view nameOrFile, Scenario* out, std::string* error) {
    const bool isFile = nameOrFile.find('/') != std::string_view::npos || nameOrFile.ends_with(".json");
    std::string path;
    if (isFile) {
        path = std::string(nameOrFile);
    } else {
        const bool plain =
            !nameOrFile.empty() && std::all_of(nameOrFile.begin(), nameOrFile.end(), [](char c) {
                return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
            });
        for (const std::string& folder : ScenarioFolders()) {
            const std::string candidate = folder + "/" + std::string(nameOrFile) + ".json";
            if (plain && fs::exists(candidate)) {
                path = candidate;
                break;
            }
        }
        if (path.empty()) {
            std::string known;
            for (const std::string& n : ListScenarios()) {
                known += (known.empty() ? "" : " ") + n;
            }
            *error = "no scenario '" + std::string(nameOrFile) + "' (known: " + known + ")";
            return false;
        }
    }
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!in || ec || size > kMaxScenarioFile) {
        *error = "cannot read scenario file " + path;
        return false;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseScenario(text.str(), fs::path(path).stem().string(), out, error);
}

bool ApplyScenario(const Scenario& scenario, DeviceState* state, std::string* error) {
    DeviceState next;
    next.scenario = scenario.name;
    for (const auto& [field, value] : scenario.fields) {
        if (field == "scenario") {
            *error = "scenario " + scenario.name + ": the name comes from the file";
            return false;
        }
        std::string why;
        if (!SetStateField(next, field, value, &why)) {
            *error = "scenario " + scenario.name + ": " + why;
            return false;
        }
    }
    *state = std::move(next);
    return true;
}

}  // namespace velmo::sim
