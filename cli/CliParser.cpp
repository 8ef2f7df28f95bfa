// The command line read with QCommandLineParser against the table of
// commands: the command's own options and the global ones, nothing else.
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>

#include "cli/CliCommandTable.h"
#include "cli/CliCommands.h"

namespace {

const char* const Notes =
    "ADDR, COUNT and LEN are decimal, or hexadecimal with 0x or &H. Device type names\n"
    "match in any case when no name matches exactly.\n"
    "Exit status: 0 done; 1 a target failed (a port ended in a failure, e.g. verify\n"
    "failed); 2 usage error; 3 the command could not be carried out (no programmer\n"
    "answered, a command failed, a file could not be read, converted or written).\n";

void AddOptions(QCommandLineParser& parser, const CliOptionList& list) {
  for (const CliOption& option : list) {
    QStringList names{QString::fromUtf8(option.name)};
    if (std::string(option.name) == "help") names.prepend("h");
    QCommandLineOption declared(names, QString::fromUtf8(option.description));
    if (option.valueName) declared.setValueName(QString::fromUtf8(option.valueName));
    parser.addOption(declared);
  }
}

std::string OptionWord(const QString& name) { return (name.size() == 1 ? "-" : "--") + name.toStdString(); }

// "--json goes with scan, images and log" for an option of other commands.
std::string ForeignOptionError(const std::string& name) {
  std::vector<std::string> owners;
  for (const CliCommand& command : CliCommandTable()) {
    if (FindCliOption(command.options(), name)) owners.push_back(command.name);
  }
  if (owners.empty() || name.size() == 1) return "unknown option " + OptionWord(QString::fromStdString(name));
  std::string text = "--" + name + " goes with ";
  for (size_t i = 0; i < owners.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == owners.size() ? " and " : ", ") + owners[i];
  }
  return text;
}

// The command: the first word that is neither an option nor an option's value.
std::string FindCommandWord(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--") return i + 1 < args.size() ? args[i + 1] : std::string();
    if (arg.size() > 1 && arg[0] == '-') {
      if (arg.compare(0, 2, "--") != 0 || arg.find('=') != std::string::npos) continue;
      const std::string name = arg.substr(2);
      const CliOption* option = FindCliOption(GlobalCliOptions(), name);
      for (const CliCommand& command : CliCommandTable()) {
        if (!option) option = FindCliOption(command.options(), name);
      }
      if (option && option->valueName) ++i;
      continue;
    }
    return arg;
  }
  return {};
}

// Reads `args` with the options of `lists`; false with the first usage error.
bool ParseWith(const std::vector<std::string>& args, const std::vector<const CliOptionList*>& lists,
               CliCommonValues& options, std::vector<std::string>& positional, std::string& error) {
  QCommandLineParser parser;
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  for (const CliOptionList* list : lists) AddOptions(parser, *list);
  QStringList words{QStringLiteral("kestrin-cli")};
  for (const std::string& arg : args) words << QString::fromStdString(arg);
  if (!parser.parse(words)) {
    const QStringList unknown = parser.unknownOptionNames();
    if (!unknown.isEmpty()) {
      error = ForeignOptionError(unknown.first().toStdString());
      return false;
    }
    // The other error QCommandLineParser knows: an option's value missing at the end.
    for (const CliOptionList* list : lists) {
      for (const CliOption& option : *list) {
        if (option.valueName && !args.empty() && args.back() == std::string("--") + option.name) {
          error = args.back() + " needs a value";
          return false;
        }
      }
    }
    error = parser.errorText().toStdString();
    return false;
  }
  for (const CliOptionList* list : lists) {
    for (const CliOption& option : *list) {
      const QString name = QString::fromUtf8(option.name);
      if (!parser.isSet(name)) continue;
      if (!option.valueName) {
        if (!ApplyCliOption(option, std::string(), options, error)) return false;
        continue;
      }
      const QStringList values =
          option.value.kind == CliValue::List ? parser.values(name) : QStringList{parser.value(name)};
      for (const QString& value : values) {
        if (!ApplyCliOption(option, value.toStdString(), options, error)) return false;
      }
    }
  }
  for (const QString& word : parser.positionalArguments()) positional.push_back(word.toStdString());
  return true;
}

bool Given(const CliOption& option, CliCommonValues& options) {
  void* value = option.value.at(options);
  switch (option.value.kind) {
    case CliValue::Switch: return *static_cast<bool*>(value);
    case CliValue::Text: return !static_cast<std::string*>(value)->empty();
    case CliValue::List: return !static_cast<std::vector<std::string>*>(value)->empty();
    case CliValue::Number: return *static_cast<int*>(value) != 0;
    case CliValue::Volts: return *static_cast<double*>(value) != 0;
  }
  return false;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::string>& args, std::unique_ptr<CliCommonValues>& values,
                     std::string& error) {
  const std::string word = FindCommandWord(args);
  const CliCommand* command = FindCliCommand(word);
  values = command ? command->body.values() : std::make_unique<CliCommonValues>();
  CliCommonValues& options = *values;
  options.command = word;
  if (!command && !options.command.empty()) {
    // Its options are unknown too; the command is what is wrong.
    std::vector<std::string> ignored;
    std::string optionError;
    ParseWith(args, {&GlobalCliOptions()}, options, ignored, optionError);
    if (options.help || options.version) return true;
    error = "unknown command " + options.command;
    return false;
  }
  std::vector<const CliOptionList*> lists{&GlobalCliOptions()};
  if (command) lists.push_back(&command->options());
  std::vector<std::string> positional;
  if (!ParseWith(args, lists, options, positional, error)) return false;
  if (!positional.empty()) positional.erase(positional.begin());
  options.arguments = positional;
  if (options.help || options.version) return true;
  if (options.command.empty()) {
    error = "no command given";
    return false;
  }
  for (const char* name : command->required) {
    const CliOption* option = FindCliOption(command->options(), name);
    if (option && !Given(*option, options)) {
      error = options.command + " needs " + CliOptionForm(*option, true);
      return false;
    }
  }
  return true;
}

std::string CliUsageError(const std::string& command, const std::string& message) {
  const std::string help = FindCliCommand(command) ? "kestrin-cli " + command + " --help" : "kestrin-cli --help";
  return "kestrin-cli: " + message + "\nsee '" + help + "'\n";
}

std::string CliUsage(const std::string& name) {
  if (const CliCommand* command = FindCliCommand(name)) {
    return std::string("Usage: kestrin-cli ") + command->synopsis + command->details + "Options:\n" +
           CliOptionHelp(command->options()) + CliOptionHelp(GlobalCliOptions()) + Notes;
  }
  std::string text = "Usage: kestrin-cli COMMAND [options]\nCommands:\n";
  for (const CliCommand& command : CliCommandTable()) {
    const std::string synopsis = command.synopsis;
    for (size_t start = 0; start < synopsis.size();) {
      const size_t end = synopsis.find('\n', start);
      text += "  " + synopsis.substr(start, end - start) + "\n";
      start = end == std::string::npos ? synopsis.size() : end + 1;
    }
    text += std::string("      ") + command.summary + "\n";
  }
  return text + "Options of every command:\n" + CliOptionHelp(GlobalCliOptions()) +
         "See 'kestrin-cli COMMAND --help' for a command's own options.\n" + Notes;
}

std::string CliCompletionWords(const std::string& name) {
  std::string words;
  const CliCommand* command = FindCliCommand(name);
  if (!command) {
    for (const CliCommand& c : CliCommandTable()) words += std::string(c.name) + "\n";
    return words;
  }
  for (const CliOptionList* list : {&command->options(), &GlobalCliOptions()}) {
    for (const CliOption& option : *list) words += std::string("--") + option.name + "\n";
  }
  return words;
}
