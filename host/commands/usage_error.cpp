#include "usage_error.h"

#include "user_error.h"

#include <algorithm>

namespace plughost {

namespace {

std::vector<std::string> commandNames(const CLI::App& app)
{
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(command->get_name());
    return names;
}

std::string joined(const std::vector<std::string>& names, const char* last)
{
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
    return text;
}

std::string commandList(const CLI::App& app)
{
    return "commands: " + joined(commandNames(app), ", ");
}

// The command whose arguments were being read, or null.
const CLI::App* commandBeingParsed(const CLI::App& app)
{
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        if (command->parsed())
            return command;
    return nullptr;
}

std::string expectation(const std::string& typeName)
{
    if (typeName == "INT")
        return "a whole number";
    if (typeName == "UINT")
        return "a whole number from 0";
    if (typeName == "FLOAT")
        return "a number";
    return "a " + typeName;
}

} // namespace

void checkCommand(const CLI::App& app, int argc, const char* const* argv, const std::vector<std::string>& missingHere)
{
    if (argc < 2)
        throw UserError("no command given; " + commandList(app));
    const std::string first = argv[1];
    if (first == "-h" || first == "--help")
        return;
    if (first.rfind('-', 0) == 0)
        throw UserError("unknown option '" + first + "' before the command; " + commandList(app));
    const std::vector<std::string> names = commandNames(app);
    if (std::find(names.begin(), names.end(), first) != names.end())
        return;
    if (std::find(missingHere.begin(), missingHere.end(), first) != missingHere.end())
        throw UserError(joined(missingHere, " and ") + " are not in the Windows build; " + commandList(app));
    throw UserError("unknown command '" + first + "'; " + commandList(app));
}

std::string usageErrorLine(const CLI::App& app, const CLI::ParseError& error)
{
    const CLI::App* command = commandBeingParsed(app);
    const std::string prefix = command ? command->get_name() + ": " : "";
    const std::string help = command ? "; see plughost " + command->get_name() + " --help" : "; see plughost --help";
    const std::string message = error.what();
    // "Could not convert: --block = abc" names the option and the value; say what it takes.
    if (dynamic_cast<const CLI::ConversionError*>(&error) && command) {
        const std::string head = "Could not convert: ";
        const auto equals = message.find(" = ");
        if (message.rfind(head, 0) == 0 && equals != std::string::npos) {
            const std::string name = message.substr(head.size(), equals - head.size());
            const std::string value = message.substr(equals + 3);
            for (const CLI::Option* option : command->get_options())
                if (option->check_name(name))
                    return prefix + name + " takes " + expectation(option->get_type_name()) + ", not '" + value + "'";
        }
    }
    // "--block: 1 required INT missing"
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
        const auto colon = message.find(':');
        if (colon != std::string::npos)
            return prefix + message.substr(0, colon) + " needs a value" + help;
    }
    return prefix + message + help;
}

} // namespace plughost
