#pragma once
// What every model plug-in (Resource/<model>/<model>.so) exports. Host and plug-in share the
// framework library, so strings are QStrings and the creation context is the framework's.

#include "creation_context.h"

#include <QString>

extern "C" {
// Arguments in order: program folder, a string, a byte, two strings (the plug-in's own use), the
// model name, the plug-in file's full path, the program's file name, whether the launcher is
// maximised, and 0.
typedef void (*PavolineMainPhoneSuiteFunction)(QString* programFolder, QString* text2, unsigned char* flag3,
                                               QString* text4, QString* text5, QString* model, QString* pluginPath,
                                               QString* programFile, unsigned char maximized, int zero);
// Fills the context so that its new-view class is the plug-in's view class.
typedef void (*GetFrameFunction)(pavoline::CCreateContext* context);
}
