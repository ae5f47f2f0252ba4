#pragma once
// The contract between the launcher and a model plug-in (Resource/<model>/<model>.so): what every
// plug-in exports and the messages it may send. Host and plug-in share the framework library, so
// strings are QStrings and the creation context is the framework's; a plug-in builds against the
// framework alone.
//
// Messages a plug-in may send:
//   to the main window (SendToAppMainWindow):
//     WM_SWITCH_MODE  wParam 0, lParam 1 when the editor was maximised: back to the phone list
//     WM_SWITCH_MODE  wParam 1, lParam the address of a QString model name: open that editor
//     WM_SHOW_HELP    open the current model's help
//   to its frame (the view's parent, CCreateContext::m_pCurrentFrame), which passes them on:
//     WM_COMMAND      wParam ID_APP_ABOUT (the about box), ID_APP_EXIT (end the launcher the normal
//                     way, the editor's view closed first) or ID_HELP (as WM_SHOW_HELP)

#include "creation_context.h"
#include "message_window.h"

#include <QString>

namespace pavoline {

constexpr UINT WM_COMMAND = 0x0111;
constexpr WPARAM ID_APP_ABOUT = 0xE140;
constexpr WPARAM ID_APP_EXIT = 0xE141;
constexpr WPARAM ID_HELP = 0xE146;

inline bool IsForwardedCommand(WPARAM id) { return id == ID_APP_ABOUT || id == ID_APP_EXIT || id == ID_HELP; }

// 0 when there is no main window that takes messages.
inline LRESULT SendToAppMainWindow(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return sendMessage(dynamic_cast<MessageWindow*>(AppMainWindow()), message, wParam, lParam);
}

} // namespace pavoline

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
