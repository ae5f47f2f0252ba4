#pragma once
// The skin library as the launcher sees it: a skin makes named forms on host windows; a form finds
// its elements by name; elements are driven through these interfaces. Notifications reach the host
// window as numbered messages: WM_SKIN_CLICK (wParam = the element), WM_SKIN_SCROLL (wParam = code
// 0..5, lParam = position), WM_SKIN_SELCHANGE and WM_SKIN_POPUP (wParam = the combo box) and
// WM_SKIN_LISTITEM (wParam = address of a SkinListItemNotify).
//
// The library is loaded by name at run time; its two entry points are extern "C".

#include <QString>

#include <functional>

class QWidget;

namespace directui {

class IScrollBar;
class IComboBox;
class IList;
class IProgressBar;
class IHost;

class ISkinElement {
public:
    virtual ~ISkinElement() = default;
    virtual QString Name() const = 0;
    virtual void SetVisible(int visible) = 0; // -1 shows, 0 hides
    virtual bool IsVisible() const = 0;
    virtual void SetText(const QString& text) = 0;
    virtual QString GetText() const = 0;
    virtual void SetStateImage(int slot, const QString& path) = 0;
    virtual void SetTip(const QString& tip) = 0; // shown when the pointer rests on it
    // Horizontal offset from the position the form gives the element.
    virtual int GetLayoutOffset() const = 0;
    virtual void SetLayoutOffset(int dx) = 0;
    virtual void Enable(bool enable) = 0;
    virtual bool IsEnabled() const = 0;
    virtual void SetCheck(bool checked) = 0; // check boxes and tab buttons
    virtual bool GetCheck() const = 0;
    virtual void Relayout() = 0;             // containers: place the children again
    virtual void Update() = 0;               // repaint
    // The element's kind-specific side, or a stand-in that does nothing.
    virtual IScrollBar* AsScrollBar() = 0;
    virtual IComboBox* AsComboBox() = 0;
    virtual IList* AsList() = 0;
    virtual IProgressBar* AsProgressBar() = 0;
    virtual IHost* AsHost() = 0;
    virtual QWidget* Widget() = 0; // nullptr for an unknown element
};

struct ScrollInfo {
    int min = 0, max = 0, page = 0, pos = 0;
    bool disableNoScroll = false; // disable rather than hide when nothing can scroll
};

// Scroll codes of WM_SKIN_SCROLL.
enum ScrollCode { kScrollLineBack = 0, kScrollLineOn = 1, kScrollPageBack = 2, kScrollPageOn = 3,
                  kScrollThumbReleased = 4, kScrollThumbMoving = 5 };

class IScrollBar {
public:
    virtual ~IScrollBar() = default;
    virtual void SetScrollInfo(const ScrollInfo& info, bool redraw) = 0;
    virtual void SetScrollPos(int pos, bool redraw) = 0;
    virtual int GetScrollPos() const = 0;
};

class IComboBox {
public:
    virtual ~IComboBox() = default;
    virtual void Empty() = 0;
    virtual void AddString(const QString& text) = 0;
    virtual void SetCurSel(int index) = 0;
    virtual int GetCurSel() const = 0;
    virtual QString GetItemText(int index) const = 0;
    virtual int GetCount() const = 0;
    virtual void ClosePopup() = 0;
};

class IListRow {
public:
    virtual ~IListRow() = default;
    virtual int Index() const = 0;
    // A part of the row by the name it has in the row template.
    virtual ISkinElement* Part(const QString& name) = 0;
    virtual int PartCount() const = 0;
    virtual ISkinElement* PartAt(int index) = 0;
};

constexpr int kListItemClicked = 11;
struct SkinListItemNotify {
    int code = kListItemClicked;
    IList* list = nullptr;
    int row = -1;
    QString part;
};

// A list costs what it shows: widgets exist only for the rows in view, taken from a few kept for
// the purpose as the list scrolls, so a part's Widget() is nullptr while its row is out of view.
// A row's parts keep what was set on them (text, picture, ticks) whether in view or not.
class IList {
public:
    virtual ~IList() = default;
    virtual void RemoveAll() = 0;
    virtual IListRow* AddRow(const QString& rowTemplate) = 0; // nullptr for an unknown template
    // Replaces the rows by count rows of one template, each made when it is first needed (scrolled
    // into view or asked for by Row): fill sets its parts then. False for an unknown template.
    virtual bool SetRows(const QString& rowTemplate, int count, std::function<void(IListRow*)> fill) = 0;
    virtual int RowCount() const = 0;
    virtual IListRow* Row(int index) = 0;
    // The row if it has been made, else nullptr: a row never made was never seen nor changed.
    virtual IListRow* MadeRow(int index) = 0;
    virtual void ScrollToRow(int index) = 0; // the least scrolling that shows the whole row
    virtual void Redraw() = 0;
};

class IProgressBar {
public:
    virtual ~IProgressBar() = default;
    virtual void SetRange(int low, int high) = 0;
    // May be called from any thread; the change is carried to the UI thread.
    virtual void SetPos(int pos) = 0;
    virtual int GetPos() const = 0;
    virtual void SetTextVisible(bool visible) = 0;
    // The look of the busy bar: a style (2: a block sweeping across) and its step in milliseconds.
    virtual void SetDisplaySettings(int style, int stepMs) = 0;
    virtual void StartBusy() = 0; // a moving bar while the amount of work is unknown
};

class IHost {
public:
    virtual ~IHost() = default;
    virtual void Empty() = 0;
    virtual QWidget* TakeWindow() = 0;        // the window it held, now without a parent
    virtual void PutWindow(QWidget* window) = 0;
    virtual void Show() = 0;
};

class ISkinForm {
public:
    virtual ~ISkinForm() = default;
    // Never nullptr: an unknown name gives an element that does nothing (and says so once).
    virtual ISkinElement* FindElement(const QString& name, int flags = 90000) = 0;
    virtual QWidget* Root() = 0;
};

class ISkin {
public:
    virtual ~ISkin() = default;
    // The host must be a window that receives numbered messages; the form fills it.
    virtual ISkinForm* CreateForm(const QString& formName, QWidget* host) = 0;
};

} // namespace directui

#define DIRECTUI_EXPORT __attribute__((visibility("default")))

extern "C" {
typedef directui::ISkin* (*OpenSkinWFunction)(const wchar_t* description, const wchar_t* skin, int, int, int);
typedef void (*FreeSkinFunction)();
DIRECTUI_EXPORT directui::ISkin* OpenSkinW(const wchar_t* description, const wchar_t* skin, int, int, int);
DIRECTUI_EXPORT void FreeSkin();
}
