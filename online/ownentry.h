#pragma once

#include <QString>

// The player's own row in the high-score list page: after a posting the
// row holding the name and score just posted is marked, so the player sees
// where the game landed.
namespace online {

// What was posted, as it was sent.
struct OwnEntry {
    QString name;
    QString score;
    bool isEmpty() const { return name.isEmpty() || score.isEmpty(); }
};

// The background a marked row is given.
inline constexpr char kOwnEntryColor[] = "#FFE680";

// Returns `page` with the first table row (<tr> … </tr>) marked in which
// one cell reads exactly the entry's name and another exactly its score;
// cells are compared by their text, with tags dropped, the common entities
// decoded and blanks simplified. The row gets kOwnEntryColor as its
// background and its cells' text in bold; nothing else of the page
// changes. A page without such a row, or an empty entry, is returned as it
// is. Reads the page once from start to end; never grows it by more than a
// few bytes per cell of the marked row.
QString markOwnEntry(const QString &page, const OwnEntry &entry);

} // namespace online
