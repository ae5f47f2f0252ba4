#pragma once
// The suite's own Qt plug-ins (the image formats) lie in plugins/ of the suite directory: beside a
// program, or one level up for the updater in Novarel/.

namespace pavoline {

// Adds that folder to the application's library paths; call it once the application exists.
void AddSuitePluginPath();

} // namespace pavoline
