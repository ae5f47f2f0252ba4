#pragma once
// pavoline-thumbnailer -s SIZE INPUT OUTPUT: a PNG thumbnail of a picture (the first frame of a
// sequence) for the file manager, no larger than SIZE on either side and never larger than the
// picture, with the Thumb::URI and Thumb::MTime text of the freedesktop thumbnail rules.

#include <QStringList>

#include <ostream>

namespace pavoline {

// arguments without the program name; why it failed goes to err.
int RunThumbnailer(const QStringList& arguments, std::ostream& err);

} // namespace pavoline
