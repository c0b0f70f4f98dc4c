#pragma once

#include <span>

// The steps of work on one adapter, in the order they come. The install
// sequence runs connect to disconnect; reading the installed version before
// it and again after it is the command-line tool's.
enum class InstallTask {
    read,        // open the adapter and read what its boot loader reports
    connect,     // connect to the boot loader (after a reboot into it, where the variant needs one)
    compare,     // compare the flash with the carried image by CRC, writing nothing
    erase,
    download,    // write the carried image
    verify,
    disconnect,
    reread,      // find the adapter again after the install and read its version
};

struct InstallTaskInfo {
    InstallTask task;
    const char *name;  // as JSON carries it: "erase"
};

std::span<const InstallTaskInfo> installTasks();
const char *nameOf(InstallTask task);
