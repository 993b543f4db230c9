#pragma once
// The result list as assistive technology sees it. Its rows are painted, not
// widgets, so the list gives each part an interface of its own: a tree of
// categories, each with its "Select all in <title>" checkbox, its "Show
// <title>" / "Hide <title>" button and, while open, one checkbox per item
// named "<name>, <safety>, <size>". States follow the report (checked, mixed,
// unavailable for a protected item; expanded; focused on the current row).
class QAccessibleInterface;
class ResultsList;

namespace ResultsAccessible {

QAccessibleInterface* make(ResultsList* list);

}  // namespace ResultsAccessible
