#include "skin_loader.h"

#include <QDir>
#include <QFileInfo>

namespace pavoline {

bool SkinLoader::load(const QString& programDir) {
    const QString own = QDir(programDir).filePath("libDirectUI.so");
    library_.setFileName(own);
    if (!library_.load()) {
        // The reason that matters is the one for the program's own copy, when there is one.
        const QString ownError = QFileInfo::exists(own) ? library_.errorString() : QString();
        library_.setFileName("DirectUI"); // the system's search path
        if (!library_.load()) {
            error_ = ownError.isEmpty() ? library_.errorString() : ownError;
            return false;
        }
    }
    openSkin_ = reinterpret_cast<OpenSkinWFunction>(library_.resolve("OpenSkinW"));
    freeSkin_ = reinterpret_cast<FreeSkinFunction>(library_.resolve("FreeSkin"));
    if (!openSkin_) {
        error_ = "OpenSkinW: " + library_.errorString();
        return false;
    }
    return true;
}

directui::ISkin* SkinLoader::open(const QString& description, const QString& skin) {
    if (!openSkin_) return nullptr;
    return openSkin_(reinterpret_cast<const wchar_t*>(description.toStdWString().c_str()),
                     reinterpret_cast<const wchar_t*>(skin.toStdWString().c_str()), 0, 0, 0);
}

void SkinLoader::free() {
    if (freeSkin_) freeSkin_();
}

namespace {
directui::ISkin*& Slot() {
    static directui::ISkin* skin = nullptr;
    return skin;
}
} // namespace

void SetAppSkin(directui::ISkin* skin) { Slot() = skin; }
directui::ISkin* AppSkin() { return Slot(); }

} // namespace pavoline
