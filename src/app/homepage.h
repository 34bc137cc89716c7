#pragma once

#include <QLatin1String>
#include <QString>
#include <QUrl>

// The pages of the product's web site, relative to its home page.
inline constexpr QLatin1String kHomeIndexPage{"Index.php"};
inline constexpr QLatin1String kHomeSupportPage{"Support/Index.php"};
inline constexpr QLatin1String kHomeForumsPage{"Forums/Index.php"};
inline constexpr QLatin1String kHomeProductsPage{"Products.php"};
inline constexpr QLatin1String kHomeUpdateCheckPage{"_checkUpdates.php?Id=Zelvano"};

// The product's home page: the environment variable ZELVANO_HOME_URL when it is set (even to nothing, so a
// test can turn a configured page off), otherwise the one the build was configured with. An empty URL means
// this build has no web site: the web entries are hidden and there is no update server.
QUrl HomePage();

// A page under the home page ("Support/Index.php", or a path with a query); empty without a home page.
// The home page counts as a folder whether or not its address ends in a slash.
QUrl HomePageFile(const QString& path);
