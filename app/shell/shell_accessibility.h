#pragma once
// What assistive technology hears of the shell's own drawn parts: the
// sidebar is a list whose rows are its items, the selected one marked (and
// focused while the list has the focus); a banner is an alert read by its
// text; the cleanup summary is a dialog named by its title. Installed by
// those views themselves, once.
namespace ShellAccessibility {

void install();

}  // namespace ShellAccessibility
