#include "files/WriteTarget.h"

#include "files/Files.h"

namespace files {

WriteTarget UnreachableTarget(const std::string& name, int error, std::string refusal)
{
    WriteTarget target;
    target.kind = TargetKind::Unreachable;
    target.path = name;
    target.error = error;
    target.refusal = std::move(refusal);
    return target;
}

bool IsWrittenInPlace(TargetKind kind)
{
    return kind == TargetKind::Pipe || kind == TargetKind::Device;
}

bool IsWrittenInPlace(const WriteTarget& target)
{
    return target.descriptor >= 0 || IsWrittenInPlace(target.kind);
}

bool IsReplaced(const WriteTarget& target)
{
    return target.kind == TargetKind::File && target.descriptor < 0;
}

std::string RefusalOf(const WriteTarget& target, bool wholeFile)
{
    if (target.descriptor >= 0)
        return wholeFile ? "it is this program's own output, not a file of its own: a workbook is written only to a "
                           "file"
                         : "";
    switch (target.kind) {
    case TargetKind::Missing:
    case TargetKind::File:
        return {};
    case TargetKind::Pipe:
    case TargetKind::Device:
        if (!wholeFile)
            return {};
        return std::string("it is a ") + (target.kind == TargetKind::Pipe ? "pipe" : "device") +
               ", not a file: a workbook is written only to a file";
    case TargetKind::Folder:
        return "it is a folder";
    case TargetKind::BlockDevice:
        return "it is a block device (a disk), not a file";
    case TargetKind::Socket:
        return "it is a socket, not a file";
    case TargetKind::DanglingLink:
        return "it is a link to \"" + target.linkedTo + "\", where there is nothing; Veltrane writes through "
               "a link only to a file that exists";
    case TargetKind::Unreachable:
        return target.refusal.empty() ? SystemErrorText(target.error) : target.refusal;
    }
    return "it is not a file";
}

const KeptFile* KeptFileAt(const WriteTarget& target, const KeptFiles& kept)
{
    // A file written through the program's own descriptor is a file all the same.
    return target.identity && target.kind == TargetKind::File ? KeptFileFor(*target.identity, kept) : nullptr;
}

bool SameTarget(const WriteTarget& a, const WriteTarget& b)
{
    if (a.identity || b.identity)
        return a.identity && b.identity && SameIdentity(*a.identity, *b.identity);
    if (a.kind != TargetKind::Missing || b.kind != TargetKind::Missing || !a.folder.isOpen() || !b.folder.isOpen())
        return false;
    std::optional<FileIdentity> first = a.folder.identity(), second = b.folder.identity();
    return first && second && SameIdentity(*first, *second) && SameEntryName(a.name, b.name);
}

}  // namespace files
