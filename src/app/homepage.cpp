#include "app/homepage.h"

#ifndef ZELVANO_HOME_URL
#define ZELVANO_HOME_URL ""
#endif

QUrl HomePage()
{
    const QString text = qEnvironmentVariableIsSet("ZELVANO_HOME_URL") ? qEnvironmentVariable("ZELVANO_HOME_URL")
                                                                       : QString::fromUtf8(ZELVANO_HOME_URL);
    QUrl url(text.trimmed(), QUrl::StrictMode);
    // Only a web address can be opened in a browser or asked for an update.
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != QLatin1String("http") && url.scheme() != QLatin1String("https")))
        return {};
    return url;
}

QUrl HomePageFile(const QString& path)
{
    QUrl base = HomePage();
    if (base.isEmpty())
        return {};
    // Without the slash the last part of the home page's path would be replaced instead of descended into.
    if (!base.path().endsWith(QLatin1Char('/')))
        base.setPath(base.path() + QLatin1Char('/'));
    base.setQuery(QString());
    base.setFragment(QString());
    return base.resolved(QUrl(path));
}
