#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <span>

namespace zelvano::cli {

// The one text that explains zelvano-cli: --help of the program and of each command, the usage lines of
// the error messages, the man page (--man, kept as doc/zelvano-cli.1) and the options the parsers accept
// are all made from these tables, so they cannot tell different stories.

// One option of a command. A flag has no valueName.
struct OptionDoc
{
    const char* name;      // long name, without the dashes
    const char* valueName; // "FILE", "smart|here|folder", ...; nullptr for a flag
    const char* text;      // one sentence or two
};

// One exit status of a command.
struct ExitDoc
{
    int code;
    const char* text;
};

// A topic explained once and referred to by the commands it concerns: paragraphs, where a paragraph that
// starts with "- " is an item of a list.
struct TopicDoc
{
    const char* id; // the command table refers to it by this
    const char* title;
    std::span<const char* const> paragraphs;
    QStringList (*items)() = nullptr; // list items made at run time from another table, after the paragraphs
};

struct CommandDoc
{
    const char* name;
    std::span<const char* const> synopsis; // the forms after "zelvano-cli "
    std::span<const char* const> description;
    std::span<const OptionDoc> options; // --help is added to every command
    std::span<const char* const> topics;
    std::span<const ExitDoc> exits;
};

std::span<const CommandDoc> CommandDocs();
std::span<const TopicDoc> TopicDocs();
// The command of that name, or nullptr.
const CommandDoc* FindCommandDoc(const QString& name);

// "Usage: zelvano-cli unpack [--mode ...] ...": the synopsis lines of the command.
QString UsageText(const CommandDoc& command);
// The same without "Usage: " and the last line break, for texts that put their own "Usage: " before it.
QString SynopsisText(const CommandDoc& command);
// The help of one command: usage, description, options, its topics, exit status.
QString CommandHelpText(const CommandDoc& command);
// The help of the program: every command with its options, every topic, every exit status.
QString ProgramHelpText();
// The man page zelvano-cli(1), in roff.
QString ManPageText();

// Adds the command's documented options (and --help) to the parser.
void AddDocumentedOptions(QCommandLineParser& parser, const CommandDoc& command);

} // namespace zelvano::cli
