#include "takeout/sidecarnames.h"

#include <QRegularExpression>

namespace {

const QString& SupplementalSuffix()
{
    static const QString suffix = QStringLiteral(".supplemental-metadata");
    return suffix;
}

const QString& JsonExtension()
{
    static const QString ext = QStringLiteral(".json");
    return ext;
}

QString FileNameOf(const QString& path)
{
    return path.section(QLatin1Char('/'), -1);
}

// A picture's name with its "(N)" counter taken out: "IMG_1234(1).JPG" -> {"IMG_1234.JPG", "(1)"}. The
// counter sits just before the extension (or at the end of a name without one).
bool SplitCounter(const QString& name, QString& base, QString& counter)
{
    static const QRegularExpression re(QStringLiteral("^(.+?)(\\(\\d{1,4}\\))(\\.[^.()]*)?$"));
    const QRegularExpressionMatch m = re.match(name);
    if (!m.hasMatch())
        return false;
    base = m.captured(1) + m.captured(3);
    counter = m.captured(2);
    return true;
}

// The original's name of an edited copy: "IMG_1234-edited.JPG" -> "IMG_1234.JPG"; empty when the name
// carries no such suffix.
QString WithoutEditedSuffix(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (const QString& suffix : EditedCopySuffixes()) {
        if (stem.size() > suffix.size() && stem.endsWith(suffix, Qt::CaseInsensitive))
            return stem.left(stem.size() - suffix.size()) + ext;
    }
    return QString();
}

// Every name the sidecar of a picture called base may have, before its counter and ".json".
void AddStems(const QString& base, const QString& counter, QStringList& out)
{
    auto add = [&](const QString& stem) {
        const QString name = stem + counter + JsonExtension();
        if (!stem.isEmpty() && !out.contains(name, Qt::CaseInsensitive))
            out << name;
    };
    const QString full = base + SupplementalSuffix();
    add(full);
    add(base);
    // The suffix cut anywhere, longest first; cutting after the dot leaves "IMG.JPG..json".
    for (qsizetype n = full.size() - 1; n > base.size(); --n)
        add(full.left(n));
    // The name cut at a limit: the picture's own name is shortened when it does not fit.
    for (int limit : SidecarTitleLimits()) {
        if (base.size() > limit)
            add(base.left(limit));
    }
    // Early exports named the sidecar after the picture without its extension.
    const qsizetype dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0)
        add(base.left(dot));
}

} // namespace

const QList<int>& SidecarTitleLimits()
{
    // 46 characters and ".json" make Google's classic 51; newer exports cut the name at 51 itself.
    static const QList<int> limits{46, 51};
    return limits;
}

const QStringList& EditedCopySuffixes()
{
    static const QStringList suffixes{
        QStringLiteral("-edited"),     QStringLiteral("-bearbeitet"), QStringLiteral("-modifié"),
        QStringLiteral("-modificato"), QStringLiteral("-editado"),    QStringLiteral("-bewerkt"),
        QStringLiteral("-redigerad"),  QStringLiteral("-redigeret"),  QStringLiteral("-muokattu"),
        QStringLiteral("-edytowane"),  QStringLiteral("-upravené"),   QStringLiteral("-編集済み"),
    };
    return suffixes;
}

bool IsSidecarName(const QString& name)
{
    return name.size() > JsonExtension().size() && name.endsWith(JsonExtension(), Qt::CaseInsensitive);
}

QStringList SidecarCandidates(const QString& pictureName)
{
    QStringList out;
    const QString name = FileNameOf(pictureName);
    if (name.isEmpty())
        return out;
    AddStems(name, QString(), out);
    QString base, counter;
    const bool counted = SplitCounter(name, base, counter);
    if (counted)
        AddStems(base, counter, out);
    const QString original = WithoutEditedSuffix(counted ? base : name);
    if (!original.isEmpty())
        AddStems(original, counted ? counter : QString(), out);
    return out;
}

bool SidecarBelongsTo(const QString& sidecarName, const QString& pictureName)
{
    const QString name = FileNameOf(sidecarName);
    return IsSidecarName(name) && SidecarCandidates(pictureName).contains(name, Qt::CaseInsensitive);
}
