#pragma once
// What a scan looked at: a card whose header counts the checked places (and
// the unreadable ones, in amber) and, expanded, lists every place with its
// status. The header is one button that opens and closes the list.
#include <QAbstractButton>
#include <vector>

#include "app/controls/card_background.h"
#include "engine/scan_model.h"

class CoverageList : public CardBackground {
    Q_OBJECT
public:
    explicit CoverageList(std::vector<CoverageEntry> entries, bool expanded = false, QWidget* parent = nullptr);

    void setEntries(std::vector<CoverageEntry> entries);
    const std::vector<CoverageEntry>& entries() const { return entries_; }
    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded);
    QAbstractButton* headerButton() const { return header_; }

private:
    std::vector<CoverageEntry> entries_;
    bool expanded_;
    QAbstractButton* header_;
    QWidget* rows_;
};

namespace CoverageText {
// "Checked <n> of <m> location", "s" unless there is exactly one entry.
QString checked(const std::vector<CoverageEntry>& entries);
// "· <n> unreadable", empty when no entry is unreadable.
QString unreadable(const std::vector<CoverageEntry>& entries);
// "checked · <items>", "not present", "cannot read", "ignored".
QString status(const CoverageEntry& entry);
}  // namespace CoverageText
