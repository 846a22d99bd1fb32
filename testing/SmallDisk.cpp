#include "testing/SmallDisk.h"

#include <filesystem>

#ifdef __linux__
#include <cerrno>
#include <cstring>
#include <sys/mount.h>
#endif

namespace testfiles {

SmallDisk::SmallDisk(const std::string& folder, int kilobytes, int inodes) : folder_(folder)
{
    std::filesystem::create_directories(folder);
#ifdef __linux__
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
