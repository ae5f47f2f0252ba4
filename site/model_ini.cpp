#include "model_ini.h"

#include "model_records.h"
#include "platform.h"

#include <ini.h>

#include <cctype>
#include <map>
#include <unordered_map>
#include <unordered_set>

namespace pavoline::site {
namespace {

const char* const kRequiredKeys[] = {"family", "style", "version", "lcdsize"};
constexpr const char* kBetaKey = "isbeta";
constexpr const char* kPackageKey = "package";

bool HasControlCharacter(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

struct Collector {
    std::vector<ModelDescription>& models;
    std::vector<std::map<std::string, std::string>> keys; // per model, lower-case key -> value
    std::unordered_set<std::string> names;                 // folded
    std::string error;

    bool fail(const std::string& fault) {
        if (error.empty()) error = fault;
        return false;
    }

    bool add(const std::string& section, std::string key, const std::string& value) {
        if (section.empty()) return fail("\"" + key + "\" stands before the first [model] section");
        if (models.empty() || models.back().model != section) {
            if (!names.insert(FoldedModelName(section)).second) {
                for (const ModelDescription& m : models)
                    if (SameModelName(m.model, section))
                        return fail("[" + section + "] describes " + m.model + " again (names are compared without letter case)");
            }
            models.push_back({section, "", "", "", "", false, ""});
            keys.emplace_back();
        }
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const std::string where = "[" + section + "] " + key;
        if (keys.back().count(key)) return fail(where + " is given twice");
        if (HasControlCharacter(value)) return fail(where + " holds a control character");
        keys.back()[key] = value;
        ModelDescription& m = models.back();
        if (key == "family") m.family = value;
        else if (key == "style") m.style = value;
        else if (key == "version") m.version = value;
        else if (key == "lcdsize") m.lcdsize = value;
        else if (key == kBetaKey) {
            if (value != "0" && value != "1") return fail(where + " must be 0 or 1");
            m.beta = value == "1";
        } else if (key == kPackageKey) {
            m.package = value;
        } else {
            return fail(where + " is not a key of a model (family, style, version, lcdsize, isbeta, package)");
        }
        return true;
    }

    static int Handler(void* user, const char* section, const char* name, const char* value) {
        return static_cast<Collector*>(user)->add(section, name, value) ? 1 : 0;
    }
};

// A shared package is one that a model of its own folder has, named exactly as that folder.
bool PackagesNameOwnFolders(const std::vector<ModelDescription>& models, std::string& error) {
    std::unordered_map<std::string, const ModelDescription*> byName;
    for (const ModelDescription& m : models) byName[m.model] = &m;
    for (const ModelDescription& m : models) {
        if (m.package.empty()) continue;
        const auto owner = byName.find(m.package);
        if (owner == byName.end() || !owner->second->package.empty()) {
            error = "[" + m.model + "] package = " + m.package + ": not a model described here with a folder of its own";
            return false;
        }
    }
    return true;
}

} // namespace

std::string FoldedModelName(std::string name) {
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool IsPlainModelName(const std::string& name) {
    if (!IsPlainName(name) || HasControlCharacter(name)) return false;
    for (char c : name)
        if (c == '\\' || c == ':') return false;
    return true;
}

bool ReadModelDescriptions(const std::string& text, std::vector<ModelDescription>& models, std::string& error) {
    models.clear();
    if (text.find('\0') != std::string::npos) {
        error = "holds a zero byte, so it is not a text file";
        return false;
    }
    Collector collector{models, {}, {}, {}};
    const int line = ini_parse_string(text.c_str(), Collector::Handler, &collector);
    if (!collector.error.empty()) {
        error = collector.error;
        return false;
    }
    if (line != 0) {
        error = "line " + std::to_string(line) + " is not \"key = value\" or \"[model]\" (or is longer than the reader takes)";
        return false;
    }
    for (size_t i = 0; i < models.size(); ++i) {
        if (!IsPlainModelName(models[i].model)) {
            error = "[" + models[i].model + "] is not a plain file name";
            return false;
        }
        for (const char* key : kRequiredKeys)
            if (!collector.keys[i].count(key)) {
                error = "[" + models[i].model + "] has no " + key;
                return false;
            }
    }
    if (models.empty()) {
        error = "describes no model";
        return false;
    }
    return PackagesNameOwnFolders(models, error);
}

} // namespace pavoline::site
