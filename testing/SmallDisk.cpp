#include "testing/SmallDisk.h"

#include <filesystem>

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#endif

namespace testfiles {

#ifdef __linux__
namespace {

// Empty once this program's mounts are its own.
std::string& WhyMountsAreShared()
{
    static std::string why = "the test main did not make its mounts private";
    return why;
}

// False in a chroot whose / is a folder of a larger file system: no mount
// there can be made private, and a namespace would only change what the
// program's own path reads back as.
bool RootIsMountPoint()
{
    struct statx root {};
    if (::statx(AT_FDCWD, "/", 0, STATX_BASIC_STATS, &root) != 0 || !(root.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return true;  // the kernel cannot say: try
    return (root.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

}  // namespace
#endif

const std::string& ProgramFolder()
{
    static const std::string folder = [] {
        std::error_code error;
#ifdef __linux__
        std::filesystem::path program = std::filesystem::canonical("/proc/self/exe", error);
        if (!error)
            return program.parent_path().string();
#endif
        return std::filesystem::current_path(error).string();
    }();
    return folder;
}

void MakeMountsPrivate()
{
#ifdef __linux__
    std::string& why = WhyMountsAreShared();
    const std::string scratch = ProgramFolder() + "/test-scratch";
    if (!RootIsMountPoint()) {
        why = "/ is not a mount point here (a chroot?), so no mount can be kept private";
        return;
    }
    if (::unshare(CLONE_NEWNS) != 0) {
        why = std::string("no mount namespace of its own: ") + std::strerror(errno);
        return;
    }
    // Mounts stay shared with the machine's until made private; that needs /
    // to be a mount point, which it is not in a plain chroot.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        why = std::string("its mounts cannot be made private (is / a mount point?): ") + std::strerror(errno);
        return;
    }
    why.clear();
    // Best effort: without it, scratch folders are still removed as each test
    // ends. A folder of its own (shared as a mount point by the programs of
    // the build, each with its own RAM disk there), never one that holds the
    // build, the clone or the working folder.
    ::mkdir(scratch.c_str(), 0755);
    struct stat folder {};
    if (::lstat(scratch.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
        ::mount("tmpfs", scratch.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0)
        ::setenv("TMPDIR", scratch.c_str(), 1);
#endif
}

SmallDisk::SmallDisk(const std::string& folder, int kilobytes, int inodes) : folder_(folder)
{
    std::filesystem::create_directories(folder);
#ifdef __linux__
    if (!WhyMountsAreShared().empty()) {
        whyNot_ = "a mount here could outlive the test: " + WhyMountsAreShared();
        return;
    }
    std::string options = "size=" + std::to_string(kilobytes) + "k";
    if (inodes != 0)
        options += ",nr_inodes=" + std::to_string(inodes);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_)
        whyNot_ = std::string("cannot mount a small tmpfs here: ") + std::strerror(errno);
#else
    (void)kilobytes;
    (void)inodes;
    whyNot_ = "no small disk on this platform";
#endif
}

SmallDisk::~SmallDisk()
{
#ifdef __linux__
    if (mounted_)
        ::umount2(folder_.c_str(), MNT_DETACH);
#endif
}

}  // namespace testfiles
