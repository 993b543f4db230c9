#include <gtest/gtest.h>

#include <map>
#include <string>

#include "platform/disk_images.h"
#include "platform/locations.h"
#include "platform/volumes.h"
#include "support/test_env.h"

TEST(MountTable, RealWritableFileSystemsAreVolumes) {
    const char* table =
        "22 28 0:21 / /proc rw,relatime - proc proc rw\n"
        "28 1 254:0 / / rw,relatime - ext4 /dev/vda rw,discard\n"
        "29 28 0:26 / /mnt/tool ro,nosuid - tmpfs tmpfs ro\n"
        "30 28 8:17 / /media/My\\040Disk rw,relatime shared:5 - exfat /dev/sdb1 rw\n"
        "31 28 8:33 / /media/cdrom ro,relatime - iso9660 /dev/sr0 ro\n"
        "32 28 8:49 / /media/ro rw,relatime - ext4 /dev/sdd1 ro\n"
        "33 28 0:50 / /net/share rw - nfs4 server:/export rw\n"
        "34 28 254:0 /srv/sub /bind rw - ext4 /dev/vda rw\n"
        "35 28 0:60 / /overlay rw - overlay overlay rw\n"
        "garbage line\n"
        "36 28 0:61 / relative rw - ext4 /dev/x rw\n"
        // An escaped NUL would reach the system as "/media/": another folder.
        "37 28 8:65 / /media/\\000cut rw - ext4 /dev/sde1 rw\n";
    auto entries = Volumes::parseMountInfo(table);
    std::vector<std::string> volumes;
    for (const auto& e : entries)
        if (Volumes::isVolume(e)) volumes.push_back(e.mountPoint);
    EXPECT_EQ(volumes, (std::vector<std::string>{"/", "/media/My Disk", "/net/share"}));
}

TEST(MountTable, CapacityOfTheRoot) {
    auto c = Volumes::capacity("/");
    ASSERT_TRUE(c.has_value());
    EXPECT_GT(c->total, 0);
    EXPECT_GE(c->total, c->available);
}

TEST(MountTable, VolumeNameIsTheLabelLinkedToItsDevice) {
    testing_support::TempDir dir;
    const auto dev = dir.path() / "dev";
    const auto labels = dev / "disk" / "by-label";
    testing_support::writeFile(dev / "sda1", "");
    testing_support::writeFile(dev / "sdb1", "");
    testing_support::makeFolders(labels);
    testing_support::makeSymlink("../../sdb1", labels / "Backup");
    testing_support::makeSymlink("../../sda1", labels / "Macintosh\\x20HD");
    testing_support::makeSymlink("../../gone", labels / "Dangling");
    const auto table = Volumes::parseMountInfo("28 1 254:0 / / rw - ext4 " + (dev / "sda1").string() + " rw\n" +
                              "30 28 8:17 / /media/b rw - ext4 " + (dev / "sdb1").string() + " rw\n" +
                              "31 28 0:60 / /overlay rw - overlay overlay rw\n");
    EXPECT_EQ(Volumes::labelOf("/", table, labels), "Macintosh HD");
    EXPECT_EQ(Volumes::labelOf("/media/b", table, labels), "Backup");
    EXPECT_EQ(Volumes::labelOf("/overlay", table, labels), std::nullopt);
    EXPECT_EQ(Volumes::labelOf("/nowhere", table, labels), std::nullopt);
    EXPECT_EQ(Volumes::labelOf("/", table, dir.path() / "no-labels"), std::nullopt);
}

TEST(LocationsPaths, StandardizeAndSystemView) {
    EXPECT_EQ(Locations::standardize("/a/b/../c/./d/"), "/a/c/d");
    EXPECT_EQ(Locations::standardize("/../x"), "/x");
    EXPECT_EQ(Locations::standardize("/"), "/");
    Locations::setRoot("/tmp/r/");
    EXPECT_EQ(Locations::system("/Library/Caches").string(), "/tmp/r/Library/Caches");
    EXPECT_EQ(Locations::systemView("/tmp/r/Library/x"), "/Library/x");
    EXPECT_EQ(Locations::systemView("/tmp/rx/Library"), "/tmp/rx/Library");
    Locations::setRoot("");
    EXPECT_EQ(Locations::system("/Library").string(), "/Library");
}

TEST(DiskImagesTest, AttachedImagesFromTheToolsListing) {
    // As "hdiutil info -plist" prints it: one image with a partition map and
    // two volumes, one attached without a volume, and entries no one can use.
    const std::string listing = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>framework</key><string>671.100.2</string>
	<key>images</key>
	<array>
		<dict>
			<key>image-path</key><string>/Users/me/Downloads/Tool Installer.dmg</string>
			<key>image-type</key><string>read-only disk image</string>
			<key>system-entities</key>
			<array>
				<dict><key>content-hint</key><string>GUID_partition_scheme</string><key>dev-entry</key><string>/dev/disk4</string></dict>
				<dict><key>dev-entry</key><string>/dev/disk4s1</string><key>mount-point</key><string>/Volumes/Tool</string></dict>
				<dict><key>dev-entry</key><string>/dev/disk4s2</string><key>mount-point</key><string>/Volumes/Tool Extras</string></dict>
			</array>
		</dict>
		<dict>
			<key>image-path</key><string>/Users/me/Documents/Blank.sparseimage</string>
			<key>system-entities</key>
			<array><dict><key>dev-entry</key><string>/dev/disk5</string></dict></array>
		</dict>
		<dict>
			<key>image-path</key><string>relative.dmg</string>
			<key>system-entities</key>
			<array><dict><key>mount-point</key><string>/Volumes/Relative</string></dict></array>
		</dict>
		<dict>
			<key>image-path</key><string>/Users/me/odd.iso</string>
			<key>system-entities</key>
			<array><dict><key>mount-point</key><integer>3</integer></dict><string>stray</string></array>
		</dict>
		<string>not an image</string>
	</array>
</dict>
</plist>
)";
    EXPECT_EQ(DiskImages::parseAttached(listing),
              (std::map<std::string, std::string>{{"/Volumes/Tool", "/Users/me/Downloads/Tool Installer.dmg"},
                                                  {"/Volumes/Tool Extras", "/Users/me/Downloads/Tool Installer.dmg"}}));
    for (const char* nothing : {"", "hdiutil: info: command not found", "<plist><array/></plist>",
                                "<plist><dict><key>images</key><string>x</string></dict></plist>"})
        EXPECT_TRUE(DiskImages::parseAttached(nothing).empty()) << nothing;
}
