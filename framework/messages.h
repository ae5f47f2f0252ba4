#pragma once
// The launcher's numbered window messages. The numbers are the system's and never change.

#include <cstdint>

namespace pavoline {

using UINT = unsigned int;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;

constexpr UINT WM_CLOSE = 0x0010;  // a window: close (a tip: end it)
constexpr UINT WM_USER = 1024;

constexpr UINT WM_SKIN_CLICK = WM_USER + 4;  // 1028: a skin element was clicked, wParam = the element
constexpr UINT WM_SHOW_PHONESELECT = 2025;   // main view: show the phone selection page
constexpr UINT WM_SHOW_MODELMANAGE = 2026;   // main view: show the model manager
constexpr UINT WM_MODELS_CHANGED = 2027;     // model manager: models were installed or uninstalled
constexpr UINT WM_RELOAD_INSTALLED = 2028;   // main frame: record a list of models as installed
constexpr UINT WM_SWITCH_MODE = 2029;        // main frame: 1 open the editor of model lParam, 0 back
constexpr UINT WM_NEWVERSION = 2030;         // main view: result of an update check
constexpr UINT WM_RUN_UPDATE = 2031;         // main frame: the update button was pressed
constexpr UINT WM_SHOW_HELP = 2032;          // main frame: open the current model's help
constexpr UINT WM_SHOW_CONNECTING = 2035;    // model manager: show the wait notice
constexpr UINT WM_CHECK_CHANGED = 2044;      // all-models page: whether any row is ticked
constexpr UINT WM_TIP_UPDATE = 2045;         // open tip dialog: replace its text
constexpr UINT WM_SKIN_POPUP = 2823;         // a skin combo box's popup list was opened
constexpr UINT WM_SKIN_SELCHANGE = 2829;     // a skin combo box's selection changed
constexpr UINT WM_SKIN_SCROLL = 2944;        // skin scroll bar moved: wParam code 0..5, lParam position
constexpr UINT WM_SKIN_LISTITEM = 3200;      // a part of a skin list row was clicked, wParam = record

} // namespace pavoline
