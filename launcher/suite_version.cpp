#include "suite_version.h"

const char* SuiteVersionText() { return PAVOLINE_SUITE_VERSION; }
