#pragma once
// What a scan looked at: a card whose header counts the checked places (and
// the unreadable ones, in amber) and, expanded, lists every place with its
// status. The header is one button that opens and closes the list, with the
// disclosure spring: the places are revealed from the top as the card grows,
// and the chevron turns with it.
#include <QAbstractButton>
#include <vector>

#include "app/controls/card_background.h"
#include "app/controls/motion.h"
#include "engine/scan_model.h"

class CoverageList : public CardBackground {
    Q_OBJECT
public:
    explicit CoverageList(std::vector<CoverageEntry> entries, bool expanded = false, QWidget* parent = nullptr);

    void setEntries(std::vector<CoverageEntry> entries);
    const std::vector<CoverageEntry>& entries() const { return entries_; }
    // Whether the list is open or on its way to open.
    bool isExpanded() const { return expanded_; }
    // animated: the list moves there with the disclosure spring.
    void setExpanded(bool expanded, bool animated = false);
    // How far the list is drawn open: 0 closed, 1 open, between while it moves.
    double openFraction() const { return motion_.value(); }
    QAbstractButton* headerButton() const { return header_; }
    QWidget* rows() const { return rows_; }

private:
    void showOpening(double open);

    std::vector<CoverageEntry> entries_;
    bool expanded_;
    QAbstractButton* header_;
    QWidget* rows_;
    Motion::Tween motion_;
};

namespace CoverageText {
// "Checked <n> of <m> location", "s" unless there is exactly one entry.
QString checked(const std::vector<CoverageEntry>& entries);
// "· <n> unreadable", empty when no entry is unreadable.
QString unreadable(const std::vector<CoverageEntry>& entries);
// "checked · <items>", "not present", "cannot read", "ignored".
QString status(const CoverageEntry& entry);
}  // namespace CoverageText
