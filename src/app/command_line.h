#pragma once

#include <QString>
#include <QStringList>

namespace tarvex {

// What the command line asks for: tarvex [-h|--help] [--version] [--] [FILE|FOLDER].
struct CommandLine {
  enum class Action { Run, Help, Version, Error };
  Action action = Action::Run;
  // The file to show or the folder to open; empty: none (the working folder opens).
  QString target;
  // For Action::Error: the one line that says what is wrong.
  QString error;
};

// Reads the arguments after the program's name, left to right: the first of --help (or -h),
// --version and an unknown option decides. After "--" every argument is a name, so a file whose
// name begins with "-" can be given. More than one name is an error.
CommandLine parse_command_line(const QStringList& arguments);

// The usage, in Japanese, as --help prints it and as an error is followed by it.
QString usage_text();

// The one line said on standard error when there is no display to open the window on.
QString no_display_text();

}  // namespace tarvex
