#include "modules/system/schedule.h"

#include "engine/admin.h"
#include "engine/command_line.h"
#include "engine/own_files.h"
#include "platform/atomic_file.h"
#include "platform/decimal.h"
#include "platform/locations.h"
#include "platform/resources.h"
#include "platform/user.h"

namespace Schedule {
namespace {

std::string serviceTarget() { return "gui/" + Decimal::text(User::uid()) + "/" + label; }

}  // namespace

std::string InstallError::headline(Kind kind) {
    return kind == Kind::writeFailed ? "Could not write the job" : "Wrote the job but could not load it";
}

InstallError::InstallError(Kind kind, const std::string& detail)
    : std::runtime_error(headline(kind) + ": " + detail), kind_(kind), detail_(detail) {}

std::filesystem::path plistURL() {
    return OwnFiles::dailyJobFile();
}

std::filesystem::path logFolder() { return OwnFiles::logFolder(); }

std::string executablePath() {
    if (auto exe = Resources::executablePath()) return exe->string();
    const auto& args = CommandLine::arguments();
    return args.empty() ? std::string() : args.front();
}

Plist::Value makePlist(long long hour, const std::vector<ModuleID>& modules, const std::string& executable) {
    long long clamped = hour < 0 ? 0 : (hour > 23 ? 23 : hour);
    std::string names;
    for (size_t i = 0; i < modules.size(); ++i) {
        if (i) names += ",";
        names += Modules::rawValue(modules[i]);
    }
    using V = Plist::Value;
    return V::makeDict({
        {"Label", V::makeString(label)},
        {"ProgramArguments", V::makeArray({V::makeString(executable), V::makeString("clean"), V::makeString("--apply"),
                                           V::makeString("--json"), V::makeString("--modules"), V::makeString(names)})},
        {"StartCalendarInterval", V::makeDict({{"Hour", V::makeInteger(clamped)}, {"Minute", V::makeInteger(0)}})},
        {"StandardOutPath", V::makeString((logFolder() / "daily.log").string())},
        {"StandardErrorPath", V::makeString((logFolder() / "daily.error.log").string())},
        {"RunAtLoad", V::makeBool(false)},
    });
}

void install(long long hour, const std::vector<ModuleID>& modules) {
    std::string xml = Plist::toXml(makePlist(hour, modules, executablePath()));
    if (xml.empty()) throw InstallError(InstallError::Kind::writeFailed, "could not serialise the job");
    std::string error;
    if (!AtomicFile::makeFolders(logFolder(), &error) || !AtomicFile::makeFolders(plistURL().parent_path(), &error) ||
        !AtomicFile::write(plistURL(), xml, &error))
        throw InstallError(InstallError::Kind::writeFailed, error);

    // Unload the running definition first, so installing again reloads it.
    const std::string launchctl = Admin::tool("/bin/launchctl");
    std::string line = launchctl + " bootout " + Admin::quote(serviceTarget()) + " 2>/dev/null; " + launchctl +
                       " bootstrap " + Admin::quote("gui/" + Decimal::text(User::uid())) + " " +
                       Admin::quote(plistURL().string());
    Admin::Result r = Admin::run(line, true);
    if (!r.ok) throw InstallError(InstallError::Kind::loadFailed, r.output);
}

void uninstall() {
    Admin::run(Admin::tool("/bin/launchctl") + " bootout " + Admin::quote(serviceTarget()), true);
    std::error_code ec;
    std::filesystem::remove(plistURL(), ec);
}

std::optional<long long> installedHour() {
    auto job = Plist::readFile(plistURL(), FileText::kDefaultMaxBytes, FileText::Owner::own);
    if (!job || !job->isDict()) return std::nullopt;
    const Plist::Value* interval = job->get("StartCalendarInterval");
    if (!interval || !interval->isDict()) return std::nullopt;
    for (const auto& [key, value] : interval->dict)
        if (value.type != Plist::Value::Type::integer) return std::nullopt;
    auto hour = interval->integer_("Hour");
    if (!hour) return std::nullopt;
    return *hour;
}

std::vector<std::string> modules(const Plist::Value& job) {
    const Plist::Value* args = job.get("ProgramArguments");
    if (!args || !args->isArray()) return {};
    for (const auto& a : args->array)
        if (!a.isString()) return {};
    for (size_t i = 0; i < args->array.size(); ++i) {
        if (args->array[i].text != "--modules") continue;
        if (i + 1 >= args->array.size()) return {};
        std::vector<std::string> out;
        const std::string& list = args->array[i + 1].text;
        size_t start = 0;
        while (start <= list.size()) {
            size_t comma = list.find(',', start);
            if (comma == std::string::npos) comma = list.size();
            if (comma > start) out.push_back(list.substr(start, comma - start));
            start = comma + 1;
        }
        return out;
    }
    return {};
}

bool isInstalled() {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(plistURL(), ec));
}

InstalledJob read() {
    InstalledJob job;
    job.present = isInstalled();
    job.hour = installedHour();
    if (auto plist = Plist::readFile(plistURL(), FileText::kDefaultMaxBytes, FileText::Owner::own);
        plist && plist->isDict())
        job.moduleNames = modules(*plist);
    return job;
}

}  // namespace Schedule
