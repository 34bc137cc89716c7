#include "cli/help.h"

#include "cli/settingvalues.h"

#include <QCommandLineOption>

namespace zelvano::cli {

namespace {

// ---- The text -------------------------------------------------------------------------------------------

const char* const kProgramSynopsis[] = {"--help | --version | --man"};

const char* const kProgramDescription[] = {
    "zelvano-cli finds the ZIP and RAR archives that hold pictures in a folder tree and unpacks their pictures "
    "where they belong: into the archive's own folder or into a new folder named after it, chosen per archive by "
    "Smart Extraction. It runs the same scan and unpack as the desktop program, with the options of the same "
    "settings files (~/.local/share/ZLV/ZelvanoSettings.dat, and beside it ZelvanoOptions.ini).",
    "Run zelvano-cli COMMAND --help for one command.",
};

const OptionDoc kProgramOptions[] = {
    {"version", nullptr, "Prints the version."},
    {"man", nullptr, "Prints the manual page of zelvano-cli (roff), the text man zelvano-cli shows."},
};

const char* const kSettingsSynopsis[] = {"settings", "settings get NAME", "settings set NAME VALUE"};
const char* const kSettingsDescription[] = {
    "Without get or set: runs the start-up settings steps of the desktop program (creates the data folder and its "
    "Temp folder, loads the settings file, saves it again), then prints the settings file's path and every stored "
    "field in file order as name = value, the ignore words derived from m_strIgnoreFolderNames, and "
    "the options of ZelvanoOptions.ini (deleteOtherFiles, exportDetection, zipNameEncoding).",
    "get NAME prints the value of one of those names (a list one entry per line); set NAME VALUE checks VALUE, "
    "stores it in its file and prints the new name = value, so every setting can be changed without "
    "the window.",
};
const char* const kSettingsTopics[] = {"values"};
const ExitDoc kSettingsExits[] = {
    {0, "Done."},
    {1, "The data folder could not be created, or the settings could not be saved."},
    {2, "Bad arguments, an unknown NAME, or a VALUE that is not allowed (nothing is written)."},
};

const char* const kScanSynopsis[] = {
    "scan [--report FILE] [--json] [--name-encoding NAME] [--password-file FILE] FOLDER"};
const char* const kScanDescription[] = {
    "Searches FOLDER and every folder below it for ZIP and RAR archives that hold pictures, with the image "
    "types, extra extensions and ignore words of the settings, and prints the summary of the scan report and one "
    "line per photo archive with what Smart Extraction decided for it. Archives that do not open, archives "
    "without pictures, and what the scan met but did not take (links leading out of FOLDER, trash folders, "
    "names that are not valid UTF-8, files that are not regular files) are counted and named. Nothing is "
    "written. A live status line shows on stderr when stderr is a terminal.",
};
const OptionDoc kScanOptions[] = {
    {"report", "FILE", "Also writes the scan report to FILE, replacing it."},
    {"json", nullptr, "Prints one JSON document instead of the text."},
    {"name-encoding", "NAME",
     "The code page of ZIP entry names stored without the UTF-8 flag: CP437, CP850, CP866, CP1251, CP1252, "
     "Shift_JIS, GBK, Big5 or EUC-KR. Without it the settings' ZipNameEncoding option decides, and when that is "
     "empty each archive's names tell (a name's Unicode Path field and UTF-8 come first)."},
    {"password-file", "FILE",
     "Passwords for RAR archives whose names are encrypted, one per line of FILE (read as UTF-8; empty lines "
     "skipped). Such an archive is listed when one of them opens it, else it is invalid with Encrypted: no "
     "password. Passwords are never taken on the command line and never printed."},
};
const char* const kScanTopics[] = {"smart"};
const ExitDoc kScanExits[] = {
    {0, "The scan is done."},
    {1, "The report could not be written."},
    {2, "Bad arguments (an unknown --name-encoding or an unreadable --password-file too), or FOLDER is not a "
        "folder."},
    {130, "Stopped with Ctrl-C."},
};

const char* const kUnpackSynopsis[] = {
    "unpack [--mode smart|here|folder] [--validate 1|2|3] [--overwrite|--skip-existing] [--rename|--no-rename] "
    "[--case title|lower|upper] [--delete none|trash|permanent] [--when each|all] [--delete-other-files] [--yes] "
    "[--no-export-detection] [--report FILE] [--json] [--name-encoding NAME] [--password-file FILE] PATH...",
};
const char* const kUnpackDescription[] = {
    "Scans each PATH, a folder as scan does or a single ZIP or RAR archive by itself, then unpacks every photo "
    "archive found, all with the same rules: an archive given by name is examined, unpacked and deleted exactly "
    "as if the scan of its folder had found it, and an archive found twice is unpacked once. Only the pictures "
    "(the image types and extra extensions of the settings) are written. It prints the summary of the unpack report, "
    "the entries that "
    "failed with their reasons, each archive deleted or kept (Deleted (trash): PATH, Deleted (permanently): PATH, "
    "Kept: PATH: REASON), and what the scan did not take (Not taken: PATH: REASON).",
    "An option not given takes its value from the settings (see zelvano-cli settings). Options apply to this "
    "run only and are never saved.",
};
const OptionDoc kUnpackOptions[] = {
    {"mode", "smart|here|folder",
     "Where the pictures of each archive go: smart lets Smart Extraction decide per archive, here puts them into "
     "the folder the archive lies in, folder into a new folder named after the archive."},
    {"validate", "1|2|3",
     "How each written picture is proven before it takes its name: 1 it exists, 2 and its size matches, 3 and it "
     "loads as a picture."},
    {"overwrite", nullptr, "Replaces a picture that already exists, only by a file that passed validation."},
    {"skip-existing", nullptr,
     "Keeps a picture that already exists: a file of the entry's size and CRC-32 stands for it (a verified "
     "duplicate), a different file makes the entry fail."},
    {"rename", nullptr,
     "Names the new folder after the archive in the case of --case; with here, a single top folder inside the "
     "archive named like the archive gets that name too."},
    {"no-rename", nullptr, "Names the new folder exactly like the archive, without a change of case."},
    {"case", "title|lower|upper", "The case of a renamed folder: Title Case, lower case or UPPER CASE."},
    {"delete", "none|trash|permanent",
     "What becomes of an archive whose every entry is accounted for: nothing, moved to the trash, or deleted "
     "permanently."},
    {"when", "each|all",
     "Deletes each archive right after it is unpacked, or all of them at the end of the run after one question."},
    {"delete-other-files", nullptr,
     "Also deletes archives that hold other files (videos, documents, sidecars), which are never unpacked."},
    {"no-export-detection", nullptr,
     "Unpacks Google Takeout parts (takeout-<timestamp>-NNN.zip) like any other archive: each on its own, "
     "without the JSON sidecars and without the dates they give the pictures."},
    {"yes", nullptr,
     "Answers Yes to every delete question. Without a terminal and without --yes nothing is deleted, unless "
     "the settings turn the question off."},
    {"report", "FILE", "Also writes the unpack report to FILE, replacing it."},
    {"json", nullptr,
     "Prints one JSON document instead of the text, with each archive's figures, failed entries, kept reason "
     "and deletion, and what the scan did not take."},
    {"name-encoding", "NAME",
     "The code page of ZIP entry names stored without the UTF-8 flag: CP437, CP850, CP866, CP1251, CP1252, "
     "Shift_JIS, GBK, Big5 or EUC-KR. Without it the settings' ZipNameEncoding option decides, and when that is "
     "empty each archive's names tell (a name's Unicode Path field and UTF-8 come first)."},
    {"password-file", "FILE",
     "Passwords for encrypted archives, one per line of FILE (read as UTF-8; empty lines skipped). Each "
     "encrypted archive is tried with them, the one that opened the last archive first; an archive none of them "
     "opens keeps its encrypted entries, which fail with Encrypted: no password. Passwords are never taken on the "
     "command line and never printed."},
};
const char* const kUnpackTopics[] = {"smart", "validation", "deletion"};
const ExitDoc kUnpackExits[] = {
    {0, "Every archive was unpacked without a failed entry."},
    {1, "Some entries failed, an archive could not be deleted, or the report could not be written."},
    {2, "Bad arguments (an unknown --name-encoding or an unreadable --password-file too), or a PATH that is "
        "neither a folder nor a ZIP or RAR archive."},
    {3, "Not enough free disk space to start, or the run was cancelled from a delete question."},
    {130, "Stopped with Ctrl-C: the current entry finishes, nothing more is written or deleted, and the summary of "
          "what was done is still printed (and the report written when asked for)."},
};

const CommandDoc kCommands[] = {
    {"settings", kSettingsSynopsis, kSettingsDescription, {}, kSettingsTopics, kSettingsExits},
    {"scan", kScanSynopsis, kScanDescription, kScanOptions, kScanTopics, kScanExits},
    {"unpack", kUnpackSynopsis, kUnpackDescription, kUnpackOptions, kUnpackTopics, kUnpackExits},
};

const char* const kSmartParagraphs[] = {
    "Smart Extraction decides for each archive, from the names alone, whether its pictures go into the folder "
    "it lies in or into a new folder named after it:",
    "- An archive that holds folders is extracted into its own folder when a word of one of those folders "
    "appears in the archive's path (its name or a folder above it): its folders already say what the pictures "
    "are.",
    "- An archive without folders is extracted into its own folder when its name contains the name of the "
    "folder it lies in, or one of that folder's words.",
    "- Any other archive is extracted into a new folder named after it (see --rename and --case).",
    "Words are three or more characters long and compared without regard to case; the ignore words of the "
    "settings (m_strIgnoreFolderNames: pic, medium, large, photo, set, small, premium, standard, wallpaper by "
    "default) never count. The scan shows the decision of each archive; --mode here or folder overrides it.",
};

const char* const kValidationParagraphs[] = {
    "Every entry is written to a hidden temporary file beside its destination (.zelvano-PID-N.partial) and takes "
    "its final name by a rename only when it passes: the extraction reported no error (its CRC-32 matched), its "
    "size equals the size the archive lists, and it passed the validation level. A failed entry leaves nothing "
    "behind, and an existing picture is replaced only by such a proven file. The levels:",
    "- 1: the picture exists.",
    "- 2: it exists and its size matches the size the archive lists.",
    "- 3: it exists, its size matches and it loads as a picture.",
};

const char* const kDeletionParagraphs[] = {
    "With --delete trash or permanent, an archive is deleted only when every entry is accounted for: extracted "
    "and verified, a verified duplicate of a file already there, a folder, or known junk (entries below a "
    "top-level __MACOSX/, .DS_Store, Thumbs.db, desktop.ini, and ._name companions of an entry name).",
    "Other files (videos, sidecars, documents) keep the archive unless --delete-other-files. Just before the "
    "deletion the archive must still be the very file that was unpacked (device, inode, size, modification "
    "time), and its pictures are flushed to disk first.",
    "The archive goes to the trash or is deleted permanently, after each archive (--when each) or at the end "
    "of the run (--when all). On a terminal a question is asked: y Yes, e Yes to All, n No, o No to All, "
    "c Cancel (the run ends). Without a terminal and without --yes the answer is No. Every archive that stays "
    "says why (Kept: PATH: REASON); a deletion that fails is reported.",
};

const char* const kValuesParagraphs[] = {
    "The values settings set accepts:",
    "- Flags (the names that start with m_b, deleteOtherFiles and exportDetection): 0 off, 1 on.",
    "- Choices: only the numbers listed below.",
    "- Other numbers (widths, window size): whole numbers from 0 up; the reserved fields any whole number.",
    "- Texts: any text. Setting m_strIgnoreFolderNames also remakes the ignore words.",
    "- m_arrSourceHistory: folders separated by ';', kept sorted and each once (loading adds My Pictures).",
    "- zipNameEncoding: empty (found per archive), CP437, CP850, CP866, CP1251, CP1252, Shift_JIS, GBK, Big5, EUC-KR.",
    "- m_nVersion, m_strSignature and m_arrIgnoreFolderNames are written by the program and cannot be set.",
    "A value that is not allowed is refused with the allowed ones. The choices:",
};

const TopicDoc kTopics[] = {
    {"smart", "Smart Extraction", kSmartParagraphs},
    {"validation", "Validation", kValidationParagraphs},
    {"deletion", "Deletion", kDeletionParagraphs},
    {"values", "Setting values", kValuesParagraphs, SettingValueLines},
};

// The paragraphs of a topic with its generated items.
QStringList TopicParagraphs(const TopicDoc& topic)
{
    QStringList paragraphs;
    for (const char* paragraph : topic.paragraphs)
        paragraphs << QString::fromUtf8(paragraph);
    if (topic.items) {
        for (const QString& item : topic.items())
            paragraphs << QStringLiteral("- ") + item;
    }
    return paragraphs;
}

QStringList Paragraphs(std::span<const char* const> paragraphs)
{
    QStringList list;
    for (const char* paragraph : paragraphs)
        list << QString::fromUtf8(paragraph);
    return list;
}

// ---- Plain text ---------------------------------------------------------------------------------------------

constexpr int kWidth = 79;
constexpr QChar kNoBreak(0x00A0);

// Words of text on lines of at most kWidth columns; the first line starts with first, the others with rest.
QString Wrap(const QString& text, const QString& first, const QString& rest)
{
    QString result;
    QString line = first;
    bool empty = true;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!empty && line.size() + 1 + word.size() > kWidth) {
            result += line + QLatin1Char('\n');
            line = rest;
            empty = true;
        }
        if (!empty)
            line += QLatin1Char(' ');
        line += word;
        empty = false;
    }
    result += line + QLatin1Char('\n');
    return result.replace(kNoBreak, QLatin1Char(' '));
}

QString OptionLabel(const OptionDoc& option)
{
    QString label = QStringLiteral("--") + QLatin1String(option.name);
    if (option.valueName)
        label += QLatin1Char(' ') + QLatin1String(option.valueName);
    return label;
}

const OptionDoc kHelpOption = {"help", nullptr, "Shows this help."};

QString OptionsText(std::span<const OptionDoc> options)
{
    QString text = QStringLiteral("Options:\n");
    const auto add = [&](const OptionDoc& option, const QString& label) {
        text += QStringLiteral("  ") + label + QLatin1Char('\n');
        text += Wrap(QLatin1String(option.text), QStringLiteral("        "), QStringLiteral("        "));
    };
    add(kHelpOption, QStringLiteral("-h, --help"));
    for (const OptionDoc& option : options)
        add(option, OptionLabel(option));
    return text;
}

QString ParagraphsText(const QStringList& paragraphs, const QString& indent)
{
    QString text;
    for (const QString& p : paragraphs) {
        if (p.startsWith(QLatin1String("- "))) {
            text += Wrap(p.mid(2), indent + QStringLiteral("- "), indent + QStringLiteral("  "));
            continue;
        }
        if (!text.isEmpty())
            text += QLatin1Char('\n');
        text += Wrap(p, indent, indent);
    }
    return text;
}

const TopicDoc* FindTopic(const char* id)
{
    for (const TopicDoc& topic : kTopics) {
        if (qstrcmp(topic.id, id) == 0)
            return &topic;
    }
    return nullptr;
}

QString TopicText(const TopicDoc& topic)
{
    return QLatin1String(topic.title) + QStringLiteral(":\n") +
           ParagraphsText(TopicParagraphs(topic), QStringLiteral("  "));
}

QString ExitsText(std::span<const ExitDoc> exits, const QString& indent)
{
    QString text;
    for (const ExitDoc& exit : exits) {
        const QString code = QString::number(exit.code).leftJustified(5);
        text += Wrap(QLatin1String(exit.text), indent + code, indent + QStringLiteral("     "));
    }
    return text;
}

QString UsageLines(const QString& first, std::span<const char* const> synopsis)
{
    QString text;
    for (const char* form : synopsis) {
        const QString lead = text.isEmpty() ? first : QString(first.size(), QLatin1Char(' '));
        const QString command = QStringLiteral("zelvano-cli ");
        // Continuation lines line up under the command's first argument.
        const QString head = QString::fromUtf8(form).section(QLatin1Char(' '), 0, 0);
        const QString indent(lead.size() + command.size() + head.size() + 1, QLatin1Char(' '));
        // An option with its value stays on one line: spaces within brackets do not break.
        QString joined = command + QString::fromUtf8(form);
        int depth = 0;
        for (QChar& c : joined) {
            depth += c == QLatin1Char('[') ? 1 : c == QLatin1Char(']') ? -1 : 0;
            if (depth > 0 && c == QLatin1Char(' '))
                c = kNoBreak;
        }
        text += Wrap(joined, lead, indent);
    }
    return text;
}

// ---- roff ---------------------------------------------------------------------------------------------------

QString Roff(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\e");
        else if (c == QLatin1Char('-'))
            out += QStringLiteral("\\-");
        else if (c == kNoBreak)
            out += QStringLiteral("\\ ");
        else
            out += c;
    }
    if (out.startsWith(QLatin1Char('.')) || out.startsWith(QLatin1Char('\'')))
        out.prepend(QStringLiteral("\\&"));
    return out;
}

QString Roff(const char* text)
{
    return Roff(QString::fromUtf8(text));
}

QString RoffParagraphs(const QStringList& paragraphs)
{
    QString text;
    for (const QString& p : paragraphs) {
        if (p.startsWith(QLatin1String("- ")))
            text += QStringLiteral(".IP \\(bu 2\n") + Roff(p.mid(2)) + QLatin1Char('\n');
        else
            text += QStringLiteral(".PP\n") + Roff(p) + QLatin1Char('\n');
    }
    return text;
}

QString RoffOption(const OptionDoc& option)
{
    QString text = QStringLiteral(".TP\n\\fB\\-\\-") + Roff(option.name) + QStringLiteral("\\fR");
    if (option.valueName)
        text += QStringLiteral(" \\fI") + Roff(option.valueName) + QStringLiteral("\\fR");
    return text + QLatin1Char('\n') + Roff(option.text) + QLatin1Char('\n');
}

QString RoffExits(std::span<const ExitDoc> exits)
{
    QString text;
    for (const ExitDoc& exit : exits)
        text += QStringLiteral(".TP\n.B %1\n").arg(exit.code) + Roff(exit.text) + QLatin1Char('\n');
    return text;
}

} // namespace

std::span<const CommandDoc> CommandDocs()
{
    return kCommands;
}

std::span<const TopicDoc> TopicDocs()
{
    return kTopics;
}

const CommandDoc* FindCommandDoc(const QString& name)
{
    for (const CommandDoc& command : kCommands) {
        if (name == QLatin1String(command.name))
            return &command;
    }
    return nullptr;
}

QString UsageText(const CommandDoc& command)
{
    return UsageLines(QStringLiteral("Usage: "), command.synopsis);
}

QString SynopsisText(const CommandDoc& command)
{
    return UsageText(command).mid(int(qstrlen("Usage: "))).chopped(1);
}

QString CommandHelpText(const CommandDoc& command)
{
    QString text = UsageText(command) + QLatin1Char('\n');
    text += ParagraphsText(Paragraphs(command.description), QString()) + QLatin1Char('\n');
    text += OptionsText(command.options);
    for (const char* id : command.topics) {
        if (const TopicDoc* topic = FindTopic(id))
            text += QLatin1Char('\n') + TopicText(*topic);
    }
    text += QStringLiteral("\nExit status:\n") + ExitsText(command.exits, QStringLiteral("  "));
    return text;
}

QString ProgramHelpText()
{
    QString text = UsageLines(QStringLiteral("Usage: "), kProgramSynopsis);
    for (const CommandDoc& command : kCommands)
        text += UsageLines(QStringLiteral("       "), command.synopsis);
    text += QLatin1Char('\n') + ParagraphsText(Paragraphs(kProgramDescription), QString()) + QLatin1Char('\n');
    text += OptionsText(kProgramOptions);
    for (const CommandDoc& command : kCommands) {
        text += QStringLiteral("\nzelvano-cli %1\n").arg(QLatin1String(command.name));
        text += ParagraphsText(Paragraphs(command.description), QStringLiteral("  "));
        QString options;
        for (const OptionDoc& option : command.options) {
            options += QStringLiteral("    ") + OptionLabel(option) + QLatin1Char('\n');
            options += Wrap(QLatin1String(option.text), QStringLiteral("          "), QStringLiteral("          "));
        }
        if (!options.isEmpty())
            text += QStringLiteral("  Options:\n") + options;
        text += QStringLiteral("  Exit status:\n") + ExitsText(command.exits, QStringLiteral("    "));
    }
    for (const TopicDoc& topic : kTopics)
        text += QLatin1Char('\n') + TopicText(topic);
    return text;
}

QString ManPageText()
{
    QString text = QStringLiteral(".TH ZELVANO\\-CLI 1 \"\" \"Zelvano\" \"User Commands\"\n");
    text +=
        QStringLiteral(".SH NAME\nzelvano\\-cli \\- find photo archives in a folder tree and unpack their pictures\n");
    text += QStringLiteral(".SH SYNOPSIS\n");
    // The lines of the plain usage, kept as they are broken there.
    QString usage = UsageLines(QString(), kProgramSynopsis);
    for (const CommandDoc& command : kCommands)
        usage += UsageLines(QString(), command.synopsis);
    text += QStringLiteral(".nf\n") + Roff(usage) + QStringLiteral(".fi\n");
    text += QStringLiteral(".SH DESCRIPTION\n") + RoffParagraphs(Paragraphs(kProgramDescription));
    text += QStringLiteral(".SH OPTIONS\n.TP\n\\fB\\-h\\fR, \\fB\\-\\-help\\fR\n") + Roff(kHelpOption.text) +
            QLatin1Char('\n');
    for (const OptionDoc& option : kProgramOptions)
        text += RoffOption(option);
    text += QStringLiteral(".SH COMMANDS\n");
    for (const CommandDoc& command : kCommands) {
        text += QStringLiteral(".SS %1\n").arg(QLatin1String(command.name)) +
                RoffParagraphs(Paragraphs(command.description));
        for (const OptionDoc& option : command.options)
            text += RoffOption(option);
    }
    for (const TopicDoc& topic : kTopics)
        text += QStringLiteral(".SH ") + Roff(QString::fromUtf8(topic.title).toUpper()) + QLatin1Char('\n') +
                RoffParagraphs(TopicParagraphs(topic));
    text += QStringLiteral(".SH EXIT STATUS\n");
    for (const CommandDoc& command : kCommands)
        text += QStringLiteral(".SS %1\n").arg(QLatin1String(command.name)) + RoffExits(command.exits);
    text +=
        QStringLiteral(".SH FILES\n.TP\n.I ~/.local/share/ZLV/ZelvanoSettings.dat\n") +
        Roff("The settings file of the desktop program, read by every command.") +
        QStringLiteral("\n.TP\n.I ~/.local/share/ZLV/ZelvanoOptions.ini\n") +
        Roff("The options the settings file has no room for (deleteOtherFiles, exportDetection, zipNameEncoding).") +
        QLatin1Char('\n');
    return text;
}

void AddDocumentedOptions(QCommandLineParser& parser, const CommandDoc& command)
{
    parser.addOption(
        QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}, QLatin1String(kHelpOption.text)));
    for (const OptionDoc& option : command.options) {
        if (option.valueName)
            parser.addOption(QCommandLineOption(QLatin1String(option.name), QLatin1String(option.text),
                                                QLatin1String(option.valueName)));
        else
            parser.addOption(QCommandLineOption(QLatin1String(option.name), QLatin1String(option.text)));
    }
}

} // namespace zelvano::cli
