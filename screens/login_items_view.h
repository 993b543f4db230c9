#pragma once
// The startup items screen: what starts by itself at login or at boot,
// grouped by kind (login items macOS manages, the user's launch agents, the
// system's launch agents and daemons), one row per entry. A launch agent or
// daemon can be switched on or off and removed; a login item's row opens the
// Login Items pane of System Settings instead. The screen reads the entries
// once when it appears; every action reads them again when it ends.
#include <QString>
#include <QWidget>
#include <vector>

#include "app/shell/screen_catalog.h"
#include "modules/protection/login_items.h"

class BusyIndicator;
class QAbstractButton;
class QScrollArea;
class QStackedLayout;
class ToggleSwitch;

class LoginItemsView : public QWidget {
    Q_OBJECT
public:
    explicit LoginItemsView(const ScreenContext& context, QWidget* parent = nullptr);

    // The heading of one group: its kind and how many entries it holds.
    struct Header {
        LoginEntry::Scope scope;
        int count = 0;
        // The kind's raw value ("User Launch Agent"), which identifies the group.
        std::string id() const { return std::string(LoginEntry::rawValue(scope)); }
    };
    struct Group {
        Header header;
        std::vector<LoginEntry> entries;
    };

    // The entries by kind, in the fixed order login items, user agents,
    // system agents, system daemons, each in list order; kinds without
    // entries give no group.
    static std::vector<Group> grouped(const std::vector<LoginEntry>& entries);
    // "Your Launch Agents · 3 items"; one entry reads "item".
    static QString heading(const Header& header);
    // The group's title: "Open at Login", "Your Launch Agents", ...
    static QString title(LoginEntry::Scope scope);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showEntries();
    void showLoading();

    AppState& state_;
    SystemServices& services_;
    bool hasLoaded_ = false;
    BusyIndicator* spinner_;
    QWidget* buttons_;
    QStackedLayout* content_;
    QWidget* empty_;
    QScrollArea* list_;
};

// One startup entry: its kind's symbol, its name and what it runs, its
// badges, and its control (a switch and a remove button, or the link to
// System Settings for a login item). A switch or removal runs through the
// state; the row takes no clicks until the entries are read again.
class LoginItemRow : public QWidget {
    Q_OBJECT
public:
    LoginItemRow(AppState& state, SystemServices& services, LoginEntry entry, QWidget* parent = nullptr);

    const LoginEntry& entry() const { return entry_; }
    // Null for a login item.
    ToggleSwitch* toggle() const { return switch_; }
    QAbstractButton* removeButton() const { return remove_; }

private:
    void setBusy();

    LoginEntry entry_;
    ToggleSwitch* switch_ = nullptr;
    QAbstractButton* remove_ = nullptr;
};
