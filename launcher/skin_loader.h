#pragma once
// The skin library, loaded by name at run time: from the program's own directory first, then the
// system's search path. A library or entry point that is missing is never called through.

#include "skin.h"

#include <QLibrary>
#include <QString>

namespace pavoline {

class SkinLoader {
public:
    // False, with the reason in error(), when the library or OpenSkinW cannot be found.
    bool load(const QString& programDir);
    // Opens "Pavoline.dui" and "Default.skn"; nullptr when they cannot be read.
    directui::ISkin* open(const QString& description = "Pavoline.dui", const QString& skin = "Default.skn");
    void free(); // FreeSkin, when the library has it
    const QString& error() const { return error_; }

private:
    QLibrary library_;
    OpenSkinWFunction openSkin_ = nullptr;
    FreeSkinFunction freeSkin_ = nullptr;
    QString error_;
};

// The skin object every page creates its form from (set at start-up).
void SetAppSkin(directui::ISkin* skin);
directui::ISkin* AppSkin();

} // namespace pavoline
