#include "cli/options.h"

#include "provision/unitoutcome.h"

#include <CLI/CLI.hpp>
#include <QCoreApplication>

#include <limits>
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
    {Command::PoolRelease, "pool release", false},
    {Command::RecordsList, "records list", false},
    {Command::RecordsYield, "records yield", false},
    {Command::RecordsReport, "records report", false},
    {Command::RecordsFlush, "records flush", false},
};

// The texts CLI11 fills in, turned into QStrings once parsing is done.
struct RawOptions {
    std::vector<std::string> ports;
    std::string account = "admin";
    std::string passwordFile, newLoginPasswordFile, newWifiPasswordFile;
    std::string ssid, file, directory, wifiMac, feMac, operatorName, poolUrl, recipe, report;
    std::string rangeStart, releaseMac, reason;
    std::string station; // the station file
    std::string since, until, stationFilter, slot, mac, by, html;
};

// A help text, translated.
std::string t(const char *source)
{
    return QCoreApplication::translate("kbmaint", source).toStdString();
}

QString text(const std::string &value)
{
    return QString::fromStdString(value);
}

const char *const DESCRIPTION = QT_TRANSLATE_NOOP(
    "kbmaint",
    "通过调试串口（230400 8N1）维护KB-R5530模块，可同时处理多个串口，每个串口一个线程。\n"
    "密码只从文件（第一行）或标准输入读取，从不取自命令行。\n"
    "退出状态：0 全部串口成功；1 某个串口操作失败；2 用法错误或输入被拒绝（未发送任何数据）；\n"
    "3 串口无法打开或设备无应答；4 登录被拒绝、账号锁定或不允许强制修改密码；\n"
    "5 MAC地址池不可用或空闲地址不足（未打开任何串口）；130 被中断。\n"
    "多个串口时取最高值。");

// An integer from `low` to `high`, refused in words a user reads.
CLI::Validator between(int low, int high)
{
    return CLI::Validator(
        [low, high](std::string &value) {
            bool ok = false;
            const qlonglong number = QString::fromStdString(value).toLongLong(&ok);
            if (ok && number >= low && number <= high)
                return std::string();
            return QCoreApplication::translate("kbmaint", "%1不在%2到%3之间")
                .arg(QString::fromStdString(value))
                .arg(low)
                .arg(high)
                .toStdString();
        },
        "N");
}

void addReassign(CLI::App *command, CliOptions *options)
{
    command->add_flag(
        "--reassign", options->reassign,
        t(QT_TRANSLATE_NOOP("kbmaint",
                            "模块已有本产线的MAC地址时也写入新地址（旧地址记为已替换）。")));
}

void addClaimSeconds(CLI::App *command, CliOptions *options)
{
    command
        ->add_option("--claim-seconds", options->claimSeconds,
                     t(QT_TRANSLATE_NOOP("kbmaint", "地址池预留的秒数（默认600）。")))
        ->type_name("N")
        ->check(between(1, 7 * 24 * 3600));
}

void addModuleCommands(CLI::App &app, RawOptions &raw, CliOptions *options)
{
    CLI::App *info = app.add_subcommand(
        "info", t(QT_TRANSLATE_NOOP("kbmaint", "登录；显示版本、RS-485、Wifi和FE参数。")));
    info->add_flag("--show-secrets", options->showSecrets,
                   t(QT_TRANSLATE_NOOP("kbmaint", "同时显示Wifi密码。")));

    CLI::App *ssid = app.add_subcommand(
        "set-ssid", t(QT_TRANSLATE_NOOP("kbmaint", "设置Wifi的SSID（1到32字节）。")));
    ssid->add_option("SSID", raw.ssid, t(QT_TRANSLATE_NOOP("kbmaint", "新的SSID。")))->required();

    app.add_subcommand("set-wifi-password",
                       t(QT_TRANSLATE_NOOP("kbmaint", "设置Wifi密码，密码取自FILE。")))
        ->add_option("FILE", raw.file,
                     t(QT_TRANSLATE_NOOP("kbmaint", "第一行为新Wifi密码的文件。")))
        ->required();
    app.add_subcommand("set-login-password",
                       t(QT_TRANSLATE_NOOP("kbmaint", "修改登录密码，新密码取自FILE。")))
        ->add_option("FILE", raw.file,
                     t(QT_TRANSLATE_NOOP("kbmaint", "第一行为新登录密码的文件。")))
        ->required();

    CLI::App *mac = app.add_subcommand(
        "write-mac",
        t(QT_TRANSLATE_NOOP("kbmaint", "设置WiFi和/或FE的MAC地址，或从地址池取两个。")));
    CLI::Option *wifi =
        mac->add_option("--wifi", raw.wifiMac, t(QT_TRANSLATE_NOOP("kbmaint", "WiFi的MAC地址。")))
            ->type_name("MAC");
    CLI::Option *fe =
        mac->add_option("--fe", raw.feMac, t(QT_TRANSLATE_NOOP("kbmaint", "FE的MAC地址。")))
            ->type_name("MAC");
    CLI::Option *pool = mac->add_flag("--from-pool", options->fromPool,
                                      t(QT_TRANSLATE_NOOP("kbmaint", "两个地址都从地址池领取。")));
    pool->excludes(wifi)->excludes(fe);
    mac->add_option("--operator", raw.operatorName,
                    t(QT_TRANSLATE_NOOP("kbmaint", "记入地址池的操作员。")))
        ->type_name("NAME");
    mac->add_option(
           "--pool", raw.poolUrl,
           t(QT_TRANSLATE_NOOP("kbmaint", "地址池URL（sqlite:路径 或 postgresql://...）。")))
        ->type_name("URL");
    addClaimSeconds(mac, options);
    addReassign(mac, options);

    app.add_subcommand("upgrade", t(QT_TRANSLATE_NOOP("kbmaint", "用FILE升级固件。")))
        ->add_option("FILE", raw.file, t(QT_TRANSLATE_NOOP("kbmaint", "固件文件，1字节到30 MiB。")))
        ->required();
    app.add_subcommand("pull-log", t(QT_TRANSLATE_NOOP("kbmaint", "获取日志到DIR并校验其哈希值。")))
        ->add_option("DIR", raw.directory, t(QT_TRANSLATE_NOOP("kbmaint", "可写的目录。")))
        ->required();

    CLI::App *provision = app.add_subcommand(
        "provision", t(QT_TRANSLATE_NOOP(
                         "kbmaint", "按配方生产：登录、信息、SSID、Wifi密码、MAC、日志、升级。")));
    provision->add_option(
        "RECIPE", raw.recipe,
        t(QT_TRANSLATE_NOOP("kbmaint", "配方，JSON文件（有--station时默认取工位文件的）。")));
    provision
        ->add_option("--operator", raw.operatorName,
                     t(QT_TRANSLATE_NOOP("kbmaint", "记录的操作员（覆盖配方和工位文件的）。")))
        ->type_name("NAME");
    provision->add_flag("--watch", options->watch,
                        t(QT_TRANSLATE_NOOP("kbmaint", "持续处理新出现的串口，直到SIGINT。")));
    provision
        ->add_option("--report", raw.report,
                     t(QT_TRANSLATE_NOOP("kbmaint", "每台设备向FILE追加一行JSON。")))
        ->type_name("FILE");
    provision
        ->add_option(
            "--pool", raw.poolUrl,
            t(QT_TRANSLATE_NOOP("kbmaint", "地址池URL（sqlite:路径 或 postgresql://...）。")))
        ->type_name("URL");
    addClaimSeconds(provision, options);
    addReassign(provision, options);
}

void addPoolCommands(CLI::App &app, RawOptions &raw, CliOptions *options)
{
    CLI::App *pool = app.add_subcommand("pool", t(QT_TRANSLATE_NOOP("kbmaint", "MAC地址池。")));
    pool->require_subcommand(1);
    pool->add_option(
            "--pool", raw.poolUrl,
            t(QT_TRANSLATE_NOOP("kbmaint", "地址池URL（sqlite:路径 或 postgresql://...）。")))
        ->type_name("URL");
    CLI::App *generate = pool->add_subcommand(
        "generate", t(QT_TRANSLATE_NOOP("kbmaint", "从START起生成COUNT个地址。")));
    generate
        ->add_option("START", raw.rangeStart,
                     t(QT_TRANSLATE_NOOP("kbmaint", "起始地址，如90:7E:BA:74:B7:0C。")))
        ->required();
    generate
        ->add_option("COUNT", options->rangeCount, t(QT_TRANSLATE_NOOP("kbmaint", "地址个数。")))
        ->required()
        ->check(between(1, 1000000));
    generate
        ->add_option("--step", options->step,
                     t(QT_TRANSLATE_NOOP("kbmaint", "地址间隔（默认1）。")))
        ->type_name("N")
        ->check(between(1, 1 << 24));
    generate
        ->add_option("--head-length", options->headLength,
                     t(QT_TRANSLATE_NOOP("kbmaint", "固定不变的前导十六进制位数（默认6）。")))
        ->type_name("N")
        ->check(between(0, 11));
    pool->add_subcommand(
        "stats", t(QT_TRANSLATE_NOOP("kbmaint", "统计地址：总数、已用、空闲、预留、隔离。")));
    CLI::App *list =
        pool->add_subcommand("list", t(QT_TRANSLATE_NOOP("kbmaint", "列出一页（50个）地址。")));
    CLI::Option *free =
        list->add_flag("--free")->description(t(QT_TRANSLATE_NOOP("kbmaint", "只列空闲地址。")));
    CLI::Option *used =
        list->add_flag("--used")->description(t(QT_TRANSLATE_NOOP("kbmaint", "只列已用地址。")));
    free->excludes(used);
    list->add_option("--page", options->page, t(QT_TRANSLATE_NOOP("kbmaint", "页码，从1开始。")))
        ->type_name("N")
        ->check(between(1, std::numeric_limits<int>::max()));
    CLI::App *release = pool->add_subcommand(
        "release",
        t(QT_TRANSLATE_NOOP("kbmaint", "把状态未知的地址放回地址池，记录操作员、时间和原因。")));
    release->add_option("MAC", raw.releaseMac, t(QT_TRANSLATE_NOOP("kbmaint", "状态未知的地址。")))
        ->required();
    release
        ->add_option("--reason", raw.reason,
                     t(QT_TRANSLATE_NOOP("kbmaint", "原因，例如已确认模块上没有此地址。")))
        ->type_name("TEXT")
        ->required();
    release
        ->add_option("--operator", raw.operatorName,
                     t(QT_TRANSLATE_NOOP("kbmaint", "记录的操作员（默认$USER）。")))
        ->type_name("NAME");
    for (CLI::App *sub : {generate, pool->get_subcommand("stats"), list, release})
        sub->fallthrough();
    list->final_callback([options, free, used] {
        options->listing = free->count() > 0   ? CliOptions::Listing::Free
                           : used->count() > 0 ? CliOptions::Listing::Used
                                               : CliOptions::Listing::All;
    });
}

void addSince(CLI::App *command, RawOptions &raw)
{
    command
        ->add_option("--since", raw.since,
                     t(QT_TRANSLATE_NOOP("kbmaint", "开始时间不早于DATE（UTC日期或ISO时间）。")))
        ->type_name("DATE");
}

void addRecordsCommands(CLI::App &app, RawOptions &raw, CliOptions *options)
{
    CLI::App *records = app.add_subcommand(
        "records", t(QT_TRANSLATE_NOOP("kbmaint", "地址池数据库中的设备记录。")));
    records->require_subcommand(1);
    records
        ->add_option(
            "--pool", raw.poolUrl,
            t(QT_TRANSLATE_NOOP("kbmaint", "地址池URL（sqlite:路径 或 postgresql://...）。")))
        ->type_name("URL");
    CLI::App *list =
        records->add_subcommand("list", t(QT_TRANSLATE_NOOP("kbmaint", "每条记录一行。")));
    addSince(list, raw);
    list->add_option("--until", raw.until,
                     t(QT_TRANSLATE_NOOP("kbmaint", "开始时间早于DATE（日期含当天）。")))
        ->type_name("DATE");
    list->add_option("--station", raw.stationFilter,
                     t(QT_TRANSLATE_NOOP("kbmaint", "只列该工位。")))
        ->type_name("S");
    list->add_option("--slot", raw.slot, t(QT_TRANSLATE_NOOP("kbmaint", "只列该槽位。")))
        ->type_name("N");
    list->add_option("--mac", raw.mac,
                     t(QT_TRANSLATE_NOOP("kbmaint", "只列Wifi或FE地址为MAC的记录。")))
        ->type_name("MAC");
    list->add_flag("--failed", options->failedOnly,
                   t(QT_TRANSLATE_NOOP("kbmaint", "只列失败的。")));
    list->add_flag("--csv", options->csv, t(QT_TRANSLATE_NOOP("kbmaint", "CSV格式，带表头。")));
    CLI::App *yield = records->add_subcommand(
        "yield", t(QT_TRANSLATE_NOOP("kbmaint", "设备数、通过、失败、一次通过率及失败步骤。")));
    addSince(yield, raw);
    yield
        ->add_option("--by", raw.by,
                     t(QT_TRANSLATE_NOOP("kbmaint", "按station、slot、step或day分组。")))
        ->type_name("KEY")
        ->check(CLI::IsMember({"station", "slot", "step", "day"}));
    CLI::App *report = records->add_subcommand(
        "report", t(QT_TRANSLATE_NOOP("kbmaint", "写一个独立的HTML报告（柱状图、失败）。")));
    report->add_option("--html", raw.html, t(QT_TRANSLATE_NOOP("kbmaint", "HTML文件。")))
        ->type_name("FILE")
        ->required();
    addSince(report, raw);
    CLI::App *flush = records->add_subcommand(
        "flush", t(QT_TRANSLATE_NOOP("kbmaint", "上传本工位缓存中的记录。")));
    for (CLI::App *sub : {list, yield, report, flush})
        sub->fallthrough();
}

void takeRecordsRaw(const RawOptions &raw, CliOptions *options)
{
    options->since = text(raw.since);
    options->until = text(raw.until);
    options->station = text(raw.stationFilter);
    options->slot = text(raw.slot);
    options->mac = text(raw.mac);
    options->by = text(raw.by);
    options->html = text(raw.html);
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
    options->stationFile = text(raw.station);
    options->report = text(raw.report);
    options->rangeStart = text(raw.rangeStart);
    options->releaseMac = text(raw.releaseMac);
    options->reason = text(raw.reason);
    takeRecordsRaw(raw, options);
}

// The unknown options among the words CLI11 left, named up to any "=":
// an option's name is no secret, but a stray word or value may be one.
std::string unknownOptions(const std::vector<std::string> &words)
{
    std::string named;
    for (const std::string &word : words) {
        if (word.size() < 2 || word[0] != '-')
            continue;
        named += (named.empty() ? "" : " ") + word.substr(0, word.find('='));
    }
    return named;
}

std::string commandList()
{
    std::string names;
    for (const CommandRow &row : COMMANDS)
        names += (names.empty() ? "" : ", ") + std::string(row.name);
    return names;
}

// CLI11's texts in the user's words: unknown options are named, a missing
// or unknown command lists the commands, other refusals keep CLI11's text.
std::string usageError(const CLI::App &app, const CLI::ParseError &error)
{
    const std::string what = error.what();
    if (dynamic_cast<const CLI::ExtrasError *>(&error)) {
        const std::string named = unknownOptions(app.remaining(true));
        if (named.empty())
            return t(QT_TRANSLATE_NOOP("kbmaint", "kbmaint：多余的参数（不予显示），见--help"));
        return t(QT_TRANSLATE_NOOP("kbmaint", "kbmaint：未知的选项：")) + named +
               t(QT_TRANSLATE_NOOP("kbmaint", "，见--help"));
    }
    if (what.rfind("A subcommand", 0) == 0 || what.rfind("Requires at least", 0) == 0)
        return t(QT_TRANSLATE_NOOP("kbmaint", "kbmaint：缺少命令或命令未知。可用的命令：")) +
               commandList() + t(QT_TRANSLATE_NOOP("kbmaint", "；见--help"));
    return t(QT_TRANSLATE_NOOP("kbmaint", "kbmaint：")) + what +
           t(QT_TRANSLATE_NOOP("kbmaint", "；见--help"));
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

// A station file stands for the ports and the recipe of a provision only.
QString stationUseProblem(const CliOptions &options)
{
    const bool provision = options.command == Command::Provision;
    if (!options.stationFile.isEmpty() && !provision)
        return QCoreApplication::translate("kbmaint", "--station只用于provision");
    if (provision && options.stationFile.isEmpty() && options.recipe.isEmpty())
        return QCoreApplication::translate("kbmaint", "provision需要配方RECIPE或--station");
    return QString();
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
    CLI::App app(t(DESCRIPTION), "kbmaint");
    app.require_subcommand(1);
    app.add_flag("--json", options->json,
                 t(QT_TRANSLATE_NOOP("kbmaint", "标准输出的每一行都是一个JSON对象。")));
    CLI::Option *ports =
        app.add_option("--port", raw.ports,
                       t(QT_TRANSLATE_NOOP("kbmaint", "串口，如/dev/ttyUSB0（可重复）。")))
            ->type_name("P");
    app.add_option("--station", raw.station,
                   t(QT_TRANSLATE_NOOP("kbmaint", "工位文件：用其槽位代替--port（仅provision）。")))
        ->type_name("FILE")
        ->excludes(ports);
    app.add_option("--account", raw.account,
                   t(QT_TRANSLATE_NOOP("kbmaint", "登录账号（默认admin）。")))
        ->type_name("A");
    CLI::Option *file = app.add_option("--password-file", raw.passwordFile,
                                       t(QT_TRANSLATE_NOOP("kbmaint", "登录密码：文件F的第一行。")))
                            ->type_name("F");
    CLI::Option *stdinFlag =
        app.add_flag("--password-stdin", options->passwordStdin,
                     t(QT_TRANSLATE_NOOP("kbmaint", "登录密码：标准输入的第一行。")));
    file->excludes(stdinFlag);
    app.add_option("--new-login-password-file", raw.newLoginPasswordFile,
                   t(QT_TRANSLATE_NOOP("kbmaint", "登录密码为初始密码时，改为文件F中的密码。")))
        ->type_name("F");
    app.add_option("--new-wifi-password-file", raw.newWifiPasswordFile,
                   t(QT_TRANSLATE_NOOP("kbmaint", "Wifi密码为初始密码时，改为文件F中的密码。")))
        ->type_name("F");
    app.add_subcommand("ports", t(QT_TRANSLATE_NOOP("kbmaint", "按自然顺序列出串口（不登录）。")));
    addModuleCommands(app, raw, options);
    addPoolCommands(app, raw, options);
    addRecordsCommands(app, raw, options);
    for (CLI::App *sub : app.get_subcommands({}))
        sub->fallthrough();

    std::ostringstream outStream;
    std::ostringstream errStream;
    int status = -1;
    // CLI11 reports every parse outcome other than success by throwing; its
    // exceptions are caught here and nowhere else.
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        if (error.get_exit_code() == 0) { // --help
            status =
                app.exit(error, outStream, errStream) == 0 ? ExitStatus::OK : ExitStatus::USAGE;
        } else {
            errStream << usageError(app, error) << '\n';
            status = ExitStatus::USAGE;
        }
    }
    if (status < 0) {
        takeRaw(raw, options);
        if (!chosenCommand(app, &options->command)) {
            errStream << "kbmaint: no command given\n" << app.help();
            status = ExitStatus::USAGE;
        } else if (!stationUseProblem(*options).isEmpty()) {
            errStream << "kbmaint: " << stationUseProblem(*options).toStdString() << '\n';
            status = ExitStatus::USAGE;
        }
    }
    *out = outStream.str();
    *err = errStream.str();
    return status;
}
