#pragma once
// The suite's version, "%d.%d.%d.%d" of its four numbers. It is compiled into each program on its
// own (suite_version.cpp), so one build can make a launcher of the next version from the same code.

const char* SuiteVersionText();
