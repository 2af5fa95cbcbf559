#pragma once
// The genre names offered by the save dialog, in their index order.
#include <QStringList>

namespace parvane {

const QStringList& GenreNames();
// The names for the dialog's box: an empty entry, then the names in alphabetical order.
QStringList GenreChoices();

}  // namespace parvane
