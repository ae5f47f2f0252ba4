#pragma once
// The updater's pictures, drawn into its own folder.

#include <QString>

int MakeUpdaterPictures(const QString& dir);
