#pragma once
// The sidebar's first row: a ring of how full the startup disk is (accent,
// amber past three quarters, rose past nine tenths), the disk's name, its free
// space and its size.
#include <QColor>
#include <QWidget>
#include <optional>
#include <string>
#include <utility>

#include "engine/fs.h"

class ProgressRing;
class TextLabel;

namespace DiskHeader {
// The used part of the volume, 0 without figures or size, never below 0.
double usedFraction(const std::optional<FS::VolumeStats>& volume);
// The ring's two colours, top to bottom: rose above 0.9, amber above 0.75,
// else the accent pair.
std::pair<QColor, QColor> ringColors(double usedFraction);
// "<free> free", and "of <total>" when there are figures.
QString freeLine(const std::optional<FS::VolumeStats>& volume);
QString totalLine(const FS::VolumeStats& volume);
// The name of the startup volume, "Startup Disk" when it has none.
QString volumeName(const std::optional<std::string>& name);
}  // namespace DiskHeader

class DiskHeaderRow : public QWidget {
    Q_OBJECT
public:
    explicit DiskHeaderRow(const QString& volumeName, QWidget* parent = nullptr);

    void display(const std::optional<FS::VolumeStats>& volume);
    ProgressRing* ring() const { return ring_; }

private:
    ProgressRing* ring_;
    TextLabel* name_;
    TextLabel* free_;
    TextLabel* total_;
};
