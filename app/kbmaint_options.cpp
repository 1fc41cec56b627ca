#include "app/kbmaint_options.h"

#include "app/kbmaint_outcome.h"

#include <CLI/CLI.hpp>

#include <sstream>
#include <vector>

namespace
{

struct CommandRow {
    Command command;
    const char *name;
    bool talks;
};

constexpr CommandRow COMMANDS[] = {
    {Command::Ports, "ports", false},
    {Command::Info, "info", true},
    {Command::SetSsid, "set-ssid", true},
    {Command::SetWifiPassword, "set-wifi-password", true},
    {Command::SetLoginPassword, "set-login-password", true},
    {Command::WriteMac, "write-mac", true},
    {Command::Upgrade, "upgrade", true},
    {Command::PullLog, "pull-log", true},
    {Command::Provision, "provision", true},
    {Command::PoolGenerate, "pool generate", false},
    {Command::PoolStats, "pool stats", false},
    {Command::PoolList, "pool list", false},
};

// The texts CLI11 fills in, turned into QStrings once parsing is done.
struct RawOptions {
    std::vector<std::string> ports;
    std::string account = "admin";
    std::string passwordFile, newLoginPasswordFile, newWifiPasswordFile;
    std::string ssid, file, directory, wifiMac, feMac, operatorName, poolUrl, recipe, report;
    std::string rangeStart;
};

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

const char *const DESCRIPTION =
    "Maintenance of KB-R5530 modules over their debug serial ports (230400 8N1), several "
    "ports at once, one thread each.\n"
    "Passwords are read from files (first line) or standard input, never from the command "
    "line.\n"
    "Exit status: 0 every port succeeded; 1 an operation failed; 2 usage or refused input "
    "(nothing sent);\n"
    "3 a port cannot be opened or the module never answers; 4 login refused, account locked "
    "or a forced\n"
    "password change not allowed; 130 interrupted. With several ports the highest counts.";

void addModuleCommands(CLI::App &app, RawOptions &raw, CliOptions *options)
{
    CLI::App *info = app.add_subcommand("info", "Log in; show versions, RS-485, Wi-Fi, FE.");
    info->add_flag("--show-secrets", options->showSecrets, "Also show the Wi-Fi password.");

    CLI::App *ssid = app.add_subcommand("set-ssid", "Write the Wi-Fi SSID (1 to 32 bytes).");
    ssid->add_option("SSID", raw.ssid, "The new SSID.")->required();

    app.add_subcommand("set-wifi-password", "Write the Wi-Fi password read from FILE.")
        ->add_option("FILE", raw.file, "File whose first line is the new Wi-Fi password.")
        ->required();
    app.add_subcommand("set-login-password", "Change the login password to the one in FILE.")
        ->add_option("FILE", raw.file, "File whose first line is the new login password.")
        ->required();

    CLI::App *mac = app.add_subcommand(
        "write-mac", "Write the Wi-Fi and/or FE MAC address, or both from the pool.");
    CLI::Option *wifi = mac->add_option("--wifi", raw.wifiMac, "Wi-Fi MAC address.");
    CLI::Option *fe = mac->add_option("--fe", raw.feMac, "FE MAC address.");
    CLI::Option *pool =
        mac->add_flag("--from-pool", options->fromPool, "Take both addresses from the pool.");
    pool->excludes(wifi)->excludes(fe);
    mac->add_option("--operator", raw.operatorName, "Operator recorded in the pool.");
    mac->add_option("--pool", raw.poolUrl, "Pool URL (sqlite:PATH or postgresql://...).");

    app.add_subcommand("upgrade", "Upgrade the firmware from FILE.")
        ->add_option("FILE", raw.file, "Firmware image, 1 byte to 30 MiB.")
        ->required();
    app.add_subcommand("pull-log", "Fetch the module's log into DIR and check its digest.")
        ->add_option("DIR", raw.directory, "Writable directory.")
        ->required();

    CLI::App *provision = app.add_subcommand(
        "provision", "Run a recipe: login, info, SSID, Wi-Fi password, MACs, log, upgrade.");
    provision->add_option("RECIPE", raw.recipe, "The recipe, a JSON file.")->required();
    provision->add_flag("--watch", options->watch,
                        "Also provision every port that appears, until SIGINT.");
    provision->add_option("--report", raw.report, "Append one JSON line per unit to FILE.");
    provision->add_option("--pool", raw.poolUrl, "Pool URL (sqlite:PATH or postgresql://...).");
}

void addPoolCommands(CLI::App &app, RawOptions &raw, CliOptions *options)
{
    CLI::App *pool = app.add_subcommand("pool", "The MAC address pool.");
    pool->require_subcommand(1);
    pool->add_option("--pool", raw.poolUrl, "Pool URL (sqlite:PATH or postgresql://...).");
    CLI::App *generate = pool->add_subcommand("generate", "Add COUNT addresses from START on.");
    generate->add_option("START", raw.rangeStart, "First address, such as 90:7E:BA:74:B7:0C.")
        ->required();
    generate->add_option("COUNT", options->rangeCount, "Number of addresses.")
        ->required()
        ->check(CLI::Range(1, 1000000));
    generate->add_option("--step", options->step, "Distance between addresses (default 1).")
        ->check(CLI::Range(1, 1 << 24));
    generate
        ->add_option("--head-length", options->headLength,
                     "Leading hex digits that stay fixed (default 6).")
        ->check(CLI::Range(0, 11));
    pool->add_subcommand("stats", "Count the addresses: total, used, free, claimed, quarantined.");
    CLI::App *list = pool->add_subcommand("list", "List one page of 50 addresses.");
    CLI::Option *free = list->add_flag("--free", "Free addresses only.");
    CLI::Option *used = list->add_flag("--used", "Used addresses only.");
    free->excludes(used);
    list->add_option("--page", options->page, "Page number, from 1.")->check(CLI::PositiveNumber);
    for (CLI::App *sub : {generate, pool->get_subcommand("stats"), list})
        sub->fallthrough();
    list->final_callback([options, free, used] {
        options->listing = free->count() > 0   ? CliOptions::Listing::Free
                           : used->count() > 0 ? CliOptions::Listing::Used
                                               : CliOptions::Listing::All;
    });
}

void takeRaw(const RawOptions &raw, CliOptions *options)
{
    for (const std::string &port : raw.ports)
        options->ports.append(text(port));
    options->account = text(raw.account);
    options->passwordFile = text(raw.passwordFile);
    options->newLoginPasswordFile = text(raw.newLoginPasswordFile);
    options->newWifiPasswordFile = text(raw.newWifiPasswordFile);
    options->ssid = text(raw.ssid);
    options->file = text(raw.file);
    options->directory = text(raw.directory);
    options->wifiMac = text(raw.wifiMac);
    options->feMac = text(raw.feMac);
    options->operatorName = text(raw.operatorName);
    options->poolUrl = text(raw.poolUrl);
    options->recipe = text(raw.recipe);
    options->report = text(raw.report);
    options->rangeStart = text(raw.rangeStart);
}

// The command that was chosen: the one subcommand (and its own one below
// "pool").
bool chosenCommand(const CLI::App &app, Command *command)
{
    for (const CommandRow &row : COMMANDS) {
        const QStringList words = QString::fromLatin1(row.name).split(QLatin1Char(' '));
        const CLI::App *sub = app.get_subcommand(words.first().toStdString());
        if (sub->parsed() &&
            (words.size() == 1 || sub->get_subcommand(words.last().toStdString())->parsed())) {
            *command = row.command;
            return true;
        }
    }
    return false;
}

} // namespace

QString commandName(Command command)
{
    for (const CommandRow &row : COMMANDS) {
        if (row.command == command)
            return QString::fromLatin1(row.name);
    }
    return QString();
}

bool talksToModules(Command command)
{
    for (const CommandRow &row : COMMANDS) {
        if (row.command == command)
            return row.talks;
    }
    return false;
}

int parseCommandLine(int argc, char **argv, CliOptions *options, std::string *out, std::string *err)
{
    RawOptions raw;
    CLI::App app(DESCRIPTION, "kbmaint");
    app.require_subcommand(1);
    app.add_flag("--json", options->json, "Every stdout line is one JSON object.");
    app.add_option("--port", raw.ports, "Serial port such as /dev/ttyUSB0 (repeatable).");
    app.add_option("--account", raw.account, "Login account (default admin).");
    CLI::Option *file =
        app.add_option("--password-file", raw.passwordFile, "Login password: first line of F.");
    CLI::Option *stdinFlag = app.add_flag("--password-stdin", options->passwordStdin,
                                          "Login password: first line of standard input.");
    file->excludes(stdinFlag);
    app.add_option("--new-login-password-file", raw.newLoginPasswordFile,
                   "Replace a factory login password by the one in F.");
    app.add_option("--new-wifi-password-file", raw.newWifiPasswordFile,
                   "Replace a factory Wi-Fi password by the one in F.");
    app.add_subcommand("ports", "List the serial ports in natural order (no login).");
    addModuleCommands(app, raw, options);
    addPoolCommands(app, raw, options);
    for (CLI::App *sub : app.get_subcommands({}))
        sub->fallthrough();

    std::ostringstream outStream;
    std::ostringstream errStream;
    int status = -1;
    // CLI11 reports every parse outcome other than success by throwing; it
    // is caught here and nowhere else.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        status = app.exit(error, outStream, errStream) == 0 ? ExitStatus::OK : ExitStatus::USAGE;
    }
    if (status < 0) {
        takeRaw(raw, options);
        if (!chosenCommand(app, &options->command)) {
            errStream << "kbmaint: no command given\n" << app.help();
            status = ExitStatus::USAGE;
        }
    }
    *out = outStream.str();
    *err = errStream.str();
    return status;
}
