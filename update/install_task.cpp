#include "update/install_task.h"

#include <array>
#include "platform/table_row.h"

namespace {

constexpr std::array<InstallTaskInfo, 8> tasks = {{
    {InstallTask::read, "read"},
    {InstallTask::connect, "connect"},
    {InstallTask::compare, "compare"},
    {InstallTask::erase, "erase"},
    {InstallTask::download, "write"},
    {InstallTask::verify, "verify"},
    {InstallTask::disconnect, "disconnect"},
    {InstallTask::reread, "reread"},
}};

}  // namespace

std::span<const InstallTaskInfo> installTasks() { return tasks; }

const char *nameOf(InstallTask task)
{
    const InstallTaskInfo *info = rowWhere(tasks, &InstallTaskInfo::task, task);
    return info ? info->name : "";
}
