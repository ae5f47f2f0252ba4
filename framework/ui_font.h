#pragma once
// The faces the suite's windows ask for: the one it was designed with, then CJK faces found on
// Linux. Header-only, so the artwork generator can use it without linking the framework.

#include <QStringList>

namespace pavoline {

inline QStringList UiFontFamilies() {
    return {"微软雅黑", "Microsoft YaHei", "WenQuanYi Micro Hei", "Noto Sans CJK SC", "Noto Sans CJK",
            "Droid Sans Fallback"};
}

} // namespace pavoline
