#pragma once
// The publisher's description of the models, one INI section per model:
//
//   [N70]                   the model's name, also the name of its folder
//   family  = N系列          family filter of the all-models page
//   style   = 直板           style filter
//   version = 1.0           copied into the installed file
//   lcdsize = 176x208
//   isbeta  = 0             optional: 1 shows the model only where "test.flag" lies beside the launcher
//   package = N70           optional: offered with that model's package and thumbnail, so it has no
//                           folder of its own (test catalogues: thousands of models from one folder)

#include <string>
#include <vector>

namespace pavoline::site {

struct ModelDescription {
    std::string model, family, style, version, lcdsize;
    bool beta = false;
    std::string package; // the model whose package it shares; empty: its own folder
};

// The models in the order of their sections. False, with the fault in error, for text that is not
// such a description: unreadable lines, a key outside a section or not one of the above, a key given
// twice, a missing key, a value with control characters, a model named twice (letter case ignored),
// a package that names no model of its own folder.
bool ReadModelDescriptions(const std::string& text, std::vector<ModelDescription>& models, std::string& error);

// The key that model names are told apart by in sets: letter case does not count, as in the launcher.
std::string FoldedModelName(std::string name);

// A name that can stand as one folder and one file name part on every system the suite meets.
bool IsPlainModelName(const std::string& name);

} // namespace pavoline::site
