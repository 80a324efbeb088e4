// Where the documentation that ships with the program is: beside the installed program, or in
// the source tree when the program runs from its build folder.
#pragma once

#include <QString>
#include <QUrl>

namespace quillon::ui {

// The page's file ("gateway.md", "usage.md", "README.md"); empty when it is nowhere to be found.
QString DocFile(const QString& page);
QUrl DocUrl(const QString& page);

}  // namespace quillon::ui
