#pragma once
// A tiny RAM disk, to see what happens when a disk fills up. Needs Linux and the
// right to mount (root in CI); tests skip when it cannot be had.

#include <string>

namespace testfiles {

// Puts this test program in a mount namespace of its own, before any thread
// starts (the test main calls it), with a fresh RAM disk as its temporary
// folder (TMPDIR), mounted on a folder of its own beside the program, so it
// hides nothing: whatever the program mounts or leaves in its scratch folders
// goes with it, however it ends (killed, timed out, interrupted). Where no
// such namespace can be had (no right to it, or in a chroot whose / is not a
// mount point), it changes nothing and SmallDisk mounts nothing.
void MakeMountsPrivate();

// The folder this program was started from, as read before MakeMountsPrivate:
// in a new mount namespace a program's own path can read back as seen from
// outside a chroot.
const std::string& ProgramFolder();

class SmallDisk {
public:
    // inodes, where not 0, limits how many files and folders it holds, its root included.
    explicit SmallDisk(const std::string& folder, int kilobytes = 64, int inodes = 0);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& whyNot() const { return whyNot_; }

private:
    std::string folder_;
    bool mounted_ = false;
    std::string whyNot_;
};

}  // namespace testfiles
