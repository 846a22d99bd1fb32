#include "testing/SmallDisk.h"

#include <filesystem>

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>
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

}  // namespace
#endif

void MakeMountsPrivate()
{
#ifdef __linux__
    std::string& why = WhyMountsAreShared();
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
    std::error_code error;
    std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    // Best effort: without it, scratch folders are still removed as each test ends.
    if (!error)
        ::mount("tmpfs", temp.c_str(), "tmpfs", 0, "mode=1777");
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
