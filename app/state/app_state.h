#pragma once
// The one state object of the window. Every screen reads its published values
// and calls its actions; no screen changes a record itself. It lives on the
// main thread: every value is read and written there, and every action is
// called there and returns at once. An action's engine work runs through the
// executor off the main thread, and its results come back to the main thread
// as posted calls that are dropped once the state is gone.
//
// Every write of a published value emits its change signal (one per value or
// per group of values, listed with the values below), so a widget can show
// the current value and redraw on each signal.
//
// The cancel token: one scan runs at a time. The scans, the three loaders and
// the update check cancel the current token and install a new one; so do the
// application listing, the orphan scan and the disk map, which replace it.
// A finished scan, loader, orphan scan, update check or disk map publishes
// only while its token is still the current one (the same object), so a
// superseded result simply disappears. Stop cancels the current token and
// keeps it, so the stopped scan stores what it had found.
//
// The progress line and the active scan belong to the action that set them
// last. Every action that shows its work (the scans and loaders, the
// listing, the leftover search, the uninstall, the thinning, the cleaning)
// takes them when it begins and gives back, when it ends, only what no later
// action has taken since: a late result still publishes its data, but never
// ends a newer action's progress, never clears its active scan and never
// changes the shown module, and a late progress step never moves the line.
#include <QObject>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/state/cleanup_summary.h"
#include "app/state/executor.h"
#include "engine/fs.h"
#include "engine/ignores.h"
#include "engine/module_id.h"
#include "engine/scan_model.h"
#include "modules/protection/login_items.h"
#include "modules/system/disk_map.h"
#include "modules/system/maintenance.h"
#include "modules/system/privacy_extras.h"
#include "modules/system/processes.h"
#include "modules/system/schedule.h"
#include "modules/system/spotlight_search.h"
#include "modules/system/uninstaller.h"
#include "modules/system/updater.h"
#include "platform/uuid.h"

class AppState : public QObject {
    Q_OBJECT

public:
    // The window's transient message; a newer one replaces an older one, and
    // each is cleared 4.5 seconds after it was raised unless replaced.
    struct Banner {
        Uuid id = Uuid::random();
        std::string text;
        bool isError = false;
    };

    static constexpr std::chrono::milliseconds kBannerLifetime{4500};

    // arguments: the process arguments, read for "--module <name>".
    explicit AppState(std::shared_ptr<Executor> executor, std::vector<std::string> arguments,
                      QObject* parent = nullptr);
    // The application's state: the thread-pool executor and the process arguments.
    explicit AppState(QObject* parent = nullptr);
    // Cancels the work still running for it; nothing of it is published.
    ~AppState() override;

    // Where the state's work runs. Screens run no engine work of their own:
    // they call the actions. A screen may post a call of its own to the main
    // thread through it, tied to a Lifeline it holds.
    const std::shared_ptr<Executor>& executor() const { return executor_; }

    // ---- Published values ------------------------------------------------

    // The module shown in the detail pane (the sidebar's selection); at start
    // the one named by "--module", else Smart Scan. Signal: moduleChanged.
    std::optional<ModuleID> module() const { return module_; }
    void setModule(std::optional<ModuleID> module);

    // Free and total bytes of the startup volume, read at start and again at
    // the end of each scan and removal; absent when unreadable. Signal: volumeChanged.
    const std::optional<FS::VolumeStats>& volume() const { return volume_; }

    // Full Disk Access, probed once at start; never changes.
    bool hasFullDiskAccess() const { return hasFullDiskAccess_; }

    // The progress line of the running action. Signal: progressChanged.
    const ScanProgress& progress() const { return progress_; }
    // The module whose action runs; absent when none. Signal: activeScanChanged.
    std::optional<ModuleID> activeScan() const { return activeScan_; }
    // Whether the module counts as scanning: the progress runs and the active
    // scan is that module, or a removal of that module runs.
    bool isScanning(ModuleID module) const;
    // The cancel token of the current scan; null before the first one. Not published.
    const ScanTokenRef& token() const { return token_; }

    // The module's last report, or the empty report when it has none (which
    // is not stored). Signals: reportChanged when a report is stored whole,
    // selectionChanged when items of it are ticked or cleared.
    const ScanReport& report(ModuleID module) const;
    bool hasReport(ModuleID module) const;
    // The module's report as the result lists share it instead of copying
    // it: the stored object itself, null when the module has none. Only the
    // state changes it, in place for ticks, and it emits selectionChanged
    // before the changing call returns; a new report is a new object,
    // announced with reportChanged.
    std::shared_ptr<const ScanReport> sharedReport(ModuleID module) const { return reports_[size_t(module)]; }

    // A report's figures, kept up to date as reports are stored and items
    // ticked, so a screen redrawn on every tick or progress step never walks
    // the report. Signals: those of the report.
    struct ReportTotals {
        int items = 0;
        int64_t bytes = 0;
        int selectedItems = 0;
        int64_t selectedBytes = 0;
        int reviewItems = 0;  // items rated for review
        int64_t reviewBytes = 0;

        bool operator==(const ReportTotals&) const = default;
        // What one category holds, counted item by item.
        static ReportTotals of(const ScanCategory& category);
        ReportTotals& operator+=(const ReportTotals& other);
        ReportTotals& operator-=(const ReportTotals& other);
    };
    // The module's figures (all zero without a report), and those of one
    // category of its report (out of range: all zero).
    const ReportTotals& totals(ModuleID module) const { return totals_[size_t(module)]; }
    ReportTotals totals(ModuleID module, size_t category) const;
    // report() of smartScan, systemJunk, trashBins, mailAttachments, privacy, malware.
    const ScanReport& smartScan() const { return report(ModuleID::smartScan); }
    const ScanReport& junk() const { return report(ModuleID::systemJunk); }
    const ScanReport& trash() const { return report(ModuleID::trashBins); }
    const ScanReport& mail() const { return report(ModuleID::mailAttachments); }
    const ScanReport& privacy() const { return report(ModuleID::privacy); }
    const ScanReport& malware() const { return report(ModuleID::malware); }

    // The last cleanup's summary; setting it opens the summary sheet, and the
    // sheet's dismissal sets it to nothing. The shredder screen sets its own.
    // Signal: lastCleanupChanged.
    const std::optional<CleanupSummary>& lastCleanup() const { return lastCleanup_; }
    void setLastCleanup(std::optional<CleanupSummary> summary);

    // The window's transient message. Signal: bannerChanged.
    const std::optional<Banner>& banner() const { return banner_; }
    void showBanner(std::string text, bool isError);
    void dismissBanner();

    // Uninstaller. Signals: appsChanged, loadingAppsChanged, selectedAppChanged,
    // leftoversChanged, orphanCategoriesChanged, scanningOrphansChanged,
    // spotlightSensitivityChanged.
    const std::vector<InstalledApp>& apps() const { return apps_; }
    bool isLoadingApps() const { return isLoadingApps_; }
    const std::optional<InstalledApp>& selectedApp() const { return selectedApp_; }
    const std::vector<Uninstaller::Leftover>& leftovers() const { return leftovers_; }
    // The leftover at that position ticked or cleared (out of range: nothing).
    void setLeftoverSelected(size_t index, bool selected);
    const std::vector<ScanCategory>& orphanCategories() const { return orphanCategories_; }
    // One item of an orphan category, or every item of it, ticked or cleared
    // (out of range: nothing). Protected items keep their state.
    void setOrphanItemSelected(size_t category, size_t item, bool selected);
    void setOrphanCategorySelected(size_t category, bool selected);
    bool scanningOrphans() const { return scanningOrphans_; }
    SpotlightSearch::Sensitivity spotlightSensitivity() const { return spotlightSensitivity_; }
    void setSpotlightSensitivity(SpotlightSearch::Sensitivity sensitivity);

    // Update check, one group. Signal: updaterChanged.
    const std::vector<AppUpdate>& appUpdates() const { return appUpdates_; }
    int updaterChecked() const { return updaterChecked_; }
    int updaterWithoutFeed() const { return updaterWithoutFeed_; }
    bool updaterHasRun() const { return updaterHasRun_; }
    bool updaterRunning() const { return updaterRunning_; }
    bool updaterIncludesPrereleases() const { return updaterIncludesPrereleases_; }
    void setUpdaterIncludesPrereleases(bool include);

    // Disk map: the last tree and the breadcrumb, root first. The screen
    // writes a prefix of the breadcrumb back when a crumb is pressed.
    // Signal: diskMapChanged.
    const SpaceNodeRef& spaceRoot() const { return spaceRoot_; }
    const std::vector<SpaceNodeRef>& spacePath() const { return spacePath_; }
    void setSpacePath(std::vector<SpaceNodeRef> path);

    // Maintenance tasks, the catalog's rows with their last run. Signal: tasksChanged.
    const std::vector<MaintenanceTask>& tasks() const { return tasks_; }
    // Startup items. Signal: loginEntriesChanged.
    const std::vector<LoginEntry>& loginEntries() const { return loginEntries_; }
    // Privacy permissions and remembered Wi-Fi networks. Signal: privacyExtrasChanged.
    const std::vector<PermissionGrant>& permissionGrants() const { return permissionGrants_; }
    const std::vector<std::string>& wifiNetworks() const { return wifiNetworks_; }
    // Running applications using much CPU or memory, and unresponsive ones.
    // Signal: processesChanged.
    const std::vector<RunningApp>& heavyConsumers() const { return heavyConsumers_; }
    const std::vector<RunningApp>& hungApplications() const { return hungApplications_; }

    // A thinning is running. Signal: thinningChanged.
    bool thinning() const { return thinning_; }
    // The ticked items of System Junk's "universal-binaries" category, in
    // item order, and how many they are. Change with the System Junk report
    // (reportChanged, selectionChanged of systemJunk).
    std::vector<ScanItem> selectedBinaries() const;
    int selectedBinaryCount() const;
    // The signing tool was there at the last System Junk scan (looked for off
    // the main thread, with the scan), a binary is ticked and no thinning runs.
    bool canThin() const;

    // An address from outside input (an update feed) as the window may open
    // it: an absolute http or https address with a host; nothing otherwise,
    // so a link can never run a script or open a file.
    static std::optional<std::string> webAddress(const std::optional<std::string>& text);

    // Whether an application counts as a heavy consumer: at least 20 % CPU,
    // or more than 1,572,863,999 bytes (1,500 MiB) of memory.
    static bool isHeavyConsumer(const RunningApp& app);

    // ---- Report selection ------------------------------------------------

    // Flips the first item with that id in the module's report, whatever its
    // safety; stores the empty report for a module that had none.
    void toggle(const Uuid& id, ModuleID module);
    // Flips the item at that position of the module's report (out of range:
    // nothing); what list rows call, without searching.
    void toggle(ModuleID module, size_t category, size_t item);
    // Ticks or clears every item of the category with that id (of every
    // category when none is named); protected items keep their state.
    void setSelection(bool selected, const std::optional<std::string>& categoryID, ModuleID module);

    // ---- A selection is the user's across screens ------------------------
    //
    // One path can stand in several lists at once: module reports, the Smart
    // Scan report (made of copies), the leftovers, the orphan categories. What
    // the user ticks or clears in one of them holds in all: the items with the
    // same path follow at once (a protected item is never ticked this way),
    // and a path the user cleared is cleared in every list stored later, a
    // rescan of its own module included, until the user ticks it again or the
    // application quits. toggle(), setSelection(), setLeftoverSelected() and
    // the orphan ticks are the user's choices; nothing else is.
    //
    // Whatever a removal took away, whichever screen and road it came from
    // (a cleaning, an uninstall, orphans, a startup item, the shredder),
    // leaves every stored report, the leftovers and the orphan categories:
    // the items at those paths or inside them go (reportChanged,
    // leftoversChanged, orphanCategoriesChanged), a category left without
    // items goes, and a report left with none has no categories, so its
    // screen shows its empty state. A list stored later by a scan begun
    // before the removal drops them too.

    // ---- Scans -----------------------------------------------------------

    // The progress callback every action hands the engine, callable from any
    // thread: each call moves the progress line on the main thread, unless
    // the fraction moved by less than 0.01 and the message stayed the same.
    // It belongs to the action holding the line when it is made (an action
    // makes it right after it begins): once a later action holds the line,
    // its calls change nothing, whatever the token says. Nothing either once
    // the state is gone.
    ProgressCallback makeProgress();

    // Stop: cancels the current token (which stays current) and ends the progress line.
    void cancelScan();

    void scanSystemJunk();
    void scanMail();
    void scanTrash();
    void scanPhotos();
    void scanMusic();
    void scanLargeAndOld();
    void scanMalware();
    void scanExtensions();
    void scanPrivacy();
    // Eight modules in one task; stores each module's report and the Smart
    // Scan report made of the first seven's categories that hold items.
    void smartScanAll();
    // Repeats what the shown module's screen last did (nothing for the
    // shredder, maintenance or no module).
    void rescanCurrent();

    // ---- Cleaning --------------------------------------------------------

    // Removes the selected items of the report (the module's current one):
    // those needing administrator rights in one privileged batch, the others
    // for good, or to the Trash when toTrash is set (Smart Scan's Mail and
    // adware categories always go to the Trash). A path the user cleared on
    // any screen is left out, even when the report has it ticked. Records the
    // cleanup in the history with the bytes of what it removed itself (an
    // item already gone counts for nothing), sets lastCleanup, tells every
    // list what is gone and scans the module again. With nothing selected it
    // only raises the banner "Nothing is selected.".
    //
    // One removal runs at a time: while it runs, its progress line reads
    // "Removing 37 of 124 items…", another clean() only raises a banner, and
    // no scan of the module cleaned (for Smart Scan, of the modules it
    // covers) starts. Stop (cancelScan() while the removal shows its line,
    // or stopRemoval()) stops it between items: the item under way is
    // finished, the rest stays, and the summary and the one history record
    // say what went and that it was stopped.
    void clean(const ScanReport& report, ModuleID module, bool toTrash);
    // Whether a removal runs. Signal: removalChanged.
    bool isRemoving() const { return removal_.has_value(); }
    void stopRemoval();

    // ---- Uninstaller and orphans ----------------------------------------

    // Lists the installed applications, unless they are listed already or
    // being listed (Rescan empties the list first). A listing stopped part-way
    // is not kept.
    void loadApps();
    // Empties the list and lists the applications again.
    void reloadApps();
    // Picks an application (or none) and looks for its leftovers; a search
    // whose application is no longer picked when it ends is dropped.
    void select(std::optional<InstalledApp> app);
    // Quits, unregisters and trashes the picked application with its ticked
    // leftovers; the summary reports it and the application leaves the list.
    void uninstallSelected();
    // Looks for support files no installed application owns (nothing while
    // one such scan runs).
    void scanOrphans();
    // Removes the ticked items of the category (as the pane shows it) to the
    // Trash, those needing administrator rights in one privileged batch. The
    // removed items then leave the category; what was not ticked or could not
    // be removed stays, and a category left empty leaves the list.
    void removeOrphanCategory(const ScanCategory& category);

    // ---- Tools -----------------------------------------------------------

    // Reads the startup items and the report of broken ones (nothing while
    // a load runs).
    void loadLoginItems();
    // Switches a launch agent or daemon on or off, or switches it off and
    // removes its property list (the system's behind the administrator
    // prompt), off the main thread. A banner says how it went (an error as
    // the entry's name, ": " and the message), and the entries are read again,
    // a load that began before the action ended included.
    void setLoginItemEnabled(const LoginEntry& entry, bool enabled);
    void removeLoginItem(const LoginEntry& entry);
    // Reads the privacy permissions and the remembered Wi-Fi networks.
    void loadPrivacyExtras();
    // Resets the permission off the main thread; the list and a banner say
    // how it went.
    void revoke(const PermissionGrant& grant);
    // Samples the running applications: the heavy consumers and the hung ones.
    void loadProcesses();
    // Asks the application to quit (force: at once); a banner says how it went.
    void quit(const RunningApp& app, bool force);
    // Runs the maintenance task with that id: its row shows it running, then
    // its outcome; a banner says how it ended. An unavailable task only
    // raises an error banner.
    void runTask(const std::string& id);

    // ---- Update check, thinning, disk map --------------------------------

    // Reads the installed applications' update feeds (nothing while a check
    // runs), with the pre-release choice as it stands once they are listed.
    void checkForUpdates();
    // Thins the ticked universal binaries (Stop does not reach it), then
    // shows the summary and scans System Junk again.
    void thinSelectedBinaries();
    // Measures the folder as a tree four levels deep.
    void buildDiskMap(const std::filesystem::path& root);
    // Opens a node of the disk map: the root cuts the breadcrumb back to the
    // root alone, any other node is appended.
    void drill(const SpaceNodeRef& node);

    // ---- Shredder, sizes and the settings window's writes ------------------
    //
    // These run off the main thread and answer the screen that asked on the
    // main thread through its receiver (a Lifeline it holds), so a screen that
    // has gone gets nothing; what the state publishes itself (a summary) still
    // comes. None of them takes part in the one-scan rule: they set neither
    // the progress line nor the active scan, and cancel nothing.

    // The bytes an item holds: a folder its whole contents, each item with a
    // set of its own, as the shredder lists it.
    void measure(const std::filesystem::path& url, Executor::Receiver receiver, std::function<void(int64_t)> done);

    // Overwrites the items once and deletes them; nothing stops it. Each
    // progress message goes to message(); at the end the summary titled
    // "Shredder" becomes lastCleanup (no history entry, the volume not read
    // again) and done() gets the paths that were shredded.
    void shred(std::vector<ScanItem> items, Executor::Receiver receiver,
               std::function<void(const std::string&)> message,
               std::function<void(const std::vector<std::string>&)> done);

    // Adds each path to the ignore list, or removes the entry as it is stored;
    // done() gets what became of each path, in order.
    using IgnoreEdits = std::vector<std::pair<std::string, Ignores::Edit>>;
    void addIgnored(std::vector<std::filesystem::path> paths, Executor::Receiver receiver,
                    std::function<void(IgnoreEdits)> done);
    void removeIgnored(std::string path, Executor::Receiver receiver, std::function<void(Ignores::Edit)> done);

    // The daily cleanup job as installed, read back from its property list
    // now (the command line may have changed it since); reading changes
    // nothing, and runs on the calling thread (one small file). Not
    // published: the job's file is its only record.
    Schedule::InstalledJob dailyJob() const;
    // The modules the job can be given, in the order they are offered.
    static constexpr const std::array<ModuleID, 6>& dailyJobModules() { return Schedule::cleanableModules; }
    // The folder the job's runs write their logs to.
    std::filesystem::path dailyJobLogFolder() const;
    // What installing or removing the daily cleanup job left: whether the
    // job's file is there now, and the error when it failed.
    struct DailyJobChange {
        bool installed = false;
        std::optional<std::string> error;
    };
    // Installs the job to run every day at the hour with the modules
    // (replacing the one there), or removes it.
    void installDailyCleanup(int hour, std::vector<ModuleID> modules, Executor::Receiver receiver,
                             std::function<void(DailyJobChange)> done);
    void removeDailyCleanup(Executor::Receiver receiver, std::function<void(DailyJobChange)> done);

Q_SIGNALS:
    void moduleChanged();
    void volumeChanged();
    void progressChanged();
    void activeScanChanged();
    // A report was stored whole for the module (a new scan, or the empty one).
    void reportChanged(ModuleID module);
    // Items of the module's report were ticked or cleared: one item, every
    // item of one category (item -1), or of every category (both -1).
    void selectionChanged(ModuleID module, int category, int item);
    void lastCleanupChanged();
    // A removal began or ended.
    void removalChanged();
    void bannerChanged();
    void appsChanged();
    void loadingAppsChanged();
    void selectedAppChanged();
    void leftoversChanged();
    void orphanCategoriesChanged();
    void scanningOrphansChanged();
    void spotlightSensitivityChanged();
    void updaterChanged();
    void diskMapChanged();
    void tasksChanged();
    void loginEntriesChanged();
    void privacyExtrasChanged();
    void processesChanged();
    void thinningChanged();

private:
    using Work = std::function<ScanReport(const ScanTokenRef&, const ProgressCallback&)>;

    // What an action that shows its work has taken: the active scan, the
    // progress line, or both, keyed by its token. A scan's token is the
    // state's current one; an action that cancels nothing has one of its own
    // that nobody else holds.
    struct Action {
        ScanTokenRef token;
        bool active = false;
        bool progress = false;
    };
    // Marks the module active (when one is given) and starts the progress
    // line with the message (when one is given), each held by the action.
    Action beginAction(ScanTokenRef token, std::optional<ModuleID> active, std::optional<std::string> message);
    // Gives back what the action still holds: the active scan goes, the
    // progress line stops at fraction 1 with its message kept. What a later
    // action took stays as that action has it. True when the action still
    // held everything it took, that is when nothing began since.
    bool endAction(const Action& action);

    // The scan driver: a new current token (the one before it cancelled)
    // that marks the module active and starts the progress line; its end
    // reads the volume afresh.
    Action beginScan(ModuleID module, const std::string& message);
    void endScan(const Action& action);
    // probeSigningTool: also looks whether the signing tool is there, for canThin().
    void runScan(ModuleID module, const std::string& message, Work work, bool probeSigningTool = false);
    // Ends what is shown, whoever shows it (Stop); the holders stay.
    void stopShown(bool active, bool progress);
    // The known applications when there are any, else the installed ones;
    // nothing when the token stopped the listing part-way: a partial list
    // would make the applications it misses look uninstalled, their support
    // files orphaned and their updates unchecked.
    static std::optional<std::vector<InstalledApp>> listApps(const std::vector<InstalledApp>& known,
                                                             const ScanTokenRef& token,
                                                             const ProgressCallback& progress);
    // loadLoginItems() whether or not a load runs.
    void readLoginItems();
    // The entries and their report read again beside a scan that runs for
    // another module, with a token of their own: that scan's token and
    // progress line are left alone. A load of the startup items begun
    // meanwhile reads them afresh itself and ends this read.
    void rereadLoginItemsBeside();
    // The banner of a startup-item action, then the entries read afresh.
    void finishLoginItemAction(const std::string& name, const LoginItems::ActionOutcome& outcome);
    // runScan() with the module's own scan, as its screen runs it.
    void runModuleScan(ModuleID module, const std::string& message);
    void applyProgress(double fraction, const std::string& message);
    // Whether the removal under way keeps a scan of the module from starting.
    bool removalBlocks(ModuleID module) const;

    // Runs work() off the main thread, then done(result) on the main thread
    // while this state exists.
    template <class Result>
    void inBackground(std::function<Result()> work, std::function<void(Result)> done);

    // A new message for the progress line, from any thread (fraction and
    // running flag unchanged), held as makeProgress() holds it.
    std::function<void(const std::string&)> makeMessage();

    // Cancels the current token and installs a new one, which it returns.
    // The new token holds what the one it replaces held: that action's end
    // will never come, its result being dropped.
    ScanTokenRef newToken();
    // Posts a call to the main thread for this state, from any thread; the
    // call is dropped once the state is gone.
    std::function<void(Executor::Job)> mainPoster();

    // Writers that announce the change.
    void setProgress(ScanProgress progress);
    void setActiveScan(std::optional<ModuleID> module);
    void storeReport(ModuleID module, ScanReport report);
    // Flips one item of a stored report, its figures with it, and announces it.
    void flip(ModuleID module, ScanReport& report, size_t category, size_t item);
    // The module's figures after one item of the category was ticked or cleared in place.
    void countTick(ModuleID module, size_t category, const ScanItem& item);
    void refreshVolume();
    void setApps(std::vector<InstalledApp> apps);
    void setLoadingApps(bool loading);
    void setScanningOrphans(bool scanning);
    void setThinning(bool thinning);
    bool isCurrent(const ScanTokenRef& token) const { return token_ == token; }
    ScanReport* storedReport(ModuleID module);

    // What a removal took away: every list lets go of it (see above).
    void itemsRemoved(const std::vector<std::filesystem::path>& gone);
    // The user ticked or cleared the items at these paths: every list follows.
    void followChoice(const std::vector<std::string>& paths, bool selected);
    // What a list about to be stored cannot know yet: the paths the user
    // cleared are cleared, and what was removed since the current token came
    // is dropped with the categories it empties. True when it changed anything.
    bool applyKnown(std::vector<ScanCategory>& categories) const;
    void applyKnown(std::vector<Uninstaller::Leftover>& leftovers) const;

    std::shared_ptr<Executor> executor_;
    Lifeline lifeline_;

    std::optional<ModuleID> module_ = ModuleID::smartScan;
    std::optional<FS::VolumeStats> volume_;
    bool hasFullDiskAccess_ = false;
    ScanProgress progress_;
    std::optional<ModuleID> activeScan_;
    ScanTokenRef token_;
    // The token of rereadLoginItemsBeside()'s read under way, if any.
    ScanTokenRef besideToken_;
    // The actions holding the active scan and the progress line.
    ScanTokenRef activeHolder_;
    ScanTokenRef progressHolder_;
    std::array<std::shared_ptr<ScanReport>, Modules::kCount> reports_;
    // Each report's figures, and those of each of its categories.
    std::array<ReportTotals, Modules::kCount> totals_;
    std::array<std::vector<ReportTotals>, Modules::kCount> categoryTotals_;
    // Paths the user cleared, for as long as the application runs.
    std::unordered_set<std::string> cleared_;
    // Paths removed since the current token came: a scan under that token may
    // have seen them before they went.
    std::vector<std::string> removedSinceToken_;
    mutable ScanReport emptyReport_;
    bool signingTool_ = false;
    std::optional<CleanupSummary> lastCleanup_;
    // The removal under way: its module and the token that stops it.
    struct Removal {
        ModuleID module;
        ScanTokenRef stop;
    };
    std::optional<Removal> removal_;
    std::optional<Banner> banner_;
    std::vector<InstalledApp> apps_;
    bool isLoadingApps_ = false;
    std::optional<InstalledApp> selectedApp_;
    std::vector<Uninstaller::Leftover> leftovers_;
    std::vector<ScanCategory> orphanCategories_;
    bool scanningOrphans_ = false;
    SpotlightSearch::Sensitivity spotlightSensitivity_ = SpotlightSearch::Sensitivity::enhanced;
    std::vector<AppUpdate> appUpdates_;
    int updaterChecked_ = 0;
    int updaterWithoutFeed_ = 0;
    bool updaterHasRun_ = false;
    bool updaterRunning_ = false;
    bool updaterIncludesPrereleases_ = false;
    SpaceNodeRef spaceRoot_;
    std::vector<SpaceNodeRef> spacePath_;
    std::vector<MaintenanceTask> tasks_;
    std::vector<LoginEntry> loginEntries_;
    std::vector<PermissionGrant> permissionGrants_;
    std::vector<std::string> wifiNetworks_;
    std::vector<RunningApp> heavyConsumers_;
    std::vector<RunningApp> hungApplications_;
    bool thinning_ = false;
};

template <class Result>
void AppState::inBackground(std::function<Result()> work, std::function<void(Result)> done) {
    runThenPost(executor_, lifeline_.receiver(), std::move(work), std::move(done));
}
