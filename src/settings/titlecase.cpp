#include "settings/titlecase.h"

#include <QStringList>

namespace {

void UpperFirst(QString& s)
{
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
}

// Splits at sep, capitalises the first character of each non-empty part and joins the parts with spaces.
QString CapitaliseParts(const QString& text, QChar sep)
{
    QStringList parts = text.split(sep, Qt::SkipEmptyParts);
    for (QString& part : parts)
        UpperFirst(part);
    return parts.join(QLatin1Char(' ')).trimmed();
}

} // namespace

QString MakeTitleCase(const QString& text, bool bangToSpace)
{
    QString s = text;
    s.replace(QLatin1String("  "), QLatin1String(" "));

    for (const char c : {'{', '}', '[', ']', '#', '|', '%', '$', '(', ')'})
        s.replace(QLatin1Char(c), QLatin1Char(' '));
    s.replace(QLatin1Char('&'), QLatin1String(" & "));
    s.replace(QLatin1Char('_'), QLatin1Char(' '));
    if (bangToSpace)
        s.replace(QLatin1Char('!'), QLatin1Char(' '));

    // Spaces are the only word separator left now; runs of them give no empty words.
    const QStringList words = s.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString result;
    for (QString word : words) {
        // Short words keep their case (USA stays USA); longer ones are lowered first.
        if (word.size() > 3)
            word = word.toLower();
        UpperFirst(word);
        if (word.size() > 2 && word.startsWith(QLatin1String("Mc")))
            word[2] = word[2].toUpper();
        result += word;
        result += QLatin1Char(' ');
    }
    result = result.trimmed();

    // "$" cannot occur any more (it became a space above), so it safely marks spaced dashes while
    // the remaining hyphens split words.
    result.replace(QLatin1String(" - "), QLatin1String("$"));
    result = CapitaliseParts(result, QLatin1Char('-'));
    result.replace(QLatin1Char('$'), QLatin1String(" - "));

    result = CapitaliseParts(result, QLatin1Char('_'));
    result.replace(QLatin1String("   "), QLatin1String(" "));
    result.replace(QLatin1String("  "), QLatin1String(" "));
    return result.trimmed();
}
