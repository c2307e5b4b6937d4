// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/arguments.h"

#include <array>

namespace {

struct Command {
    const char* name;
    const char* synopsis;
    const char* summary;  // one line in the overview
    const char* what;
};

constexpr std::array<Command, 4> commands{{
    {"apps", "slimkit-cli apps [ROM.zip] [--names] [--files] [--knowledge FILE] [--json]",
     "the apps that can be removed",
     "The apps that can be removed, as the window's check list shows them: [x] when ticked at\n"
     "start, the name, the removal mode and the definition file. With ROM.zip, fitted to it:\n"
     "each app it holds that no definition names gets a line of its own, with its package,\n"
     "version, size and files, and a definition none of whose files it holds is marked absent.\n"},
    {"plan",
     "slimkit-cli plan ROM.zip [selection] [--undo-zip] [--no-add] [--files] [--knowledge FILE] "
     "[--json]",
     "what customize would do to ROM.zip; writes nothing",
     "What customize would remove from and add to ROM.zip, and why it would refuse; writes\n"
     "nothing. A summary first, the warnings, then one line per app.\n"},
    {"customize",
     "slimkit-cli customize ROM.zip [selection] [--no-backup] [--undo-zip] [--no-add] [-q] "
     "[--knowledge FILE] [--json]",
     "slims ROM.zip as the window's Customize! does",
     "Slims ROM.zip as the window's Customize! does, then checks the zip. With nothing to\n"
     "remove and nothing to add it says so and writes nothing. Steps go to the error stream,\n"
     "the results to the standard output, the outcome on the last line.\n"},
    {"help", "slimkit-cli help [COMMAND]", "the help of every command, or of one",
     "The help of every command, or of one.\n"},
}};

// Which commands take an option.
enum Takers : unsigned { apps = 1, plan = 2, customize = 4, help = 8, all = 15 };

struct Option {
    const char* names;
    const char* text;
    unsigned takers;
};

constexpr std::array<Option, 16> options{{
    {"--list FILE",
     "a saved removal list, applied to the ticks at start; - reads it from the\n"
     "standard input",
     plan | customize},
    {"--app NAME",
     "also remove this app (and its widget, if it has one), named as apps\n"
     "prints it or by its package",
     plan | customize},
    {"--app NAME=widget", "remove only this app's widget", plan | customize},
    {"--definition FILE",
     "the app of this definition file (its path, or its name in\n"
     "app/remove), for two apps of one name; FILE=widget as above",
     plan | customize},
    {"--knowledge FILE",
     "what a community debloat list (JSON) says of the apps: apps shows each\n"
     "one's removal tier and description; plan and customize name on the error\n"
     "stream the apps that need a selected one",
     apps | plan | customize},
    {"--allow-unsafe",
     "let --app and --definition select an app the --knowledge list calls\n"
     "Unsafe (refused without it)",
     plan | customize},
    {"--names", "only the names, one a line", apps},
    {"--no-backup", "no backup copy ROM.zip_BU_n first", customize},
    {"--undo-zip", "the flashable undo zip ROM.zip_undo.zip first", plan | customize},
    {"--no-add", "leave out the files of the add folder", plan | customize},
    {"--files", "list the files behind each app, and the add folder's (apps: with ROM.zip)",
     apps | plan},
    {"-q, --quiet", "no step or progress lines on the error stream", customize},
    {"--json", "print one JSON document with the result instead", apps | plan | customize},
    {"-h, --help", "this help", all},
    {"    --version", "the program's version", all},
    {"--", "the words after it are never options (a ROM zip named -x.zip)", all},
}};

constexpr const char* exitHelp =
    "Exit codes: 0 done (and checked), or nothing to do; 1 a step failed; 2 bad usage or input\n"
    "(nothing written); 3 the ROM zip after the run differs from the plan; 4 done and checked,\n"
    "but paths of the selection stayed in the ROM zip (skipped or unreachable); 130 stopped by\n"
    "Ctrl-C (128 + the signal's number for SIGTERM and SIGHUP): 7z was ended, the ROM zip left\n"
    "as it was before its step.\n";

const Command* commandNamed(const std::string& name) {
    for (const Command& command : commands)
        if (name == command.name) return &command;
    return nullptr;
}

unsigned takerOf(const std::string& name) {
    for (std::size_t i = 0; i < commands.size(); ++i)
        if (name == commands[i].name) return 1u << i;
    return all;
}

// The options `takers` take, two columns, the text's later lines indented.
std::string optionLines(unsigned takers, bool selection) {
    std::string text;
    for (const Option& option : options) {
        const bool selects = std::string(option.names).starts_with("--list") ||
                             std::string(option.names).starts_with("--app") ||
                             std::string(option.names).starts_with("--definition") ||
                             std::string(option.names).starts_with("--allow-unsafe");
        if ((option.takers & takers) == 0 || selects != selection) continue;
        std::string names = option.names;
        text += "  " + names + std::string(names.size() < 20 ? 20 - names.size() : 1, ' ');
        for (const char c : std::string(option.text))
            text += c == '\n' ? "\n" + std::string(22, ' ') : std::string(1, c);
        if (takers == all && option.takers != all) {
            std::string by;
            for (std::size_t i = 0; i < commands.size(); ++i)
                if (option.takers & (1u << i))
                    by += std::string(by.empty() ? "" : ", ") + commands[i].name;
            if (!selection) text += " (" + by + ")";
        }
        text += "\n";
    }
    return text;
}

}  // namespace

std::string helpText(const std::string& name) {
    const unsigned takers = takerOf(name);
    const bool selects = (takers & (plan | customize)) != 0;
    std::string text = "Usage: ";
    if (const Command* command = commandNamed(name)) {
        text += std::string(command->synopsis) + "\n\n" + command->what;
    } else {
        for (const Command& command : commands)
            text +=
                std::string(&command == &commands[0] ? "" : "       ") + command.synopsis + "\n";
        text += "\n";
        for (const Command& command : commands)
            text += std::string("  ") + command.name +
                    std::string(11 - std::string(command.name).size(), ' ') + command.summary +
                    "\n";
    }
    if (selects)
        text += "\nSelection (with none of these, the apps ticked at start):\n" +
                optionLines(takers, true);
    text += "\nOptions:\n" + optionLines(takers, false);
    if (takers & customize) text += std::string("\n") + exitHelp;
    if (takers == all)
        text += "\nslimkit-cli help COMMAND, or slimkit-cli COMMAND --help, tells more of one.\n";
    return text;
}

bool asksForJson(const std::vector<std::string>& words) {
    for (const std::string& word : words) {
        if (word == "--") return false;
        if (word == "--json") return true;
    }
    return false;
}

namespace {

// Reads the option words[i], and its value (moving i past it), into `arguments`; false, with
// `error` set, when it can't.
bool readOption(const std::vector<std::string>& words, std::size_t& i, Arguments& arguments,
                std::string& error) {
    const std::string& word = words[i];
    // --name=value or --name value; a value that looks like an option is taken for a
    // forgotten value, never swallowed (--app --help).
    const auto valueOf = [&](const std::string& name, std::string& value) {
        if (word.starts_with(name + "=")) {
            value = word.substr(name.size() + 1);
            return true;
        }
        if (word != name) return false;
        if (i + 1 >= words.size() || (words[i + 1].starts_with("-") && words[i + 1] != "-")) {
            error = name + " needs a value (" + name + "=VALUE for one that starts with -)";
            return true;
        }
        value = words[++i];
        return true;
    };
    std::string value;
    if (word == "--json") {
        arguments.json = true;
    } else if (word == "-q" || word == "--quiet") {
        arguments.quiet = true;
    } else if (word == "-h" || word == "--help") {
        arguments.help = true;
    } else if (word == "--version") {
        arguments.version = true;
    } else if (word == "--no-backup") {
        arguments.options.backup = false;
    } else if (word == "--undo-zip") {
        arguments.options.undoZip = true;
    } else if (word == "--no-add") {
        arguments.options.addApps = false;
    } else if (word == "--files") {
        arguments.files = true;
    } else if (word == "--names") {
        arguments.names = true;
    } else if (valueOf("--list", value)) {
        arguments.lists.push_back(value);
    } else if (valueOf("--app", value)) {
        arguments.apps.push_back({value, false});
    } else if (valueOf("--definition", value)) {
        arguments.apps.push_back({value, true});
    } else if (valueOf("--knowledge", value)) {
        arguments.knowledge = value;
    } else if (word == "--allow-unsafe") {
        arguments.allowUnsafe = true;
    } else {
        error = "unknown option " + word;
    }
    return error.empty();
}

// Whether every option given is one the command takes.
bool optionsFit(const Arguments& arguments) {
    const std::string& command = arguments.command;
    const bool selects = !arguments.lists.empty() || !arguments.apps.empty();
    const bool runs = !arguments.options.backup || arguments.quiet;
    const bool plans =
        arguments.options.undoZip || !arguments.options.addApps || selects || arguments.allowUnsafe;
    return command == "customize" ? !arguments.files && !arguments.names
           : command == "plan"    ? !runs && !arguments.names
           : command == "apps"    ? !runs && !plans && (!arguments.files || !arguments.rom.empty())
                                  : !runs && !plans && !arguments.files && !arguments.names &&
                                     !arguments.json && arguments.knowledge.empty();
}

// The command and what follows it (a help topic, a ROM zip), from the words that aren't
// options, and whether the options fit it.
bool readOperands(const std::vector<std::string>& operands, Arguments& arguments,
                  std::string& error) {
    // --help and --version answer whatever else the line holds, once it could be read.
    if (operands.empty()) {
        if (arguments.help || arguments.version) return true;
        error = "no command given (apps, plan, customize or help)";
        return false;
    }
    arguments.command = operands[0];
    if (!commandNamed(arguments.command)) {
        error = "unknown command " + arguments.command;
        return false;
    }
    const std::string& command = arguments.command;
    const bool takesRom = command == "plan" || command == "customize" || command == "apps";
    std::size_t used = 1;
    if (command == "help" && operands.size() > 1) {
        arguments.topic = operands[used++];
        if (!commandNamed(arguments.topic)) {
            error = "no help on " + arguments.topic + " (apps, plan, customize or help)";
            return false;
        }
    }
    if (takesRom && operands.size() > 1) arguments.rom = operands[used++];
    if (used < operands.size()) {
        error = "unexpected argument " + operands[used];
        return false;
    }
    if (arguments.help || arguments.version) return true;
    if (takesRom && command != "apps" && arguments.rom.empty()) {
        error = command + " needs a ROM zip";
        return false;
    }
    if (!optionsFit(arguments)) {
        error = "an option that " + command + " doesn't take";
        return false;
    }
    return true;
}

}  // namespace

bool parseArguments(const std::vector<std::string>& words, Arguments& arguments,
                    std::string& error) {
    bool options = true;
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (!options || word == "-" || !word.starts_with("-"))
            operands.push_back(word);
        else if (word == "--")
            options = false;
        else if (!readOption(words, i, arguments, error))
            return false;
    }
    return readOperands(operands, arguments, error);
}
